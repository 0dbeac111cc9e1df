// SPDX-License-Identifier: GPL-3.0-or-later
// One window per database: a window answers for its database on a local socket, and a
// second start on the same database asks that window to come forward instead of opening.
// The socket lives where only this user's processes can reach it (a folder only this user can
// enter; on Windows a pipe named for the user); a peer counts only when it is the same user and
// answers as a window does. Anything else — a stranger's socket, a folder not the user's, a
// socket that does not answer — and the window opens.
#pragma once

#include "platform/instance.h"

#include <QObject>
#include <QString>

class QLocalServer;

namespace qadora {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The folder for the sockets, made if need be; empty when there is no safe one.
    static QString socketFolder();
    // The socket for database `path`: one per user and file, links resolved; empty when there
    // is no safe folder.
    static QString serverName(const QString& path);
    // Asks the window that has `path` open to come forward; true when one of this user's
    // windows answered that it did.
    static bool activateOther(const QString& path);

    // Answers for `path` from now on, and no longer for the database before; false when
    // another window already does (or `path` is empty, or there is no safe folder).
    bool serve(const QString& path);
    QString served() const { return m_path; }

signals:
    void activationRequested();

private:
    QLocalServer* m_server = nullptr;
    platform::InstanceClaim m_claim; // held while m_server serves
    QString m_path;
};

} // namespace qadora
