// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace qadora {

namespace {

const QByteArray kRaise = "raise\n";
const QByteArray kRaised = "raised\n";
constexpr int kWaitMs = 2000;

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString& path)
{
    const QFileInfo info(path);
    const QString file = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    const QByteArray key = QByteArray::number(::getuid()) + '\0' + file.toUtf8();
    return QStringLiteral("qadora-") + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

bool SingleInstance::activateOther(const QString& path)
{
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverName(path));
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(kRaise);
    socket.waitForBytesWritten(kWaitMs);
    // A window busy with a long run answers later; it has the database all the same.
    socket.waitForReadyRead(kWaitMs);
    return true;
}

bool SingleInstance::serve(const QString& path)
{
    if (m_server && m_path == path)
        return true;
    delete m_server;
    m_server = nullptr;
    m_path.clear();
    if (path.isEmpty())
        return false;
    const QString name = serverName(path);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A socket left by a window that ended without closing it answers nobody.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(kWaitMs)) {
            delete server;
            return false;
        }
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            delete server;
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().contains(kRaise))
                    return;
                socket->write(kRaised);
                socket->flush();
                emit activationRequested();
            });
        }
    });
    m_server = server;
    m_path = path;
    return true;
}

} // namespace qadora
