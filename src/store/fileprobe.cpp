// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileprobe.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace qadora {

FileFormat probeFile(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return FileFormat::Missing;
    if (!info.isFile())
        return FileFormat::NotAFile;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileFormat::Unreadable;
    const QByteArray head = file.read(100);

    // The Jet and ACE signatures stand at offset 4 of the first page.
    const QByteArray jetSignature = head.mid(4, 15);
    if (jetSignature == "Standard Jet DB" || jetSignature == "Standard ACE DB")
        return FileFormat::Access;

    // A whole SQLite header is 100 bytes; a shorter file cannot be a database.
    if (head.size() < 100 || !head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return FileFormat::Unknown;
    const quint32 appId = qFromBigEndian<quint32>(head.constData() + 68);
    if (appId != 0 && appId != kApplicationId)
        return FileFormat::ForeignSqlite;
    return FileFormat::Sqlite;
}

} // namespace qadora
