// SPDX-License-Identifier: GPL-3.0-or-later
// The test FTP server (ftpserver.py, pyftpdlib) on 127.0.0.1, with a log of the passwords it
// was sent, for tests that look at one server at a time.
#pragma once

#include "linuxprogram.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace qadora::test {

struct FtpTestServer {
    LinuxProgram process;
    QString top;         // the server's whole tree on this machine
    int port = 0;
    QString passwordLog; // one line per PASS received, as Python's repr of its argument

    // The passwords sent at each login, in order (the empty string: a PASS without one).
    QStringList passwordsReceived() const;
};

// Serves `top` to user "web" with `password`; the server's own log goes beside `top`.
// Fails the program when the server cannot be started.
std::unique_ptr<FtpTestServer> startFtpTestServer(const QString& top, const QString& password,
                                                  const QStringList& extra = {});

} // namespace qadora::test
