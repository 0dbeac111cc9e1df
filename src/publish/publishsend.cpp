// SPDX-License-Identifier: GPL-3.0-or-later
// Sending the files: up to eight senders, each on a connection of its own, fed by the control
// thread, which announces each name in the record before its file goes up.
#include "publishrun.h"

namespace qadora::publishing {

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

} // namespace qadora::publishing
