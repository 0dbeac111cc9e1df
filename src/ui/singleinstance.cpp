// SPDX-License-Identifier: GPL-3.0-or-later
#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/instance.h"

namespace qadora {

namespace {

const QByteArray kRaise = "raise\n";
const QByteArray kRaised = "raised\n";
// Asks whether a window is there, without bringing it forward.
const QByteArray kPing = "here?\n";
const QByteArray kPong = "here\n";
constexpr int kWaitMs = 2000;

// True when the other end of the connection is a process of this user.
bool peerIsThisUser(const QLocalSocket& socket)
{
    return platform::peerIsThisUser(socket.socketDescriptor());
}

// Sends `request` to the window at `name`: true when it is this user's and answers `expected`.
bool ask(const QString& name, const QByteArray& request, const QByteArray& expected)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs) || !peerIsThisUser(socket))
        return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    QByteArray answer;
    while (answer.size() < expected.size() && socket.waitForReadyRead(kWaitMs))
        answer += socket.read(expected.size() - answer.size());
    return answer == expected;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketFolder()
{
    return platform::localServerPlace();
}

QString SingleInstance::serverName(const QString& path)
{
    const QString folder = socketFolder();
    if (folder.isEmpty())
        return QString();
    const QFileInfo info(path);
    const QString file = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    return folder + QStringLiteral("/qadora-")
        + QString::fromLatin1(QCryptographicHash::hash(file.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
}

bool SingleInstance::activateOther(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString name = serverName(path);
    return !name.isEmpty() && ask(name, kRaise, kRaised);
}

bool SingleInstance::serve(const QString& path)
{
    if (m_server && m_path == path)
        return true;
    delete m_server;
    m_server = nullptr;
    m_claim.release();
    m_path.clear();
    const QString name = path.isEmpty() ? QString() : serverName(path);
    if (name.isEmpty())
        return false;
    // Where a second server could listen beside the first, the claim decides; a window
    // that holds it is alive.
    if (!m_claim.claim(name))
        return false;
    // No access options: the folder keeps others out, and Qt would put the socket in place
    // with a rename, over a live window's.
    auto* server = new QLocalServer(this);
    if (!server->listen(name)) {
        // Another window of this user's has the database. Anything else there — a socket
        // left by a window that ended, one that does not answer — is replaced.
        if (ask(name, kPing, kPong)) {
            delete server;
            m_claim.release();
            return false;
        }
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            delete server;
            m_claim.release();
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                const QByteArray request = socket->readAll();
                if (!peerIsThisUser(*socket))
                    return;
                if (request.contains(kPing)) {
                    socket->write(kPong);
                    socket->flush();
                    return;
                }
                if (!request.contains(kRaise))
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
