// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftptestserver.h"

#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace qadora::test {

QStringList FtpTestServer::passwordsReceived() const
{
    QStringList passwords;
    const QStringList lines = QString::fromUtf8(readBytes(passwordLog)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // repr() of a Python string: quoted, with \\ and \' escaped (the test passwords need no more).
    static const QRegularExpression quoted(QStringLiteral("^['\"](.*)['\"]$"));
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = quoted.match(line);
        passwords << (m.hasMatch() ? m.captured(1).replace(QStringLiteral("\\'"), QStringLiteral("'")) : line);
    }
    return passwords;
}

std::unique_ptr<FtpTestServer> startFtpTestServer(const QString& top, const QString& password, const QStringList& extra)
{
    auto server = std::make_unique<FtpTestServer>();
    server->top = top;
    server->passwordLog = top + QStringLiteral(".passwords");
    QDir().mkpath(top);
    const QString log = top + QStringLiteral(".log");
    server->process.setStandardErrorFile(log);
    // pyftpdlib changes into folders for real, and fails in a working folder that is gone (the
    // window moves into its output folder, which an earlier test removed).
    server->process.setWorkingDirectory(top);
    server->process.start(QStringLiteral("/usr/bin/python3"),
                          QStringList{QStringLiteral(QADORA_SOURCE_DIR "/tests/publish/ftpserver.py"), QStringLiteral("--root"),
                                      top, QStringLiteral("--user"), QStringLiteral("web"), QStringLiteral("--password"),
                                      password, QStringLiteral("--password-log"), server->passwordLog}
                              + extra);
    if (!server->process.waitForReadyRead(20000))
        qFatal("cannot start the FTP server: %s", readBytes(log).constData());
    server->port = QString::fromLatin1(server->process.readLine()).trimmed().toInt();
    return server;
}

} // namespace qadora::test
