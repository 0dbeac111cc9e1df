// SPDX-License-Identifier: GPL-3.0-or-later
// Copies of a database kept outside it, so that every change of a session can be taken back
// even when the program that made it is gone.
#pragma once

#include "history/backupnames.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

namespace qadora {

// Backups kept per database; the oldest go first.
inline constexpr int kBackupsKept = 10;

struct BackupEntry {
    QString path;      // the backup file
    QDateTime made;    // when it was made (local time)
    int records = -1;  // records it holds; -1 when it cannot be read as a Q&A database
    BackupReason reason = BackupReason::Unknown;
};

// Copies `database` into its backup folder (see backupnames.h) and drops the oldest beyond
// kBackupsKept, never the one just made. An SQLite file is copied with SQLite's online backup,
// which gives a consistent copy while another program writes it; any other file byte for byte.
// False with the reason in `error`; the database is never changed.
bool backUp(const QString& database, QString* error, QString* made = nullptr,
            BackupReason reason = BackupReason::FirstChange);

// The backups of `database`, newest first.
QList<BackupEntry> backupsOf(const QString& database);

// Backs the database up as it is now, then replaces its contents with the backup's (SQLite's
// online backup into the open file, so another program's connection sees the change as one
// transaction). A backup that does not read as a Q&A database is refused before anything is
// done. False with the reason in `error`; then the database is as it was.
bool restoreBackup(const QString& backup, const QString& database, QString* error);

// Why a backup that cannot be read is not restored.
inline const QString kUnreadableBackupMessage =
    QStringLiteral("このバックアップはQ&Aのデータベースとして読み込めないため、復元できません");

// The backups a session makes: one before its first change of each database, and one before
// every change that replaces many records at once.
class SessionBackups {
public:
    // Backs `database` up unless this session did already; false with the reason in `error`.
    bool beforeFirstChange(const QString& database, QString* error);
    // Backs `database` up for `reason`, whether or not this session did already (but once
    // only for FirstChange).
    bool before(const QString& database, BackupReason reason, QString* error);
    // The next change of `database` makes a new backup (after it was replaced or restored).
    void forget(const QString& database);

private:
    QSet<QString> m_done;
};

// Text of a backup failure for the user.
QString backupFailedMessage(const QString& reason);

} // namespace qadora
