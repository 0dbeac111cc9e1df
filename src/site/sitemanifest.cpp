// SPDX-License-Identifier: GPL-3.0-or-later
// The record of the pages runs wrote into a folder, for pruning; and the files written once a
// run's pages are: the modern style's own, the manifest.
#include "sitegeneration.h"
#include "siterun_p.h"
#include "store/wholefile.h"

#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <future>
#include <optional>
#include <thread>
#include <vector>

namespace qadora {

namespace {

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

struct FileWritten {
    PageWrite outcome = PageWrite::Failed; // also for a file not tried after another failed
    QString failure;
    QByteArray hash;
};

// Writes `files` into the run's folder on two threads, each file with its hash taken: the
// search files are a thousand and more, and the pages' writer is done with the folder by now.
// As the pages are: a name the folder did not hold is written without a temporary name to
// rename, so a new site's files change the folder once each.
// Files are taken in order, so that all before the first that failed were written; none is
// begun after a failure.
std::vector<FileWritten> writeFiles(PageFolder& folder, const QList<std::pair<QString, QByteArray>>& files)
{
    std::vector<FileWritten> written(size_t(files.size()));
    std::atomic<qsizetype> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        while (!failed) {
            const qsizetype i = next++;
            if (i >= files.size())
                return;
            FileWritten& w = written[size_t(i)];
            w.outcome = folder.write(files[i].first, files[i].second, &w.failure);
            if (w.outcome == PageWrite::Failed)
                failed = true;
            else
                w.hash = pageHash(files[i].second);
        }
    };
    std::thread helper;
    if (files.size() > 16)
        helper = std::thread(work);
    work();
    if (helper.joinable())
        helper.join();
    return written;
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

QList<std::pair<QString, QByteArray>> SiteRun::siteAddressFiles(QStringList pages) const
{
    const Modern& modern = *m_modern;
    QList<std::pair<QString, QByteArray>> files;
    if (normalizedSiteAddress(modern.style.siteAddress).isEmpty())
        return files;
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
    return files;
}

bool SiteRun::writeModernFiles(QList<std::pair<QString, QByteArray>> siteFiles, QString* error)
{
    Modern& modern = *m_modern;
    QList<std::pair<QString, QByteArray>> files = {
        {kModernStyleSheet, modernStyleSheet()},
        {kModernIcon, modernIcon()},
    };
    QList<std::pair<QString, QByteArray>> search;
    if (modern.search.valid())
        search = modern.search.get();
    if (search.isEmpty()) // none started, or one of other figures than the records gave
        search = searchFiles(modern.kinds, modern.documents);
    QString scriptLink, metaLink;
    for (const auto& [name, bytes] : search) {
        if (name == kSearchScript)
            scriptLink = versionedLink(name, bytes);
        else if (name == kSearchMeta)
            metaLink = versionedLink(name, bytes);
    }
    files.append({kSearchPage, modernSearchPage(modern.style, modern.context, scriptLink, metaLink)});
    files += search;
    files += siteFiles;
    const std::vector<FileWritten> written = writeFiles(*m_folder, files);
    for (qsizetype i = 0; i < files.size(); ++i) {
        const auto& [name, bytes] = files[i];
        const FileWritten& w = written[size_t(i)];
        if (w.outcome == PageWrite::Failed) {
            *error = writeFailureMessage(joinPath(m_outDir, name), w.failure);
            return false;
        }
        m_pages << name;
        m_sums.insert(name, {bytes.size(), w.hash});
        ++(w.outcome == PageWrite::Written ? m_extras.written : m_extras.unchanged);
    }
    return true;
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

bool SiteRun::recordPages(bool prune, QString* error)
{
    const QString manifest = manifestPath(m_outDir);
    // The sitemap is made of the pages alone, on another core while this one lists them. It
    // gets its own copy of the list: the two threads never share the one instance.
    std::future<QList<std::pair<QString, QByteArray>>> siteFiles;
    if (m_modern)
        siteFiles = std::async(std::launch::async, [this, pages = m_pages] { return siteAddressFiles(pages); });
    // What the pages alone decide is done first, while the search index may still be in the
    // making on a thread of its own; the modern style's files are added after it.
    const QList<ManifestEntry> earlier = readManifest(manifest);
    // This run's pages in order, each once, with the size and hash of what was last written.
    // Room for the modern style's files too (a search file for about every ten records), so
    // that adding them never rehashes the pages' names.
    const qsizetype room = m_pages.size() + m_pages.size() / 8 + 2048;
    QHash<QString, qsizetype> now;
    now.reserve(room);
    QList<ManifestEntry> keep;
    keep.reserve(room);
    auto list = [&](qsizetype from) {
        for (qsizetype i = from; i < m_pages.size(); ++i) {
            const QString& name = m_pages.at(i); // at(): reading never copies the shared list
            const qsizetype before = now.size();
            qsizetype& index = now[name];
            if (now.size() != before) {
                index = keep.size();
                keep.append({name, 0, QByteArray()});
            }
        }
    };
    list(0);
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
    const qsizetype listed = m_pages.size();
    if (m_modern && !writeModernFiles(siteFiles.get(), error))
        return false;
    list(listed);
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

} // namespace qadora
