// SPDX-License-Identifier: GPL-3.0-or-later
#include "publisher.h"

#include "curlsession.h"
#include "publishstate.h"
#include "platform/platform.h"
#include "site/sitegeneration.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>


namespace qadora {

namespace {

bool isPage(const QString& name)
{
    return name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) || name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

QString localHostName()
{
    return QSysInfo::machineHostName();
}

const QString kLockOwner = kPublishLockName + QStringLiteral("/owner");
// A lock whose owner has not renewed it for this long, or whose owner on this machine is gone,
// is taken over.
constexpr qint64 kLockStaleSeconds = 600;
constexpr qint64 kLockRenewSeconds = 120;
// What is read from the server is never more than this: a hostile record or lock of gigabytes
// would take all memory. The record of 32,808 pages is 2.6 MB.
constexpr qint64 kMaxRecordBytes = 64 * 1024 * 1024;
constexpr qint64 kMaxOwnerBytes = 4096;

PublishResult::Problem problemOf(CurlSession::Problem p)
{
    switch (p) {
    case CurlSession::Problem::None:
        return PublishResult::None;
    case CurlSession::Problem::Connect:
        return PublishResult::Connect;
    case CurlSession::Problem::Login:
        return PublishResult::Login;
    case CurlSession::Problem::TlsRequired:
        return PublishResult::TlsRequired;
    case CurlSession::Problem::HostKey:
        return PublishResult::HostKey;
    case CurlSession::Problem::Full:
        return PublishResult::Full;
    case CurlSession::Problem::Denied:
        return PublishResult::Denied;
    case CurlSession::Problem::Timeout:
        return PublishResult::Timeout;
    case CurlSession::Problem::Stopped:
    case CurlSession::Problem::Other:
        break;
    }
    return PublishResult::Other;
}

// Reads a file once: the bytes that are hashed are the bytes that are sent.
bool readLocal(const QString& path, QByteArray* bytes)
{
    return platform::readRegularFile(path, bytes);
}

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

struct Job {
    QString name;
    QString path;
    QByteArray hash; // at the scan
    qint64 size = 0;
    QString temp;
    bool mayExist = false;
};

struct Done {
    int job;
    bool ok;
    PublishedFile sent;
};

// Publishes with one control connection (the record and the lock) and up to eight senders.
class Publish {
public:
    Publish(const PublishOptions& options, const PublishProgress& progress)
        : m_options(options)
        , m_progress(progress)
    {
        if (m_options.knownHosts.isEmpty())
            m_options.knownHosts = QDir::home().filePath(QStringLiteral(".ssh/known_hosts"));
        m_options.connections = qBound(1, m_options.connections, 8);
    }

    PublishResult run();

private:
    PublishResult fail(const QString& message, CurlSession* session = nullptr);
    PublishResult localFail(const QString& message);
    bool stopRequested() const { return m_stop.load(); }
    void startWatchdog();
    void stopWatchdog();
    CurlSession* newSession();
    bool readState(PublishState* state, bool* missing);
    void plan(const PublishState& state);
    bool takeLock();
    bool clearLock();
    void releaseLock();
    bool writeOwner(bool renew);
    bool appendJournal(const QByteArray& lines);
    bool writeJournal(const QByteArray& lines);
    PublishResult failJournal();
    void takeFailure(const PublishResult& failure);
    bool sendAll();
    bool removeAll();
    bool removeLeftovers();
    bool isAsSent(const QString& name, const QList<PublishedFile>& versions, bool* gone, bool* same);
    void sender(CurlSession* session);
    bool tell(int done, int total, const QString& file);

    PublishOptions m_options;
    PublishProgress m_progress;
    PublishResult m_result;
    std::atomic<bool> m_stop{false};
    bool m_sftp = false;

    QList<LocalFile> m_files;
    QHash<QString, QByteArray> m_hashes; // at the scan
    QHash<QString, qint64> m_sizes;
    std::vector<Job> m_jobs;
    QStringList m_toRemove;
    QStringList m_leftovers; // temporary files of runs cut short
    PublishState m_state;
    bool m_stateMissing = true;
    bool m_journalStarted = false;
    qsizetype m_journalLines = 0; // lines of the record on the server, once this run wrote it
    // Why the record could not be written, as the control connection said it then: later
    // steps on that connection (the record put in order at the end) clear its error.
    PublishResult m_journalFailure;
    bool m_journalFailed = false;

