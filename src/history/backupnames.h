// SPDX-License-Identifier: GPL-3.0-or-later
// Where the backups of a database live and how their files are named: one folder per database
// (keyed on its real path), and in it files named after the database, the time and a sequence
// number that orders them as they were made whatever the clock said, and why each was made.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace qadora {

// Why a backup was made. Unknown: a backup from before the reason was written down.
enum class BackupReason { Unknown, FirstChange, Import, KindRename, Restore };

// The reason as the restore list shows it ("取り込み前"); empty for Unknown.
QString backupReasonText(BackupReason reason);

// A backup file, as read from its name.
struct BackupName {
    QString path;
    QDateTime made;      // the time in its name (local time)
    qint64 sequence = 0; // 0: named before backups were numbered
    int duplicate = 0;   // "(2)": several of one millisecond in the old naming
    BackupReason reason = BackupReason::Unknown;
};

// Newest first: numbered ones by number, before the older unnumbered ones by time.
bool newerThan(const BackupName& a, const BackupName& b);

// The folder new backups of `database` go in: ~/.local/share/qadora/backups/<name>-<hash of the
// real path>, the name part shortened so that every name in it fits a file system's limit.
QString backupFolderFor(const QString& database);

// The path backups of `database` are keyed on: the real path, links resolved.
QString canonicalDatabasePath(const QString& database);

// A new backup's path in `folder` (not yet made), numbered after every backup in `existing`.
QString newBackupPath(const QString& folder, const QString& database, const QList<BackupName>& existing,
                      BackupReason reason);

// Every backup of `database`, newest first: those of its own folder and of folders made for
// another spelling of the same file (a link to it). Only names of the form backups are made
// under: anything else in those folders is no backup and is left alone.
QList<BackupName> backupNamesOf(const QString& database);

} // namespace qadora
