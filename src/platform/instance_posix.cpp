// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/instance.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <unistd.h>

namespace qadora::platform {

QString localServerPlace()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(QFile::decodeName(runtime)))
        return QFile::decodeName(runtime);
    // The temporary folder is shared: a folder of the user's own there, and only when it is
    // theirs alone (a stranger may have made it first).
    const QString own = QDir::tempPath() + QStringLiteral("/qadora-") + userKey();
    if (!makePrivateFolder(own))
        return QString();
    return isPrivateFolder(own) ? own : QString();
}

bool peerIsThisUser(qintptr descriptor)
{
    ucred cred {};
    socklen_t size = sizeof cred;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && size == sizeof cred
        && cred.uid == ::getuid();
}

InstanceClaim::~InstanceClaim() = default;

bool InstanceClaim::claim(const QString&)
{
    return true;
}

void InstanceClaim::release()
{
}

} // namespace qadora::platform
