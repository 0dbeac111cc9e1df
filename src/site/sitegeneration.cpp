// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitegeneration.h"
#include "store/wholefile.h"

#include "htmlbalance.h"
#include "modernpages.h"
#include "pagefile.h"
#include "platform/platform.h"
#include "searchsite.h"
#include "store/kindstring.h"
#include "views/listings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qadora {

namespace {

QString writeFailureMessage(const QString& path, const QString& error)
{
    return QStringLiteral("ファイルを作成できませんでした") + QLatin1Char('\r') + path + QLatin1Char('\r') + error;
}

// The manifest holds one page a line: its name, percent-encoded so that any name a kind can
// give survives a plain ASCII file, then the size and the SHA-256 of the bytes written, so that
// a prune removes only a file that is still the page a run wrote. (Older manifests hold the
// name alone.)
struct ManifestEntry {
    QString name;
    qint64 size = -1;
    QByteArray hash;
};

// A manifest lists every page of a site, tens of thousands of lines, read and written by every
// run: it is parsed in place, and names that need no escaping are taken as they are.
QList<ManifestEntry> readManifest(const QString& path)
{
    QFile file(path);
    QList<ManifestEntry> entries;
    QByteArray bytes;
    // A manifest larger than any site's is not ours: it lists nothing to prune.
    if (!file.open(QIODevice::ReadOnly) || readAtMost(file, qint64(256) << 20, &bytes) != WholeRead::Ok)
        return entries;
    const QByteArray& all = bytes;
    const QByteArrayView text(all);
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const qsizetype tab = line.indexOf('\t');
        const QByteArrayView name = tab < 0 ? line : line.first(tab);
        ManifestEntry entry;
        entry.name = name.contains('%') ? QString::fromUtf8(QByteArray::fromPercentEncoding(name.toByteArray()))
                                        : QString::fromUtf8(name);
        if (tab >= 0) {
            const QByteArrayView rest = line.sliced(tab + 1);
            const qsizetype second = rest.indexOf('\t');
            const QByteArrayView hash = second < 0 ? QByteArrayView() : rest.sliced(second + 1);
            if (second >= 0 && !hash.contains('\t') && hash.size() == 64) {
                bool ok = false;
                entry.size = rest.first(second).toLongLong(&ok);
                entry.hash = ok ? hash.toByteArray() : QByteArray();
            }
        }
        entries << entry;
    }
    return entries;
}

// Appends `name` as QByteArray::toPercentEncoding() gives it, without its copies.
void appendPercentEncoded(QByteArray& bytes, const QString& name)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.' || u == '_'
            || u == '~') {
            bytes += c;
        } else {
            bytes += '%';
            bytes += hex[u >> 4];
            bytes += hex[u & 15];
        }
    }
}

QByteArray manifestBytes(const QList<ManifestEntry>& entries)
{
    QByteArray bytes;
    bytes.reserve(entries.size() * 96);
    for (const ManifestEntry& e : entries) {
        appendPercentEncoded(bytes, e.name);
        if (!e.hash.isEmpty()) {
            bytes += '\t';
            bytes += QByteArray::number(e.size);
            bytes += '\t';
            bytes += e.hash;
        }
        bytes += "\r\n";
    }
    return bytes;
}

// True when the regular file at `path` still holds what a run wrote there.
bool stillWritten(const QString& path, const ManifestEntry& entry)
{
    if (entry.hash.isEmpty() || !platform::isRegularFile(path) || QFileInfo(path).size() != entry.size)
        return false;
    QFile file(path);
    QByteArray bytes;
    return file.open(QIODevice::ReadOnly) && readAtMost(file, entry.size, &bytes) == WholeRead::Ok
        && pageHash(bytes) == entry.hash;
}

} // namespace

// Writes pages on a thread of its own. The producer hands them over in batches, so that the
// two threads meet once per batch rather than once per page.
class SiteRun::Writer {
public:
    Writer(PageFolder& folder, QString outDir)
        : m_folder(folder)
        , m_outDir(std::move(outDir))
        , m_thread([this] { run(); })
    {
    }
    ~Writer() { finish(); }

