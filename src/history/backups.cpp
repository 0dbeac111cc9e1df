// SPDX-License-Identifier: GPL-3.0-or-later
#include "backups.h"

#include "store/fileprobe.h"
#include "store/recordstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QUrl>

#include <sqlite3.h>

namespace qadora {

namespace {

const QString kPartial = QStringLiteral(".partial");

// One SQLite connection, closed when it goes out of scope.
class Handle {
public:
    // ReadImmutable: a file nothing writes (a backup), opened without journal or lock files, so
    // reading a backup never leaves anything beside it.
    enum Mode { Read, ReadImmutable, Write, Create };
    Handle(const QString& path, Mode mode)
    {
        const bool immutable = mode == ReadImmutable;
        const bool write = mode == Write || mode == Create;
        QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
        if (immutable)
            uri += QStringLiteral("?immutable=1");
        const int flags = (write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | (mode == Create ? SQLITE_OPEN_CREATE : 0)
            | SQLITE_OPEN_URI;
        m_rc = sqlite3_open_v2(uri.toUtf8().constData(), &m_db, flags, nullptr);
        if (m_db)
            sqlite3_busy_timeout(m_db, 5000);
    }
    ~Handle() { sqlite3_close(m_db); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3* get() const { return m_db; }
    QString error() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory"); }

private:
    sqlite3* m_db = nullptr;
    int m_rc = SQLITE_CANTOPEN;
};

// Copies every page of `from` into `to` in one step: `to` changes as one transaction.
bool copyPages(const Handle& from, const Handle& to, QString* error)
{
    sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!backup) {
        *error = to.error();
        return false;
    }
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        *error = rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? kLockedMessage : QString::fromUtf8(sqlite3_errstr(rc));
        return false;
    }
    return true;
}

bool isSqlite(const QString& path)
{
    const FileFormat format = probeFile(path);
    return format == FileFormat::Sqlite || format == FileFormat::ForeignSqlite;
}

// Puts a byte copy of `from` at `to`, replacing it at once; `to` keeps its old bytes on failure.
bool copyFileOver(const QString& from, const QString& to, QString* error)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = in.errorString();
        return false;
    }
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            *error = in.errorString();
            return false;
        }
        if (out.write(chunk) != chunk.size()) {
            *error = out.errorString();
            return false;
        }
    }
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

