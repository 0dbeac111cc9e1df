// SPDX-License-Identifier: GPL-3.0-or-later
// Files the user gives up are moved, never unlinked: to the desktop's trash, or where there is
// none, beside themselves under a name no file has.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

namespace qadora {

// Moves the file `path` to the user's trash (the freedesktop.org trash: the home trash, or the
// trash of the file's own disk). False when there is no trash for it or the move failed; the
// file is then where it was.
bool moveToTrash(const QString& path, QString* where = nullptr);

struct SetAside {
    bool ok = false;
    bool trashed = false; // in the trash; otherwise renamed beside itself
    QString where;        // where the file is now
    QString error;        // why it could not be moved; it is then where it was
};

// Moves `path` to the trash; where there is none, renames it "NAME_backup.ext" beside itself,
// with the first such name no file has.
SetAside setAside(const QString& path);

struct FolderEmptying {
    QStringList trashed;                     // names moved to the trash
    QList<std::pair<QString, QString>> kept; // names left where they are, and why
};

// Moves each file `names` lists in `dir` to the trash. A file that must stay (`keep`: a path,
// and the reason shown for it), anything that is not a regular file (a link, a folder, a
// FIFO, a device), a file gone meanwhile and a file the trash cannot take are left as they are.
FolderEmptying emptyFolder(const QString& dir, const QStringList& names, const QHash<QString, QString>& keep);

// Reasons a file stays, as emptyFolder() reports them.
inline const QString kNotRegularReason = QStringLiteral("通常のファイルではありません");
inline const QString kNoTrashReason = QStringLiteral("ごみ箱に移せません");

} // namespace qadora
