// SPDX-License-Identifier: GPL-3.0-or-later
// A publish from start to end: the folder scanned, the record read, what goes up and what goes
// planned, and the first publish to a place confirmed.
#include "publishrun.h"

#include "site/sitegeneration.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace qadora::publishing {

namespace {

bool isPage(const QString& name)
{
    return name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) || name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

} // namespace

bool Publish::readState(PublishState* state, bool* missing)
{
    QByteArray bytes;
    if (!m_control->get(kPublishStateName, &bytes, missing, kMaxRecordBytes))
        return false;
    *state = *missing ? PublishState() : parsePublishState(bytes);
    return true;
}

void Publish::plan(const PublishState& state)
{
    m_jobs.clear();
    m_toRemove.clear();
    m_leftovers.clear();
    m_result.unchanged = 0;
    QSet<QString> present;
    for (const LocalFile& f : std::as_const(m_files)) {
        present.insert(f.name);
        const QByteArray hash = m_hashes.value(f.name);
        const auto published = state.published.constFind(f.name);
        const bool pending = state.pending.contains(f.name);
        if (!pending && published != state.published.cend() && published->hash == hash) {
            ++m_result.unchanged;
            continue;
        }
        Job job;
        job.name = f.name;
        job.path = f.path;
        job.hash = hash;
        job.size = m_sizes.value(f.name);
        job.temp = CurlSession::temporaryName();
        // Only a name that may already be there costs a removal before the rename (SFTP).
        job.mayExist = published != state.published.cend() || pending;
        m_jobs.push_back(job);
    }
    // Pages last: a page names its style sheet and scripts with their version (name?v=…), and
    // a visitor who met the new page before them would keep the old file under the new name.
    std::stable_partition(m_jobs.begin(), m_jobs.end(), [](const Job& j) { return !isPage(j.name); });
    for (auto it = state.published.cbegin(); it != state.published.cend(); ++it) {
        if (!present.contains(it.key()))
            m_toRemove << it.key();
    }
    for (auto it = state.pending.cbegin(); it != state.pending.cend(); ++it) {
        if (!present.contains(it.key()) && !state.published.contains(it.key()))
            m_toRemove << it.key();
    }
    m_toRemove.sort(); // in name order, the same every run, as a log or a report reads best
    m_leftovers = leftoverTemporaries(state);
}

