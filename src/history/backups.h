// SPDX-License-Identifier: GPL-3.0-or-later
// Copies of a database kept outside it, so that every change of a session can be taken back
// even when the program that made it is gone.
#pragma once

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
    int records = -1;  // records it holds; -1 when it cannot be read
};

// The folder holding the backups of `database`: one folder per database path, under
// ~/.local/share/qadora/backups.
QString backupFolderFor(const QString& database);

// Copies `database` into its backup folder as "<name> <yyyy-MM-dd HH-mm-ss-zzz>.<suffix>" and drops
// the oldest beyond kBackupsKept. An SQLite file is copied with SQLite's online backup, which
// gives a consistent copy while another program writes it; any other file byte for byte.
// False with the reason in `error`; the database is never changed.
bool backUp(const QString& database, QString* error, QString* made = nullptr);

// The backups of `database`, newest first.
QList<BackupEntry> backupsOf(const QString& database);

// Backs the database up as it is now, then replaces its contents with the backup's (SQLite's
// online backup into the open file, so another program's connection sees the change as one
// transaction). False with the reason in `error`; then the database is as it was.
bool restoreBackup(const QString& backup, const QString& database, QString* error);

// The first backup of each database that this session changes.
class SessionBackups {
public:
    // Backs `database` up unless this session did already; false with the reason in `error`.
    bool beforeFirstChange(const QString& database, QString* error);
    // The next change of `database` makes a new backup (after it was replaced or restored).
    void forget(const QString& database);

private:
    QSet<QString> m_done;
};

// Text of a backup failure for the user.
QString backupFailedMessage(const QString& reason);

} // namespace qadora