    bool put(int sequence, QString name, QByteArray bytes)
    {
        if (m_failed)
            return false;
        m_batch.push_back({sequence, std::move(name), std::move(bytes)});
        if (m_batch.size() >= kBatchSize)
            flush();
        return !m_failed;
    }

    bool finish()
    {
        if (m_thread.joinable()) {
            flush();
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_ready.notify_one();
            m_thread.join();
        }
        return !m_failed;
    }

    struct Sum {
        QString name;
        qint64 size;
        QByteArray hash;
    };
    std::vector<Sum> m_sums; // the pages written, read once the writer has finished
    std::atomic<bool> m_failed{false};
    int m_failedAt = 0;
    QString m_failure;
    RunStats m_stats;

private:
    struct Job {
        int sequence;
        QString name;
        QByteArray bytes;
    };
    static constexpr size_t kBatchSize = 128;
    static constexpr size_t kBatchesAhead = 8;

    void flush()
    {
        if (m_batch.empty())
            return;
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_queue.size() < kBatchesAhead || m_failed; });
        if (!m_failed)
            m_queue.push_back(std::move(m_batch));
        m_batch = {};
        lock.unlock();
        m_ready.notify_one();
    }

    void run()
    {
        for (;;) {
            std::vector<Job> batch;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_queue.empty() || m_done; });
                if (m_queue.empty())
                    return;
                batch = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_space.notify_one();
            for (const Job& job : batch) {
                QString error;
                const PageWrite outcome = m_folder.write(job.name, job.bytes, &error);
                if (outcome != PageWrite::Failed)
                    m_sums.push_back({job.name, job.bytes.size(), pageHash(job.bytes)});
                switch (outcome) {
                case PageWrite::Written:
                    ++m_stats.written;
                    break;
                case PageWrite::Unchanged:
                    ++m_stats.unchanged;
                    break;
                case PageWrite::Failed: {
                    std::lock_guard lock(m_mutex);
                    m_failedAt = job.sequence;
                    m_failure = writeFailureMessage(joinPath(m_outDir, job.name), error);
                    m_failed = true;
                    m_queue.clear();
                    m_space.notify_all();
                    return;
                }
                }
            }
        }
    }

    PageFolder& m_folder;
    const QString m_outDir;
    std::vector<Job> m_batch; // the producer's, not yet handed over
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<std::vector<Job>> m_queue;
    bool m_done = false;
    std::thread m_thread;
};

SiteRun::SiteRun(QString outDir, Mode mode)
    : m_outDir(std::move(outDir))
{
    // One listing of the folder for the run; it also removes what killed runs left. A run of
    // the window's may last as long as the window, so only a background run locks the folder.
    m_folder = std::make_unique<PageFolder>(
        m_outDir, mode == Mode::Background ? PageFolder::Guard::PerRun : PageFolder::Guard::PerFile);
    if (mode == Mode::Background)
        m_writer = std::make_unique<Writer>(*m_folder, m_outDir);
}

SiteRun::~SiteRun() = default;

// What the modern style needs to know of the run's pages to write its other files.
struct SiteRun::Modern {
    PageStyle style;
    ModernContext context;
    QList<SearchDocument> documents;
    QHash<QString, qsizetype> documentOf; // a page name's place in documents
    QList<SearchKind> kinds;
    QHash<QString, int> kindOf;
    std::future<QList<std::pair<QString, QByteArray>>> search; // the index of documents and kinds as they are now

    // The kind of the page `file`, by the first title (markup) given for it.
    int kind(const QString& file, const QString& titleHtml)
    {
        const auto it = kindOf.constFind(file);
        if (it != kindOf.cend())
            return *it;
        kinds.append({file, balanceHtml(titleHtml, HtmlContext::Phrasing).text});
        return kindOf[file] = int(kinds.size() - 1);
    }
};

