// SPDX-License-Identifier: GPL-3.0-or-later
// Removing from the server what the folder no longer has, and what runs cut short left: only
// files that are still as they were sent.
#include "publishrun.h"

#include <algorithm>

namespace qadora::publishing {

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

} // namespace qadora::publishing
