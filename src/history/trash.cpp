// SPDX-License-Identifier: GPL-3.0-or-later
#include "trash.h"

#include "platform/platform.h"
#include "store/conversion.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSaveFile>
#include <QStorageInfo>
#include <QUrl>

namespace qadora {

namespace {

// Makes the folders of `path` that are missing, for the user alone (as the freedesktop.org base
// directories want them); false when one cannot be made.
bool makeOwnFolders(const QString& path)
{
    QStringList missing;
    QString existing = QDir::cleanPath(path);
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        missing.prepend(existing);
        const QString up = QFileInfo(existing).absolutePath();
        if (up == existing)
            break;
        existing = up;
    }
    if (!QFileInfo(existing).isDir())
        return false;
    for (const QString& folder : missing) {
        if (!platform::makePrivateFolder(folder))
            return false;
    }
    return QFileInfo(path).isDir();
}

// Qt 6.4 takes the working folder as the trash when it finds none: it would "trash" a file into
// ./files. So the home trash, Qt's last resort, is made sure of first, with the data folder of a
// new account that has none yet; without it there is no trash.
bool homeTrashReady()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !makeOwnFolders(data))
        return false;
    const QDir top(data);
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!top.exists(QStringLiteral("Trash")) && !top.mkdir(QStringLiteral("Trash"), ownerOnly))
        return false;
    const QDir trash(top.filePath(QStringLiteral("Trash")));
    for (const char* sub : {"files", "info"}) {
        if (!trash.exists(QLatin1String(sub)) && !trash.mkdir(QLatin1String(sub), ownerOnly))
            return false;
    }
    return QFileInfo(trash.path()).isWritable();
}

// Qt 6.4 writes the original path into the .trashinfo as it is, which a file manager cannot read
// back for a name with a space, "%" or a line break. Written again as freedesktop.org file managers
// read it: percent-encoded, and relative to the top of the disk in a trash there.
void rewriteTrashInfo(const QString& original, const QString& placed)
{
    const QFileInfo file(placed);
    const QString trash = file.absolutePath().section(QLatin1Char('/'), 0, -2);
    QString path = QFileInfo(original).absoluteFilePath();
    QString top;
    if (QFileInfo(trash).fileName().startsWith(QLatin1String(".Trash-")))
        top = QFileInfo(trash).absolutePath(); // $topdir/.Trash-$uid
    else if (QFileInfo(QFileInfo(trash).absolutePath()).fileName() == QLatin1String(".Trash"))
        top = QFileInfo(QFileInfo(trash).absolutePath()).absolutePath(); // $topdir/.Trash/$uid
    if (!top.isEmpty() && path.startsWith(top + QLatin1Char('/')))
        path = path.mid(top.size() + 1);
    QSaveFile info(trash + QStringLiteral("/info/") + file.fileName() + QStringLiteral(".trashinfo"));
    if (!info.open(QIODevice::WriteOnly))
        return;
    info.write("[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") + "\nDeletionDate="
               + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8() + "\n");
    info.commit();
}

} // namespace

bool moveToTrash(const QString& path, QString* where)
{
    // Windows has its Recycle Bin, which Qt uses as it is.
    const bool freedesktop = platform::hasFreedesktopTrash();
    if (freedesktop && !homeTrashReady())
        return false;
    QString placed;
    if (!QFile::moveToTrash(path, &placed))
        return false;
    if (freedesktop)
        rewriteTrashInfo(path, placed);
    if (where)
        *where = placed;
    return true;
}

SetAside setAside(const QString& path)
{
    SetAside result;
    if (moveToTrash(path, &result.where)) {
        result.ok = result.trashed = true;
        return result;
    }
    // The same name an Access conversion keeps the original under; rename never replaces a file.
    const QString beside = backupPathFor(path);
    QFile file(path);
    if (file.rename(beside)) {
        result.ok = true;
        result.where = beside;
    } else {
        result.error = file.errorString();
    }
    return result;
}

FolderEmptying emptyFolder(const QString& dir, const QStringList& names, const QHash<QString, QString>& keep)
{
    QHash<QString, QString> kept;
    for (auto it = keep.cbegin(); it != keep.cend(); ++it) {
        if (const QString canonical = QFileInfo(it.key()).canonicalFilePath(); !canonical.isEmpty())
            kept.insert(canonical, it.value());
    }
    FolderEmptying result;
    for (const QString& name : names) {
        const QString path = QDir(dir).filePath(name);
        if (const QString reason = kept.value(QFileInfo(path).canonicalFilePath()); !reason.isEmpty())
            result.kept.append({name, reason});
        else if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            continue; // gone meanwhile: nothing to do
        else if (!platform::isRegularFile(path))
            result.kept.append({name, kNotRegularReason});
        else if (moveToTrash(path))
            result.trashed << name;
        else
            result.kept.append({name, kNoTrashReason});
    }
    return result;
}

} // namespace qadora