WriteOutcome SiteRun::put(const QString& fileName, const QByteArray& bytes)
{
    if (const QString problem = pageNameProblem(fileName); !problem.isEmpty())
        return {WriteOutcome::Stopped, problem};
    // Where the file system keeps Windows' rules, a name it would refuse, take for a device or
    // alter, or one that differs from another page's only in case (the later page would
    // replace the earlier), stops the run as a name refused everywhere does. Elsewhere such
    // names make files of their own, as they always have.
    if (platform::windowsFileNames()) {
        QString problem = windowsNameProblem(fileName);
        if (problem.isEmpty())
            problem = m_names.add(fileName);
        if (!problem.isEmpty())
            return {WriteOutcome::Stopped, problem};
    }
    m_pages << fileName;
    if (m_writer) {
        if (!m_writer->put(nextSequence(), fileName, bytes))
            return {WriteOutcome::Stopped, QString()};
        return {};
    }
    QString error;
    const PageWrite outcome = m_folder->write(fileName, bytes, &error);
    if (outcome != PageWrite::Failed)
        m_sums.insert(fileName, {bytes.size(), pageHash(bytes)});
    switch (outcome) {
    case PageWrite::Written:
        ++m_direct.written;
        return {};
    case PageWrite::Unchanged:
        ++m_direct.unchanged;
        return {};
    case PageWrite::Failed:
        break;
    }
    return {WriteOutcome::Stopped, writeFailureMessage(joinPath(m_outDir, fileName), error)};
}

// Another page of this run that `fileName` would replace: the index page, or a Q&A page.
QString SiteRun::clash(const QString& fileName, const QString& indexName) const
{
    // As the import checks kinds: ignoring letter case, as a case-insensitive disk does. The
    // older styles keep names that differ only in case where the disk tells them apart, as
    // they always have; the modern style refuses them everywhere.
    const bool foldCase = m_modern || platform::windowsFileNames();
    const Qt::CaseSensitivity cs = foldCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool qaPage = foldCase ? m_qaPagesFolded.contains(fileName.toCaseFolded()) : m_qaPages.contains(fileName);
    if (fileName.compare(indexName, cs) != 0 && !qaPage && !(m_modern && fileName.compare(kSearchPage, Qt::CaseInsensitive) == 0))
        return QString();
    return QStringLiteral("ほかのページと同じファイル名になるため作成できません") + QLatin1Char('\r') + fileName;
}

WriteOutcome SiteRun::qaPage(const PageStyle& style, const QString& fnum, const QString& atext, const QString& btext,
                             const QString& ctext)
{
    const KindParts parts = splitKind(ctext);
    if (!parts.ok)
        return {WriteOutcome::Reported, kMalformedKindMessage};
    const QString name = qaFileName(fnum);
    m_qaPages.insert(name);
    m_qaPagesFolded.insert(name.toCaseFolded());
    const QString back = subIndexFileName(parts.name);
    if (!style.modern)
        return put(name, encodeLines(qadora::qaPage(atext, btext, back, style)));
    if (const QString refused = siteAddressProblem(style.siteAddress); !refused.isEmpty())
        return {WriteOutcome::Stopped, refused};
    Modern& modern = modernFor(style);
    modern.search = {}; // a page after the index was started: it is built again with it
    const ModernQaPage page = modernQaPage(style, modern.context, name, atext, btext, back, parts.title);
    const SearchDocument document{name, page.questionText, page.answerText,
                                  modern.kind(back, parts.title)};
    // A later record of the same number takes the page, and its place in the search.
    if (const auto it = modern.documentOf.constFind(name); it != modern.documentOf.cend()) {
        modern.documents[*it] = document;
    } else {
        modern.documentOf.insert(name, modern.documents.size());
        modern.documents.append(document);
    }
    return put(name, page.bytes);
}

SiteRun::Modern& SiteRun::modernFor(const PageStyle& style)
{
    if (!m_modern) {
        m_modern = std::make_unique<Modern>();
        m_modern->context.ownStyleSheet = QFileInfo(joinPath(m_outDir, kOwnStyleSheet)).isFile();
    }
    m_modern->style = style;
    return *m_modern;
}

