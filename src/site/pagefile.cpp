// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefile.h"

#include "cp932.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#ifdef QADORA_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

#include <memory>

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
#ifdef QADORA_HAVE_OPENSSL
    // OpenSSL's SHA-256 uses the processor's instructions for it, many times faster than
    // Qt's portable one; the page's hash is taken for every page of every run.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    thread_local const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (sha256 && context && EVP_DigestInit_ex2(context.get(), sha256, nullptr)
        && EVP_DigestUpdate(context.get(), bytes.constData(), size_t(bytes.size()))
        && EVP_DigestFinal_ex(context.get(), digest, &length))
        return QByteArray::fromRawData(reinterpret_cast<const char*>(digest), length).toHex();
#endif
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace qadora
