// SPDX-License-Identifier: GPL-3.0-or-later
#include "knownhosts.h"

#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>


namespace qadora {

namespace {

// The name a host goes by in the file: "host", or "[host]:port" off the standard port.
QString hostEntry(const QString& host, int port)
{
    return port <= 0 || port == 22 ? host : QStringLiteral("[%1]:%2").arg(host).arg(port);
}

// The key type at the start of a key blob ("ssh-ed25519", "ecdsa-sha2-nistp256", …).
QByteArray keyType(const QByteArray& blob)
{
    if (blob.size() < 4)
        return {};
    const quint32 length = (quint32(uchar(blob[0])) << 24) | (quint32(uchar(blob[1])) << 16)
        | (quint32(uchar(blob[2])) << 8) | quint32(uchar(blob[3]));
    if (length > quint32(blob.size() - 4))
        return {};
    return blob.mid(4, qsizetype(length));
}

bool patternMatches(const QString& pattern, const QString& name)
{
    if (pattern.startsWith(QLatin1String("|1|"))) {
        // A hashed name: HMAC-SHA1 of the name under the salt.
        const QStringList parts = pattern.split(QLatin1Char('|'));
        if (parts.size() != 4)
            return false;
        const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
        const QByteArray hash = QByteArray::fromBase64(parts[3].toLatin1());
        return QMessageAuthenticationCode::hash(name.toUtf8(), salt, QCryptographicHash::Sha1) == hash;
    }
    // OpenSSH's patterns know "*" and "?" only; "[host]:port" is literal.
    QString re;
    for (const QChar c : pattern.toLower()) {
        if (c == QLatin1Char('*'))
            re += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            re += QLatin1Char('.');
        else
            re += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re)).match(name.toLower()).hasMatch();
}

// True when the comma-separated patterns take `name` (a "!" pattern that matches refuses it).
bool hostMatches(const QString& patterns, const QString& name)
{
    bool matched = false;
    for (const QString& p : patterns.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (p.startsWith(QLatin1Char('!'))) {
            if (patternMatches(p.mid(1), name))
                return false;
        } else if (patternMatches(p, name)) {
            matched = true;
        }
    }
    return matched;
}

} // namespace

QString hostKeyFingerprint(const QByteArray& blob)
{
    return QStringLiteral("SHA256:")
        + QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals));
}

HostKeyMatch matchHostKey(const QString& knownHostsFile, const QString& host, int port, const QByteArray& blob)
{
    QFile file(knownHostsFile);
    if (!file.open(QIODevice::ReadOnly))
        return HostKeyMatch::Missing;
    const QString name = hostEntry(host, port);
    const QByteArray type = keyType(blob);
    bool otherKey = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields = line.split(QRegularExpression(QStringLiteral("[ \t]+")), Qt::SkipEmptyParts);
        QString marker;
        if (!fields.isEmpty() && fields[0].startsWith(QLatin1Char('@')))
            marker = fields.takeFirst();
        if (fields.size() < 3 || marker == QLatin1String("@cert-authority") || !hostMatches(fields[0], name))
            continue; // what cannot be read is passed over, as OpenSSH does
        const QByteArray key = QByteArray::fromBase64(fields[2].toLatin1());
        if (marker == QLatin1String("@revoked")) {
            if (key == blob)
                return HostKeyMatch::Revoked;
            continue;
        }
        if (fields[1].toLatin1() != type)
            continue;
        if (key == blob)
            return HostKeyMatch::Known;
        otherKey = true;
    }
    return otherKey ? HostKeyMatch::Mismatch : HostKeyMatch::Missing;
}

bool rememberHostKey(const QString& knownHostsFile, const QString& host, int port, const QByteArray& blob,
                     QString* error)
{
    platform::makePrivateFolders(QFileInfo(knownHostsFile).absolutePath());
    const QByteArray line = hostEntry(host, port).toUtf8() + ' ' + keyType(blob) + ' ' + blob.toBase64() + '\n';
    return platform::appendLine(knownHostsFile, line, error);
}

} // namespace qadora