WriteOutcome SiteRun::indexPage(const QString& indexName, const IndexSettings& settings, const QStringList& kinds)
{
    if (const QString refused = clash(indexName, QString()); !refused.isEmpty())
        return {WriteOutcome::Stopped, refused};
    const IndexPage page = qadora::indexPage(settings, kinds);
    WriteOutcome outcome;
    if (settings.style.modern) {
        if (const QString refused = siteAddressProblem(settings.style.siteAddress); !refused.isEmpty())
            return {WriteOutcome::Stopped, refused};
        // The same kinds as the older styles list: those before a malformed one.
        const PageStyle style = withSiteFrame(settings.style, indexName, settings);
        Modern& modern = modernFor(style);
        if (const QString refused = clash(indexName, QString()); !refused.isEmpty())
            return {WriteOutcome::Stopped, refused};
        QList<ModernKind> listed;
        for (const QString& kind : kinds) {
            const KindParts parts = splitKind(kind);
            if (!parts.ok)
                break;
            listed.append({subIndexFileName(parts.name), parts.title});
        }
        outcome = put(indexName, modernIndexPage(style, modern.context, listed));
    } else {
        outcome = put(indexName, encodeLines(page.lines));
    }
    if (outcome.code == WriteOutcome::Written && page.malformedKind)
        return {WriteOutcome::Reported, kMalformedKindMessage + QLatin1Char('\r') + *page.malformedKind};
    return outcome;
}

WriteOutcome SiteRun::subIndexPage(const QString& htm, const QString& tit, const QString& indexName,
                                   const QStringList& questions, const QStringList& numbers, const PageStyle& style)
{
    if (const QString refused = clash(htm, indexName); !refused.isEmpty())
        return {WriteOutcome::Stopped, refused};
    if (!style.modern)
        return put(htm, encodeLines(qadora::subIndexPage(tit, indexName, questions, numbers, style)));
    if (const QString refused = siteAddressProblem(style.siteAddress); !refused.isEmpty())
        return {WriteOutcome::Stopped, refused};
    Modern& modern = modernFor(style);
    if (const QString refused = clash(htm, indexName); !refused.isEmpty())
        return {WriteOutcome::Stopped, refused};
    return put(htm, modernSubIndexPage(style, modern.context, htm, tit, questions, numbers));
}

void SiteRun::startSearchIndex()
{
    if (!m_modern)
        return;
    m_modern->search = std::async(std::launch::async, [kinds = m_modern->kinds, documents = m_modern->documents] {
        return searchFiles(kinds, documents);
    });
}

bool SiteRun::writeModernFiles(QString* error)
{
    Modern& modern = *m_modern;
    QList<std::pair<QString, QByteArray>> files = {
        {kModernStyleSheet, modernStyleSheet()},
        {kModernIcon, modernIcon()},
    };
    const QList<std::pair<QString, QByteArray>> search = modern.search.valid() ? modern.search.get()
                                                                             : searchFiles(modern.kinds, modern.documents);
    QString scriptLink, metaLink;
    for (const auto& [name, bytes] : search) {
        if (name == kSearchScript)
            scriptLink = versionedLink(name, bytes);
        else if (name == kSearchMeta)
            metaLink = versionedLink(name, bytes);
    }
    files.append({kSearchPage, modernSearchPage(modern.style, modern.context, scriptLink, metaLink)});
    files += search;
    if (!normalizedSiteAddress(modern.style.siteAddress).isEmpty()) {
        QStringList pages = m_pages;
        pages.removeDuplicates();
        // A sitemap or robots.txt of the owner's own stays as it is. (The manifest is read only
        // when there is one: a new folder has neither.)
        std::optional<QSet<QString>> ours;
        for (const QString& name : {kSitemap, kRobots}) {
            if (QFileInfo::exists(joinPath(m_outDir, name))) {
                if (!ours)
                    ours = pagesWrittenInto(m_outDir);
                if (!ours->contains(name))
                    continue;
            }
            files.append({name, name == kSitemap ? sitemap(modern.style.siteAddress, pages) : robots(modern.style.siteAddress)});
        }
    }
    for (const auto& [name, bytes] : std::as_const(files)) {
        const QString path = joinPath(m_outDir, name);
        QString failure;
        const PageWrite outcome = writePage(path, bytes, &failure);
        if (outcome == PageWrite::Failed) {
            *error = writeFailureMessage(path, failure);
            return false;
        }
        m_pages << name;
        m_sums.insert(name, {bytes.size(), pageHash(bytes)});
        ++(outcome == PageWrite::Written ? m_extras.written : m_extras.unchanged);
    }
    return true;
}

bool SiteRun::finish()
{
    return m_writer ? m_writer->finish() : true;
}

