// SPDX-License-Identifier: GPL-3.0-or-later
// What keeps one window per database and user: where the user's local servers listen, who is
// at the other end of a connection, and which process may serve a name.
// Part of the platform layer (instance_posix.cpp, instance_windows.cpp).
#pragma once

#include <QString>

namespace qadora::platform {

// The place of this user's local servers, made if need be; empty when there is no safe one.
// Here a folder only the user can enter ($XDG_RUNTIME_DIR, or a 0700 folder of the user's own
// in the temporary folder); on Windows a pipe-name prefix that holds the user's security
// identifier, the pipes themselves being the user's by their default access list.
QString localServerPlace();

// Whether the other end of a local connection (QLocalSocket::socketDescriptor()) is a process
// of this user.
bool peerIsThisUser(qintptr descriptor);

// Decides which of this user's processes serves `name`, while held. Here the socket itself
// decides (a second server cannot listen on a live one's name), so a claim always succeeds; on
// Windows, where a second pipe server would listen beside the first, a named mutex of the
// user's does.
class InstanceClaim {
public:
    InstanceClaim() = default;
    ~InstanceClaim();
    InstanceClaim(const InstanceClaim&) = delete;
    InstanceClaim& operator=(const InstanceClaim&) = delete;

    bool claim(const QString& name);
    void release();

private:
    qintptr m_handle = 0;
};

} // namespace qadora::platform