PublishResult Publish::run()
{
    if (const QString problem = publishUrlProblem(m_options.url); !problem.isEmpty())
        return localFail(problem);
    if (!QFileInfo(m_options.outDir).isDir())
        return localFail(QStringLiteral("公開するフォルダがありません") + QLatin1Char('\r') + m_options.outDir);
    m_sftp = m_options.url.scheme().toLower() == QLatin1String("sftp");

    // The folder first: what goes up, and the bytes of it.
    const QString dir = QFileInfo(m_options.outDir).absoluteFilePath();
    // A file whose size, times and inode are as at the last publish from here is not read
    // again: the stamp stands for the bytes (unless the file changed within the clock tick of
    // that scan). A database never gets into the cache.
    HashCache cache(dir);
    LocalScan scan = scanLocalFolder(dir, m_options.include, m_options.exclude);
    m_result.skipped = scan.skipped;
    for (const LocalFile& f : std::as_const(scan.files)) {
        QByteArray hash = cache.hash(f);
        if (hash.isEmpty()) {
            QByteArray bytes;
            if (!readLocal(f.path, &bytes))
                return localFail(QStringLiteral("ファイルを読み込めませんでした") + QLatin1Char('\r') + f.path);
            if (looksLikeDatabase(bytes.left(16)) && !matchesPatterns(f.name, m_options.include)) {
                m_result.skipped << f.name + QStringLiteral(" (database)");
                continue;
            }
            hash = sha256(bytes);
        }
        cache.remember(f, hash);
        m_files.append(f);
        m_hashes.insert(f.name, hash);
        m_sizes.insert(f.name, f.stamp.left(f.stamp.indexOf(' ')).toLongLong());
    }
    cache.save();
    if (!scan.problems.isEmpty())
        return localFail(QStringLiteral("公開できない名前のファイルがあります") + QLatin1Char('\r') + scan.problems.join(QLatin1Char('\r')));

    startWatchdog();
    struct Stop {
        Publish* p;
        ~Stop() { p->stopWatchdog(); }
    } stopAtEnd{this};
    m_control = newSession();

    if (!readState(&m_state, &m_stateMissing))
        return fail(m_control->tooLarge() ? QStringLiteral("公開の記録を読めませんでした")
                                          : QStringLiteral("サーバーに接続できませんでした"),
                    m_control);
    m_result.warnings += m_state.ignored;
    plan(m_state);

    if (m_options.dryRun) {
        for (const Job& job : m_jobs)
            m_result.changes << QStringLiteral("upload ") + job.name;
        for (const QString& name : std::as_const(m_toRemove))
            m_result.changes << QStringLiteral("remove ") + name;
        m_result.uploaded = int(m_jobs.size());
        m_result.removed = int(m_toRemove.size());
        return m_result;
    }
    // The first publish to a place: files that the site generator did not write go up only
    // when the user says so.
    if (m_state.published.isEmpty() && m_state.pending.isEmpty() && !m_options.confirmed) {
        QHash<QString, QSet<QString>> written; // by folder
        for (const LocalFile& f : std::as_const(m_files)) {
            const QString folder = f.name.contains(QLatin1Char('/')) ? f.name.section(QLatin1Char('/'), 0, -2) : QString();
            auto it = written.find(folder);
            if (it == written.end())
                it = written.insert(folder, pagesWrittenInto(folder.isEmpty() ? dir : dir + QLatin1Char('/') + folder));
            if (!it->contains(f.name.section(QLatin1Char('/'), -1)))
                m_result.unconfirmed << f.name;
        }
        if (!m_result.unconfirmed.isEmpty()) {
            m_result.code = PublishResult::NeedsConfirmation;
            m_result.message = QStringLiteral("サイト作成で作られていないファイルがあります。公開してよいか確かめて下さい");
            return m_result;
        }
    }
    if (m_jobs.empty() && m_toRemove.isEmpty() && m_leftovers.isEmpty() && !m_stateMissing) {
        tell(0, 0, QString());
        return m_result;
    }

    // Work to do: under the lock, from the record as it is now.
    if (!takeLock()) {
        releaseLock();
        return m_result;
    }
    if (!readState(&m_state, &m_stateMissing)) {
        fail(QStringLiteral("公開の記録を読めませんでした"), m_control);
        releaseLock();
        return m_result;
    }
    plan(m_state);
    if (!m_leftovers.isEmpty() && !removeLeftovers()) {
        releaseLock();
        return m_result;
    }
    const int total = int(m_jobs.size() + m_toRemove.size());
    tell(0, total, QString());
    if (sendAll())
        removeAll();
    if (m_result.code == PublishResult::Complete && !m_stop) {
        // A record grown long with the journal is written anew, whole.
        if (!m_journalStarted || m_journalLines > m_state.published.size() * 3 / 2 + 64)
            m_control->put(kPublishStateName, CurlSession::temporaryName(), publishStateBytes(m_state), !m_stateMissing);
        tell(total, total, QString());
    }
    if (m_stop)
        m_control->allowAfterStop(1000);
    releaseLock();
    {
        std::lock_guard lock(m_sessionsLock);
        if (std::any_of(m_sessions.cbegin(), m_sessions.cend(), [](const auto& s) { return s->sizeUnchecked(); }))
            m_result.warnings
                << QStringLiteral("the server did not say the size of what it kept (SIZE): the uploads were not checked");
    }
    return m_result;
}

} // namespace qadora::publishing
