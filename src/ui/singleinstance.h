// SPDX-License-Identifier: GPL-3.0-or-later
// One window per database: a window answers for its database on a local socket, and a
// second start on the same database asks that window to come forward instead of opening.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace qadora {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket name for database `path`: one per user and file, links resolved.
    static QString serverName(const QString& path);
    // Asks the window that has `path` open to come forward; true when there is one.
    static bool activateOther(const QString& path);

    // Answers for `path` from now on, and no longer for the database before; false when
    // another window already does (or `path` is empty).
    bool serve(const QString& path);
    QString served() const { return m_path; }

signals:
    void activationRequested();

private:
    QLocalServer* m_server = nullptr;
    QString m_path;
};

} // namespace qadora