    std::vector<std::unique_ptr<CurlSession>> m_sessions;
    std::mutex m_sessionsLock;
    CurlSession* m_control = nullptr;
    std::thread m_watchdog;
    std::mutex m_watchLock;
    std::condition_variable m_watchWake;
    bool m_watchEnd = false;

    QByteArray m_lockToken;
    bool m_locked = false;
    qint64 m_ownerWritten = 0;

    // The senders' queue.
    std::mutex m_lock;
    std::condition_variable m_more;     // senders wait for jobs
    std::condition_variable m_finished; // the control thread waits for results
    std::deque<int> m_ready;
    std::deque<Done> m_done;
    bool m_noMore = false;
    bool m_senderFailed = false;
    QString m_failure;
    bool m_failedLocally = false; // the file could not be read
    PublishResult m_senderFailure;
};

// The failure of `session`'s last step in `result`, as the user reads it. A login refused
// with no password is never put down to a wrong one.
void describeFailure(PublishResult& result, const QString& message, const CurlSession* session, bool passwordSent)
{
    result.code = PublishResult::Failed;
    result.message = message;
    if (!session)
        return;
    const CurlSession::Problem p = session->problem();
    if (p == CurlSession::Problem::Stopped) {
        result.code = PublishResult::Cancelled;
        result.message = QStringLiteral("公開を中止しました");
        return;
    }
    if (session->unknownHostKey()) {
        result.code = PublishResult::UnknownHostKey;
        result.problem = PublishResult::HostKey;
        result.fingerprint = session->unknownKeyFingerprint();
        result.message = QStringLiteral("サーバーのホスト鍵が登録されていません。接続しませんでした") + QLatin1Char('\r')
            + result.fingerprint;
        return;
    }
    result.problem = problemOf(p);
    result.serverAnswer = session->serverAnswer();
    if (p == CurlSession::Problem::HostKey || p == CurlSession::Problem::Timeout)
        result.message = session->error();
    else if (p == CurlSession::Problem::Login)
        result.message = (passwordSent ? QStringLiteral("サーバーにログインできませんでした（ユーザー名かパスワードが違います）")
                                       : QStringLiteral("サーバーにログインできませんでした（パスワードが入力されていません）"))
            + QLatin1Char('\r') + session->error();
    else if (p == CurlSession::Problem::TlsRequired)
        result.message = QStringLiteral("このサーバーは TLS での接続だけを受け付けます（ftps:// で始まるアドレスにして下さい）")
            + QLatin1Char('\r') + session->error();
    else
        result.message = message + QLatin1Char('\r') + session->error();
}

PublishResult Publish::fail(const QString& message, CurlSession* session)
{
    describeFailure(m_result, message, session, !m_options.password.isEmpty());
    return m_result;
}

PublishResult Publish::localFail(const QString& message)
{
    m_result.code = PublishResult::Failed;
    m_result.problem = PublishResult::LocalFile;
    m_result.message = message;
    return m_result;
}

CurlSession* Publish::newSession()
{
    std::lock_guard lock(m_sessionsLock);
    m_sessions.push_back(std::make_unique<CurlSession>(m_options, &m_stop));
    return m_sessions.back().get();
}

void Publish::startWatchdog()
{
    m_watchdog = std::thread([this] {
        std::unique_lock lock(m_watchLock);
        while (!m_watchEnd) {
            m_watchWake.wait_for(lock, std::chrono::milliseconds(100));
            if (m_options.stop && m_options.stop->load())
                m_stop = true;
            if (m_stop) {
                // Wake a sender waiting for work, and the control thread.
                m_more.notify_all();
                m_finished.notify_all();
            }
            const qint64 now = steadyMs();
            std::lock_guard sessions(m_sessionsLock);
            for (const auto& s : m_sessions)
                s->watch(now);
        }
    });
}

void Publish::stopWatchdog()
{
    {
        std::lock_guard lock(m_watchLock);
        m_watchEnd = true;
    }
    m_watchWake.notify_all();
    if (m_watchdog.joinable())
        m_watchdog.join();
}

bool Publish::tell(int done, int total, const QString& file)
{
    if (m_progress && !m_progress(done, total, file))
        m_stop = true;
    return !stopRequested();
}

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

bool Publish::writeOwner(bool renew)
{
    const QByteArray owner = localHostName().toUtf8().toPercentEncoding() + '\t'
        + QByteArray::number(platform::currentProcessId()) + '\t' + m_lockToken + '\t'
        + QByteArray::number(QDateTime::currentSecsSinceEpoch()) + "\r\n";
    m_ownerWritten = QDateTime::currentSecsSinceEpoch();
    // The lock's folder holds one file; a fresh copy goes in whole.
    return m_control->put(kLockOwner, CurlSession::temporaryName(), owner, renew);
}

bool Publish::takeLock()
{
    const QByteArray alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    m_lockToken.clear();
    for (int i = 0; i < 16; ++i)
        m_lockToken += alphabet[int(QRandomGenerator::system()->bounded(int(alphabet.size())))];
    bool madeBase = false;
    bool tookOver = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        bool exists = false;
        if (m_control->makeFolder(kPublishLockName, &exists)) {
            if (writeOwner(false)) {
                m_locked = true;
                return true;
            }
            fail(QStringLiteral("公開先のロックを取れませんでした"), m_control);
            // The lock made just now, empty, goes again: it would hold up the next publish.
            m_control->removeFolder(kPublishLockName);
            return false;
        }
        if (!exists || (madeBase && tookOver)) {
            // Refused although nothing of ours is in the way: the server will not let us write.
            fail(QStringLiteral("公開先に書き込めませんでした"), m_control);
            return false;
        }
        QByteArray owner;
        bool missing = false;
        // An owner file of more than a line is no owner of ours.
        if (!m_control->get(kLockOwner, &owner, &missing, kMaxOwnerBytes) && !m_control->tooLarge()) {
            fail(QStringLiteral("公開先のロックを確かめられませんでした"), m_control);
            return false;
        }
        if (missing) {
            if (!madeBase) {
                // Perhaps the folder itself is not there yet.
                madeBase = true;
                if (!m_control->makeBaseFolders()) {
                    fail(QStringLiteral("公開先のフォルダを作成できませんでした"), m_control);
                    return false;
                }
                continue;
            }
            // A lock without its owner: one being taken this moment, or one a run killed at
            // that moment left. A moment later tells which.
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            if (!m_control->get(kLockOwner, &owner, &missing, kMaxOwnerBytes) && !m_control->tooLarge())
                return fail(QStringLiteral("公開先のロックを確かめられませんでした"), m_control), false;
        }
        const QList<QByteArray> f = owner.trimmed().split('\t');
        // What the server holds is shown only as plain text (no terminal controls).
        const QString host = f.size() == 4 ? shownRemoteText(QByteArray::fromPercentEncoding(f[0])) : QString();
        const qint64 pid = f.size() == 4 ? f[1].toLongLong() : 0;
        const qint64 since = f.size() == 4 ? f[3].toLongLong() : 0;
        const qint64 age = QDateTime::currentSecsSinceEpoch() - since;
        const bool here = host == localHostName();
        const bool ownerGone = here && pid > 0 && !platform::processMayBeRunning(pid);
        const bool stale = missing || f.size() != 4 || ownerGone || age > kLockStaleSeconds;
        if (!stale || tookOver) {
            m_result.problem = PublishResult::Locked;
            m_result.code = PublishResult::Failed;
            m_result.message = QStringLiteral("ほかの公開が同じ公開先で進んでいます（%1、プロセス %2、%3 秒前から）。終わってからやり直して下さい")
                                   .arg(host.isEmpty() ? QStringLiteral("不明") : host)
                                   .arg(pid)
                                   .arg(qMax<qint64>(0, age));
            return false;
        }
        // Stale: taken over.
        tookOver = true;
        m_result.warnings << (f.size() == 4 ? QStringLiteral("took over a stale lock (%1, process %2)").arg(host).arg(pid)
                                            : QStringLiteral("took over a lock without its owner"));
        if (!clearLock()) {
            fail(QStringLiteral("公開先のロックを外せませんでした"), m_control);
            return false;
        }
    }
    m_result.problem = PublishResult::Locked;
    m_result.code = PublishResult::Failed;
    m_result.message = QStringLiteral("公開先のロックを取れませんでした");
    return false;
}

// Whatever is at the lock's name is first moved aside, then removed: a file or a link goes as
// it is (never followed: a link to a folder elsewhere loses nothing there), a folder with its
// owner.
bool Publish::clearLock()
{
    const QString aside = CurlSession::temporaryName();
    bool gone = false; // its owner released it meanwhile
    if (!m_control->rename(kPublishLockName, aside, QString(), &gone))
        return false;
    if (gone || m_control->remove(aside))
        return true;
    m_control->removeQuietly({aside + QStringLiteral("/owner")});
    if (!m_control->removeFolder(aside))
        m_result.warnings << QStringLiteral("left %1 on the server: the stale lock, moved aside, is not empty").arg(aside);
    return true;
}

void Publish::releaseLock()
{
    if (!m_locked)
        return;
    // Only our own lock: a stale-lock takeover by another run leaves theirs alone.
    QByteArray owner;
    bool missing = false;
    if (m_control->get(kLockOwner, &owner, &missing, kMaxOwnerBytes) && !missing
        && owner.split('\t').value(2) == m_lockToken) {
        m_control->remove(kLockOwner);
        m_control->removeFolder(kPublishLockName);
    }
    m_locked = false;
}

bool Publish::appendJournal(const QByteArray& lines)
{
    if (writeJournal(lines))
        return true;
    if (!m_journalFailed) {
        describeFailure(m_journalFailure, QStringLiteral("公開の記録を書けませんでした"), m_control, !m_options.password.isEmpty());
        m_journalFailed = true;
    }
    return false;
}

PublishResult Publish::failJournal()
{
    if (!m_journalFailed)
        return fail(QStringLiteral("公開の記録を書けませんでした"), m_control);
    takeFailure(m_journalFailure);
    return m_result;
}

void Publish::takeFailure(const PublishResult& failure)
{
    m_result.code = failure.code;
    m_result.problem = failure.problem;
    m_result.message = failure.message;
    m_result.serverAnswer = failure.serverAnswer;
    m_result.fingerprint = failure.fingerprint;
}

bool Publish::writeJournal(const QByteArray& lines)
{
    if (lines.isEmpty())
        return true;
    if (m_locked && QDateTime::currentSecsSinceEpoch() - m_ownerWritten > kLockRenewSeconds && !writeOwner(true))
        return false;
    if (!m_journalStarted) {
        // A run's first lines go up with the whole record, compacted, under a fresh name renamed
        // into place: what was at the record's name (a link to a file elsewhere, say) is
        // replaced, never written through.
        const QByteArray whole = publishStateBytes(m_state) + lines;
        if (!m_control->put(kPublishStateName, CurlSession::temporaryName(), whole, !m_stateMissing))
            return false;
        m_journalStarted = true;
        m_stateMissing = false;
        m_journalLines = whole.count('\n');
        return true;
    }
    m_journalLines += lines.count('\n');
    return m_control->append(kPublishStateName, lines);
}

void Publish::sender(CurlSession* session)
{
    for (;;) {
        int index = -1;
        {
            std::unique_lock lock(m_lock);
            m_more.wait(lock, [&] { return !m_ready.empty() || m_noMore || m_senderFailed || m_stop; });
            if (m_ready.empty() || m_senderFailed || m_stop)
                return;
            index = m_ready.front();
            m_ready.pop_front();
        }
        const Job& job = m_jobs[size_t(index)];
        QByteArray bytes;
        bool ok = readLocal(job.path, &bytes);
        Done done{index, false, {}};
        QString failure;
        if (!ok) {
            failure = QStringLiteral("ファイルを読み込めませんでした") + QLatin1Char('\r') + job.path;
        } else {
            done.sent = {sha256(bytes), bytes.size()};
            ok = session->put(job.name, job.temp, bytes, job.mayExist);
            if (!ok)
                failure = QStringLiteral("「%1」を送れませんでした").arg(job.name);
        }
        done.ok = ok;
        std::lock_guard lock(m_lock);
        m_done.push_back(done);
        if (!ok && !m_senderFailed) {
            m_senderFailed = true;
            m_failure = failure;
            // No hash: the file could not be read here. The session's own words are kept now:
            // its next step (the record) would clear them.
            m_failedLocally = done.sent.hash.isEmpty();
            describeFailure(m_senderFailure, failure, m_failedLocally ? nullptr : session, !m_options.password.isEmpty());
        }
        m_finished.notify_one();
        if (!ok) {
            m_more.notify_all();
            return;
        }
    }
}

bool Publish::sendAll()
{
    const int total = int(m_jobs.size() + m_toRemove.size());
    if (m_jobs.empty())
        return true;
    // One or two files go over the connection already open: another connection is not worth
    // its handshake (SSH's above all).
    const bool few = m_jobs.size() <= 2;
    const int senders = few ? 0 : qMin(m_options.connections, int(m_jobs.size()));
    std::vector<CurlSession*> sessions;
    for (int i = 0; i < senders; ++i)
        sessions.push_back(newSession());
    std::vector<std::thread> threads;
    for (CurlSession* s : sessions)
        threads.emplace_back([this, s] { sender(s); });

    // Names go into the record as pending before their files go up; a batch at a time, ahead of
    // the senders, so that the record costs a round trip per batch rather than per file.
    size_t announced = 0;
    QByteArray finished;
    qint64 lastFlush = steadyMs();
    int done = 0;
    bool ok = true;
    auto flushFinished = [&]() {
        if (!appendJournal(finished))
            return false;
        finished.clear();
        lastFlush = steadyMs();
        return true;
    };
    if (few) {
        QByteArray lines;
        for (const Job& job : m_jobs)
            lines += pendingLine(job.name, {job.temp, job.hash, job.size});
        ok = appendJournal(lines);
        if (ok) {
            {
                std::lock_guard lock(m_lock);
                for (size_t i = 0; i < m_jobs.size(); ++i)
                    m_ready.push_back(int(i));
                m_noMore = true;
            }
            sender(m_control);
        }
    }
    while (!few) {
        bool needMore = false;
        {
            std::lock_guard lock(m_lock);
            needMore = announced < m_jobs.size() && m_ready.size() < size_t(senders * 8) && !m_senderFailed && !m_stop;
        }
        if (needMore) {
            const size_t batch = qMin<size_t>(m_jobs.size() - announced, announced == 0 ? size_t(senders * 2) : size_t(256));
            QByteArray lines;
            for (size_t i = announced; i < announced + batch; ++i)
                lines += pendingLine(m_jobs[i].name, {m_jobs[i].temp, m_jobs[i].hash, m_jobs[i].size});
            // What was finished goes with it.
            if (!appendJournal(finished + lines)) {
                ok = false;
                break;
            }
            finished.clear();
            lastFlush = steadyMs();
            {
                std::lock_guard lock(m_lock);
                for (size_t i = announced; i < announced + batch; ++i)
                    m_ready.push_back(int(i));
                announced += batch;
                if (announced == m_jobs.size())
                    m_noMore = true;
            }
            m_more.notify_all();
            continue;
        }
        std::deque<Done> results;
        bool allDone = false;
        {
            std::unique_lock lock(m_lock);
            m_finished.wait_for(lock, std::chrono::milliseconds(500), [&] { return !m_done.empty() || m_stop; });
            results.swap(m_done);
            allDone = m_senderFailed || m_stop;
        }
        for (const Done& d : results) {
            if (!d.ok)
                continue;
            finished += publishedLine(m_jobs[size_t(d.job)].name, d.sent);
            m_state.published.insert(m_jobs[size_t(d.job)].name, d.sent);
            m_state.pending.remove(m_jobs[size_t(d.job)].name);
            ++m_result.uploaded;
            ++done;
        }
        if (!results.empty())
            tell(done, total, m_jobs[size_t(results.back().job)].name);
        if (allDone || done == int(m_jobs.size()))
            break;
        // What arrived is recorded every few seconds, so that a crash costs little resending.
        if (!finished.isEmpty() && (steadyMs() - lastFlush > 3000 || finished.size() > 64 * 1024) && !flushFinished()) {
            ok = false;
            break;
        }
    }
    {
        std::lock_guard lock(m_lock);
        m_noMore = true;
        if (!ok)
            m_senderFailed = true;
    }
    m_more.notify_all();
    for (std::thread& t : threads)
        t.join();
    for (const Done& d : m_done) {
        if (d.ok) {
            finished += publishedLine(m_jobs[size_t(d.job)].name, d.sent);
            m_state.published.insert(m_jobs[size_t(d.job)].name, d.sent);
            m_state.pending.remove(m_jobs[size_t(d.job)].name);
            ++m_result.uploaded;
        }
    }
    m_done.clear();
    // After a stop the record is still put in order, briefly.
    if (m_stop)
        m_control->allowAfterStop(1000);
    const bool recorded = flushFinished();
    if (!ok) {
        failJournal();
        return false;
    }
    if (m_senderFailed) {
        if (m_failedLocally) {
            localFail(m_failure);
        } else {
            takeFailure(m_senderFailure);
        }
        return false;
    }
    if (m_stop) {
        m_result.code = PublishResult::Cancelled;
        m_result.message = QStringLiteral("公開を中止しました");
        return false;
    }
    if (!recorded) {
        failJournal();
        return false;
    }
    return true;
}

// Temporary files that runs cut short left: ours by their names, and only those the record
// names; gone already or not, no matter.
bool Publish::removeLeftovers()
{
    if (!m_control->removeQuietly(m_leftovers)) {
        fail(QStringLiteral("前回の一時ファイルを削除できませんでした"), m_control);
        return false;
    }
    QByteArray lines;
    for (const QString& path : std::as_const(m_leftovers))
        lines += clearedLine(path);
    m_state.strays.clear();
    for (auto it = m_state.pending.begin(); it != m_state.pending.end(); ++it)
        it->temp.clear();
    if (!appendJournal(lines)) {
        failJournal();
        return false;
    }
    return true;
}

// Whether the file at `name` is one of the versions sent, by its size and hash; `gone` when
// there is no file.
bool Publish::isAsSent(const QString& name, const QList<PublishedFile>& versions, bool* gone, bool* same)
{
    *gone = false;
    *same = false;
    qint64 limit = 0;
    for (const PublishedFile& v : versions)
        limit = v.size < 0 ? kMaxRecordBytes : qMax(limit, v.size);
    if (!m_sftp) {
        // A size that no version has needs no reading.
        qint64 size = -1;
        if (!m_control->sizeOf(name, &size))
            return false;
        if (size == -1) {
            *gone = true;
            return true;
        }
        if (size >= 0) {
            const auto mayBe = [&](const PublishedFile& v) { return v.size < 0 || v.size == size; };
            if (std::none_of(versions.cbegin(), versions.cend(), mayBe))
                return true;
            limit = size;
        }
    }
    QByteArray bytes;
    bool missing = false;
    if (!m_control->get(name, &bytes, &missing, limit))
        return m_control->tooLarge(); // larger than anything sent: not ours
    *gone = missing;
    const QByteArray hash = sha256(bytes);
    *same = !missing && std::any_of(versions.cbegin(), versions.cend(), [&](const PublishedFile& v) {
        return v.hash == hash && (v.size < 0 || v.size == bytes.size());
    });
    return true;
}

bool Publish::removeAll()
{
    const PublishState state = m_state; // as it was before the removals
    const int total = int(m_jobs.size() + m_toRemove.size());
    int done = int(m_jobs.size());
    QByteArray lines;
    for (const QString& name : std::as_const(m_toRemove)) {
        if (!tell(done, total, name))
            break;
        // Only a file that is still what was sent, or what a run cut short was sending: a file
        // of the same name that someone else put there since stays.
        QList<PublishedFile> versions;
        if (const auto it = state.published.constFind(name); it != state.published.cend())
            versions << *it;
        if (const auto it = state.pending.constFind(name); it != state.pending.cend())
            versions << PublishedFile{it->hash, it->size};
        bool gone = false;
        bool same = false;
        if (!isAsSent(name, versions, &gone, &same)) {
            fail(QStringLiteral("「%1」を確かめられませんでした").arg(name), m_control);
            break;
        }
        if (!gone && !same) {
            m_result.warnings << QStringLiteral("left %1 on the server: it is not the file that was published").arg(name);
        } else if (!gone) {
            if (!m_control->remove(name)) {
                fail(QStringLiteral("「%1」を削除できませんでした").arg(name), m_control);
                break;
            }
            ++m_result.removed;
        }
        lines += removedLine(name);
        m_state.published.remove(name);
        m_state.pending.remove(name);
        ++done;
    }
    if (m_stop)
        m_control->allowAfterStop(1000);
    if (!appendJournal(lines) && m_result.code == PublishResult::Complete)
        failJournal();
    if (m_stop && m_result.code == PublishResult::Complete) {
        m_result.code = PublishResult::Cancelled;
        m_result.message = QStringLiteral("公開を中止しました");
    }
    return m_result.code == PublishResult::Complete;
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

} // namespace

QString PublishResult::summary() const
{
    return QStringLiteral("uploaded %1, removed %2, unchanged %3").arg(uploaded).arg(removed).arg(unchanged);
}

QString PublishResult::summaryJa() const
{
    return QStringLiteral("送信 %1、削除 %2、変更なし %3").arg(uploaded).arg(removed).arg(unchanged);
}

QString PublishResult::headline() const
{
    switch (code) {
    case Complete:
        return QStringLiteral("公開しました");
    case Cancelled:
        return QStringLiteral("公開を中止しました");
    case UnknownHostKey:
        return QStringLiteral("サーバーのホスト鍵が登録されていません");
    case NeedsConfirmation:
        return QStringLiteral("公開してよいか確かめて下さい");
    case Failed:
        break;
    }
    switch (problem) {
    case Connect:
        return QStringLiteral("接続できません");
    case Login:
        return QStringLiteral("ログインできません");
    case TlsRequired:
        return QStringLiteral("TLS が必要です");
    case HostKey:
        return QStringLiteral("ホスト鍵が違います");
    case Full:
        return QStringLiteral("容量不足");
    case Denied:
        return QStringLiteral("書き込めません");
    case Timeout:
        return QStringLiteral("応答がありません");
    case Locked:
        return QStringLiteral("ほかの公開が進行中です");
    case LocalFile:
        return QStringLiteral("公開するファイルに問題があります");
    case None:
    case Other:
        break;
    }
    return QStringLiteral("公開できませんでした");
}

QString publishUrlProblem(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("公開先のアドレスが正しくありません（例: ftp://user@example.jp/public_html）");
    if (scheme != QLatin1String("ftp") && scheme != QLatin1String("ftps") && scheme != QLatin1String("sftp"))
        return QStringLiteral("公開先のアドレスは ftp://、ftps://、sftp:// のいずれかで始めて下さい");
    if (url.port() == 0)
        return QStringLiteral("公開先のアドレスのポート番号が正しくありません");
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("公開先のアドレスに「?」や「#」は使えません");
    // The folder is the one named, never one reached through "..", and no name carries a
    // line break into the server's commands.
    const QString path = url.path(QUrl::FullyDecoded);
    const QString user = url.userName(QUrl::FullyDecoded);
    if (std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; })
        || std::any_of(user.cbegin(), user.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }))
        return QStringLiteral("公開先のアドレスに制御文字は使えません");
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")) || parts.contains(QStringLiteral(".")))
        return QStringLiteral("公開先のアドレスに「.」や「..」のフォルダは使えません");
    return QString();
}

QString addressWithoutPassword(const QUrl& url)
{
    return url.toString(QUrl::RemovePassword);
}

PublishResult publishSite(const PublishOptions& options, const PublishProgress& progress)
{
    Publish publish(options, progress);
    return publish.run();
}

} // namespace qadora