QString SiteRun::failure() const
{
    return m_writer ? m_writer->m_failure : QString();
}

int SiteRun::failedAt() const
{
    return m_writer ? m_writer->m_failedAt : 0;
}

RunStats SiteRun::stats() const
{
    RunStats s = m_writer ? m_writer->m_stats : m_direct;
    s.written += m_extras.written;
    s.unchanged += m_extras.unchanged;
    s.removed = m_removed;
    return s;
}

bool writeModernPreviewFiles(const QString& previewDir, const QString& siteDir, QString* error)
{
    QList<std::pair<QString, QByteArray>> files = {{kModernStyleSheet, modernStyleSheet()}, {kModernIcon, modernIcon()}};
    if (!siteDir.isEmpty()) {
        QFile own(joinPath(siteDir, kOwnStyleSheet));
        if (own.open(QIODevice::ReadOnly))
            files.append({kOwnStyleSheet, own.readAll()});
    }
    for (const auto& [name, bytes] : std::as_const(files)) {
        const QString path = joinPath(previewDir, name);
        QString failure;
        if (writePage(path, bytes, &failure) == PageWrite::Failed) {
            *error = writeFailureMessage(path, failure);
            return false;
        }
    }
    return true;
}

QString manifestPath(const QString& outDir)
{
    const QString canonical = QFileInfo(outDir).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? outDir : canonical).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    return platform::dataFolder() + QStringLiteral("/manifests/")
        + QString::fromLatin1(key) + QStringLiteral(".txt");
}

QSet<QString> pagesWrittenInto(const QString& outDir)
{
    QSet<QString> names;
    for (const ManifestEntry& e : readManifest(manifestPath(outDir)))
        names.insert(e.name);
    return names;
}

bool SiteRun::recordPages(bool prune, QString* error)
{
    const QString manifest = manifestPath(m_outDir);
    if (m_modern && !writeModernFiles(error))
        return false;
    const QList<ManifestEntry> earlier = readManifest(manifest);
    // This run's pages in order, each once, with the size and hash of what was last written.
    QHash<QString, qsizetype> now;
    now.reserve(m_pages.size());
    QList<ManifestEntry> keep;
    keep.reserve(m_pages.size());
    for (const QString& name : std::as_const(m_pages)) {
        const qsizetype before = now.size();
        qsizetype& index = now[name];
        if (now.size() != before) {
            index = keep.size();
            keep.append({name, 0, QByteArray()});
        }
    }
    auto sum = [&](const QString& name, qint64 size, const QByteArray& hash) {
        if (const auto it = now.constFind(name); it != now.cend()) {
            keep[*it].size = size;
            keep[*it].hash = hash;
        }
    };
    if (m_writer) {
        for (const Writer::Sum& s : m_writer->m_sums)
            sum(s.name, s.size, s.hash);
        m_writer->m_sums.clear();
    }
    for (auto it = m_sums.cbegin(); it != m_sums.cend(); ++it)
        sum(it.key(), it->first, it->second);
    for (const ManifestEntry& entry : earlier) {
        const QString& name = entry.name;
        if (now.contains(name))
            continue;
        // Only a plain page name of this folder, and only a regular file: what a run of ours
        // left there. A name written into the manifest by anyone else never leads elsewhere.
        const bool page = pageNameProblem(name).isEmpty() && name != QLatin1String(".") && name != QLatin1String("..");
        if (!page)
            continue;
        if (!prune) {
            keep << entry;
            continue;
        }
        const QString path = joinPath(m_outDir, name);
        if (platform::entryKind(path, platform::Links::NotFollowed) == platform::EntryKind::Missing)
            continue; // gone already
        if (entry.hash.isEmpty()) {
            keep << entry; // an older manifest's: which bytes were written is not known, so it stays
            continue;
        }
        // Only the very page a run wrote: a file of the same name that is not is the user's.
        if (!stillWritten(path, entry))
            continue;
        if (QFile::remove(path))
            ++m_removed;
        else
            keep << entry; // still there: a later prune may try again
    }
    QString writeError;
    if (!QDir().mkpath(QFileInfo(manifest).path())
        || writePage(manifest, manifestBytes(keep), &writeError) == PageWrite::Failed) {
        *error = writeFailureMessage(manifest, writeError);
        return false;
    }
    return true;
}

