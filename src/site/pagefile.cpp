// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefile.h"

#include "cp932.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <QtEndian>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace qadora {

QString outputDirForm(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString joinPath(const QString& dir, const QString& fileName)
{
    if (dir.endsWith(QLatin1Char('/')))
        return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}

QString pageNameProblem(const QString& fileName)
{
    if (fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')))
        return QStringLiteral("ファイル名に「/」や「\\」は使えません") + QLatin1Char('\r') + fileName;
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            QString shown = fileName;
            for (QChar& s : shown) {
                if (s.unicode() < 0x20 || s.unicode() == 0x7F)
                    s = QChar(0xFFFD);
            }
            return QStringLiteral("ファイル名に制御文字（U+%1）は使えません")
                       .arg(QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper())
                + QLatin1Char('\r') + shown;
        }
    }
    if (fileName.startsWith(QLatin1String(".qadora-")))
        return QStringLiteral("「.qadora-」で始まる名前は使えません（Qadoraが使います）") + QLatin1Char('\r') + fileName;
    return QString();
}

QByteArray encodeLines(const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() * 10 + 2; // the encoder's worst case, so it never reallocates
    QByteArray bytes;
    bytes.reserve(size);
    for (const QString& line : lines) {
        cp932::encodeInto(bytes, line);
        bytes += "\r\n";
    }
    return bytes;
}

QString directoryNameProblem(const QString& name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に「/」や「\\」は使えません（１階層ずつ作成して下さい）") + QLatin1Char('\r') + name;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に「.」や「..」は使えません") + QLatin1Char('\r') + name;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に制御文字は使えません");
    }
    return QString();
}

QByteArray pageHash(const QByteArray& bytes)
{
    // Every page of every run is hashed, only to tell at a later prune whether the file is
    // still the one written: XXH3 takes a fraction of SHA-256's time for it.
    const XXH128_hash_t h = XXH3_128bits(bytes.constData(), size_t(bytes.size()));
    const quint64 halves[] = {qToBigEndian(h.high64), qToBigEndian(h.low64)};
    return QByteArray::fromRawData(reinterpret_cast<const char*>(halves), sizeof halves).toHex();
}

bool isPageHash(const QByteArray& hash, const QByteArray& bytes)
{
    // The manifests of earlier versions hold SHA-256 hashes: their pages are still known.
    if (hash.size() == kLegacyPageHashLength)
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() == hash;
    return hash.size() == kPageHashLength && pageHash(bytes) == hash;
}

} // namespace qadora