int recordsIn(const QString& backup)
{
    if (!isSqlite(backup)) {
        QString message;
        const int n = countRecords(backup, &message);
        return message.isEmpty() ? n : -1;
    }
    Handle db(backup, Handle::ReadImmutable);
    sqlite3_stmt* statement = nullptr;
    int n = -1;
    if (db.ok() && sqlite3_prepare_v2(db.get(), "SELECT count(*) FROM tbl1", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        n = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return n;
}

// Why a backup into `folder` of a file of `size` bytes could not be made, in the user's words:
// a full or read-only disk is said as such, with the folder, so the user knows where to make room.
QString failureReason(const QString& folder, qint64 size, const QString& detail)
{
    QString existing = folder;
    while (!QFileInfo(existing).isDir() && QFileInfo(existing).dir() != QDir(existing))
        existing = QFileInfo(existing).absolutePath();
    const QStorageInfo storage(existing);
    QString what;
    if (storage.isValid() && storage.isReadOnly())
        what = QStringLiteral("バックアップのフォルダのディスクが読み取り専用のため、書き込めません");
    else if (storage.isValid() && storage.bytesAvailable() < size + (1 << 16))
        what = QStringLiteral("バックアップのフォルダのディスクに空きがありません（空き %L1 KB、必要 %L2 KB）")
                   .arg(storage.bytesAvailable() / 1024)
                   .arg((size + 1023) / 1024);
    else
        return detail + QLatin1Char('\r') + folder;
    return what + QLatin1Char('\r') + folder;
}

// Drops the oldest backups of `database` beyond kBackupsKept, never one of `spare`.
void prune(const QString& database, QStringList spare)
{
    spare.removeAll(QString());
    for (QString& path : spare)
        path = QFileInfo(path).absoluteFilePath();
    qsizetype kept = 0;
    for (const BackupName& b : backupNamesOf(database)) {
        if (spare.contains(b.path) || kept++ < kBackupsKept - spare.size())
            continue;
        QFile::remove(b.path);
    }
}

// backUp without the pruning.
bool copyIntoFolder(const QString& database, BackupReason reason, QString* error, QString* made)
{
    const QFileInfo info(database);
    const QString folder = backupFolderFor(database);
    if (!QDir().mkpath(folder)) {
        *error = failureReason(folder, info.size(), QStringLiteral("フォルダを作成できません"));
        return false;
    }
    // Says which database the folder's files are copies of, for a person looking at them and
    // for finding them again by another spelling of the path.
    if (QFile note(folder + QStringLiteral("/database.txt")); !note.exists() && note.open(QIODevice::WriteOnly))
        note.write(canonicalDatabasePath(database).toUtf8() + "\n");

    const QString target = newBackupPath(folder, database, backupNamesOf(database), reason);
    // Made under a temporary name: a copy cut short is never listed as a backup.
    const QString partial = target + kPartial;
    QFile::remove(partial);
    bool copied = false;
    if (isSqlite(database)) {
        // Read-write, so that a journal a crashed writer left is rolled back first.
        Handle from(database, Handle::Write);
        Handle to(partial, Handle::Create);
        if (!from.ok())
            *error = from.error();
        else if (!to.ok())
            *error = to.error();
        copied = from.ok() && to.ok() && copyPages(from, to, error);
    } else {
        copied = copyFileOver(database, partial, error);
    }
    if (!copied || !QFile::rename(partial, target)) {
        if (copied)
            *error = QStringLiteral("名前を変更できません") + QLatin1Char('\r') + target;
        QFile::remove(partial);
        *error = failureReason(folder, info.size(), *error);
        return false;
    }
    if (made)
        *made = target;
    return true;
}

// Replaces the contents of `database` with the backup's.
bool copyBackOver(const QString& backup, const QString& database, QString* error)
{
    if (isSqlite(backup) && isSqlite(database)) {
        Handle from(backup, Handle::ReadImmutable);
        Handle to(database, Handle::Write);
        if (!from.ok()) {
            *error = from.error();
            return false;
        }
        if (!to.ok()) {
            *error = to.error();
            return false;
        }
        return copyPages(from, to, error);
    }
    return copyFileOver(backup, database, error);
}

} // namespace

bool backUp(const QString& database, QString* error, QString* made, BackupReason reason)
{
    QString path;
    if (!copyIntoFolder(database, reason, error, &path))
        return false;
    prune(database, {path});
    if (made)
        *made = path;
    return true;
}

QList<BackupEntry> backupsOf(const QString& database)
{
    QList<BackupEntry> entries;
    for (const BackupName& b : backupNamesOf(database))
        entries.append({b.path, b.made, recordsIn(b.path), b.reason});
    return entries;
}

bool restoreBackup(const QString& backup, const QString& database, QString* error)
{
    // Junk copied over the database would leave nothing to work with.
    if (recordsIn(backup) < 0) {
        *error = kUnreadableBackupMessage;
        return false;
    }
    // The backup of the state restored over must not prune the one being restored, which
    // may be the oldest kept.
    QString made;
    if (QFileInfo::exists(database) && !copyIntoFolder(database, BackupReason::Restore, error, &made))
        return false;
    const bool restored = copyBackOver(backup, database, error);
    prune(database, {backup, made});
    return restored;
}

bool SessionBackups::beforeFirstChange(const QString& database, QString* error)
{
    return before(database, BackupReason::FirstChange, error);
}

bool SessionBackups::before(const QString& database, BackupReason reason, QString* error)
{
    const QString key = canonicalDatabasePath(database);
    if ((reason == BackupReason::FirstChange && m_done.contains(key)) || !QFileInfo(database).isFile())
        return true;
    if (!backUp(database, error, nullptr, reason))
        return false;
    m_done.insert(key);
    return true;
}

void SessionBackups::forget(const QString& database)
{
    m_done.remove(canonicalDatabasePath(database));
}

QString backupFailedMessage(const QString& reason)
{
    return QStringLiteral("変更の前にデータベースの控え（バックアップ）を作成できなかったため、変更しません") + QLatin1Char('\r') + reason;
}

} // namespace qadora