SiteResult generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink,
                        const ProgressSink& progress)
{
    // One snapshot of the store for the whole run: pages, index and sub-index pages all see
    // the same records, whatever another program writes meanwhile.
    ReadSnapshot snapshot(databasePath);
    SiteRun run(options.outDir, SiteRun::Mode::Background);
    const PageStyle style = withSiteFrame(options.index.style, options.indexName, options.index);
    SiteResult result;

    // Messages wait in order with the pages until the writes before them are known.
    QList<std::pair<int, QString>> messages;
    auto say = [&](const QString& message) { messages.append({run.nextSequence(), message}); };
    auto finish = [&](bool completed) {
        const bool written = run.finish();
        for (const auto& [at, message] : std::as_const(messages)) {
            if (!written && at > run.failedAt())
                break;
            sink(message);
        }
        if (!written) {
            sink(run.failure());
            completed = false;
        }
        if (completed) {
            QString error;
            if (!run.recordPages(options.prune, &error)) {
                sink(error);
                completed = false;
            }
        }
        result.stats = run.stats();
        if (completed)
            sink(kSiteDoneMessage);
        result.complete = completed;
        return result;
    };
    // Shows what a writer has to say; true while the run goes on.
    auto report = [&](const WriteOutcome& out) {
        if (out.code != WriteOutcome::Written && !out.message.isEmpty())
            say(out.message);
        return out.code != WriteOutcome::Stopped;
    };

    // kensu and its callers' "no records" message, as the window's listings show them.
    auto count = [&]() {
        QString message;
        const int n = countRecords(databasePath, &message);
        if (!message.isEmpty())
            say(message);
        if (n <= 0)
            say(kNoRecordsMessage);
        return n;
    };
    auto storeOk = [&](const StoreStatus& status) {
        if (!status.ok())
            say(status.message);
        return status.ok();
    };

    // "データ表示": the number of records to write.
    int n = count();
    if (n <= 0) {
        say(kListFirstMessage);
        return finish(false);
    }
    // A run that can write no index page cannot complete; it is refused before anything is written.
    if (options.indexName.isEmpty()) {
        say(kIndexNameMissingMessage);
        say(kIndexNotWrittenMessage);
        return finish(false);
    }
    const int records = n;
    int total = records + 1;
    auto made = [&] {
        if (progress)
            progress(run.pagesMade(), total);
    };

    StoreStatus status;
    auto store = openStore(databasePath, &status);
    if (!storeOk(status))
        return finish(false);
    // Records that damage kept from being read have no pages: the site is not complete.
    const bool damaged = store->unreadableRecords() > 0;
    WalkOptions walk;
    walk.limit = n;
    bool goOn = true;
    status = store->walk(walk, [&](const Record& r) {
        goOn = report(run.qaPage(style, QString::number(r.no), r.quest, r.anser, r.kind));
        made();
        return goOn;
    });
    if (!goOn || !storeOk(status))
        return finish(false);
    run.startSearchIndex();

    QStringList kinds;
    n = count();
    if (n > 0) {
        KindListing listing = listKinds(databasePath, n);
        if (!storeOk(listing.status))
            return finish(false);
        kinds = listing.kinds;
    }
    total = records + 1 + int(kinds.size());
    if (!report(run.indexPage(options.indexName, options.index, kinds)))
        return finish(false);
    made();

    KindGroups groups;
    if (!kinds.isEmpty()) {
        n = count();
        if (n > 0) {
            groups = listByKind(databasePath, n);
            if (!storeOk(groups.status))
                return finish(false);
        }
    }
    for (const QString& kind : std::as_const(kinds)) {
        const KindParts parts = splitKind(kind);
        if (!parts.ok) {
            say(kMalformedKindMessage);
            break;
        }
        const Listing listing = groups.byKind.value(kind);
        if (!report(run.subIndexPage(subIndexFileName(parts.name), parts.title, options.indexName, listing.visible,
                                     listing.companion, style)))
            return finish(false);
        made();
    }
    return finish(!damaged);
}

} // namespace qadora
