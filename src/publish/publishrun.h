// SPDX-License-Identifier: GPL-3.0-or-later
// What the files of a publish share: one run of publishSite, with its control connection (the
// record and the lock), its senders and what it plans to send and remove.
#pragma once

#include "curlsession.h"
#include "publisher.h"
#include "publishstate.h"
#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qadora::publishing {

// What is read from the server is never more than this: a hostile record or lock of gigabytes
// would take all memory. The record of 32,808 pages is 2.6 MB.
constexpr qint64 kMaxRecordBytes = 64 * 1024 * 1024;

// Reads a file once: the bytes that are hashed are the bytes that are sent.
inline bool readLocal(const QString& path, QByteArray* bytes)
{
    return platform::readRegularFile(path, bytes);
}

inline QByteArray sha256(const QByteArray& bytes)
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
void describeFailure(PublishResult& result, const QString& message, const CurlSession* session, bool passwordSent);

} // namespace qadora::publishing
