// SPDX-License-Identifier: GPL-3.0-or-later
// The control connection's own files: the lock folder that keeps two publishes from one place,
// and the record of what was published, written as a journal as the publish goes.
#include "publishrun.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSysInfo>

namespace qadora::publishing {

namespace {

QString localHostName()
{
    return QSysInfo::machineHostName();
}

const QString kLockOwner = kPublishLockName + QStringLiteral("/owner");
// A lock whose owner has not renewed it for this long, or whose owner on this machine is gone,
// is taken over.
constexpr qint64 kLockStaleSeconds = 600;
constexpr qint64 kLockRenewSeconds = 120;
constexpr qint64 kMaxOwnerBytes = 4096;

} // namespace

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

} // namespace qadora::publishing
