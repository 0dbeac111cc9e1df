// SPDX-License-Identifier: GPL-3.0-or-later
// A generation run: each page checked, made and handed to the folder or the writer thread.
#include "sitegeneration.h"
#include "siterun_p.h"

#include "platform/platform.h"
#include "store/kindstring.h"

#include <QFileInfo>

#include <thread>

namespace qadora {

QString writeFailureMessage(const QString& path, const QString& error)
{
    return QStringLiteral("ファイルを作成できませんでした") + QLatin1Char('\r') + path + QLatin1Char('\r') + error;
}

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

bool moreThanTwoCores()
{
    return std::thread::hardware_concurrency() > 2;
}

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
    if (modern.search.valid()) { // a page after the index was started: it is built again with it
        modern.search = {};
        modern.feed.reset();
    }
    const ModernQaPage page = modernQaPage(style, modern.context, name, atext, btext, back, parts.title);
    const SearchDocument document{name, page.questionText, page.answerText,
                                  modern.kind(back, parts.title)};
    // A later record of the same number takes the page, and its place in the search.
    if (const auto it = modern.documentOf.constFind(name); it != modern.documentOf.cend()) {
        modern.documents[*it] = document;
        modern.feed.reset();
    } else {
        modern.documentOf.insert(name, modern.documents.size());
        modern.documents.append(document);
        if (modern.feed)
            modern.feed->add(document);
    }
    return put(name, page.bytes);
}

SiteRun::Modern& SiteRun::modernFor(const PageStyle& style)
{
    if (!m_modern) {
        m_modern = std::make_unique<Modern>();
        m_modern->context.ownStyleSheet = QFileInfo(joinPath(m_outDir, kOwnStyleSheet)).isFile();
        if (m_expectedRecords > 0)
            m_modern->feed = std::make_unique<SearchIndexFeed>(
                m_expectedRecords, m_indexOnOwnThread ? SearchIndexFeed::Thread::Own : SearchIndexFeed::Thread::Caller);
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
    if (m_modern->feed) {
        m_modern->search = m_modern->feed->finish(m_modern->kinds);
        return;
    }
    m_modern->search = std::async(std::launch::async, [kinds = m_modern->kinds, documents = m_modern->documents] {
        return searchFiles(kinds, documents);
    });
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

} // namespace qadora
