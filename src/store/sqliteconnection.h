// SPDX-License-Identifier: GPL-3.0-or-later
// The connections of the SQLite store, and what its parts share: how a failure is told, and
// how a text is bound.
#pragma once

#include "recordstore.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QUrl>
#include <QVariant>

class QSqlError;
class QSqlQuery;

namespace qadora::sqlite {

// One connection, closed and unregistered when it goes out of scope. Queries must be
// destroyed before it, so declare them after it.
class Connection {
public:
    // An existing file is opened by URI with mode=rw: SQLite never creates a missing file
    // then, and a reader can still roll back the journal a crashed writer left (a read-only
    // connection cannot, and would see no data at all).
    Connection(const QString& path, bool create)
        : m_name(QStringLiteral("qadora-%1").arg(s_counter.fetchAndAddRelaxed(1)))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        // A second instance of the program on the same file waits instead of failing.
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (create) {
            m_db.setDatabaseName(path);
        } else {
            options += QStringLiteral(";QSQLITE_OPEN_URI");
            m_db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
                                 + QStringLiteral("?mode=rw"));
        }
        m_db.setConnectOptions(options);
    }
    ~Connection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open() { return m_db.open(); }
    QSqlDatabase& db() { return m_db; }

private:
    static inline QAtomicInteger<int> s_counter{0};
    QString m_name;
    QSqlDatabase m_db;
};

StoreStatus failure(StoreStatus::Code code, const QString& message);
StoreStatus withPath(StoreStatus::Code code, const QString& message, const QString& path);
StoreStatus writeFailure(const QSqlError& error, const QString& path);
// A read that failed: what the user can do something about is said; anything else reads as
// a file with no usable data, or a failure with SQLite's own words when the count succeeded.
StoreStatus readFailure(const QSqlError& error, const QString& path, bool afterCount);
// The file may have gone or changed since openStore(); check again right before a connection.
StoreStatus checkStillOurs(const QString& path);
// tbl1 with the four columns the program reads by name.
StoreStatus checkTable(QSqlDatabase& db, const QString& path);
// A text to bind. Qt's driver binds a QString as UTF-16, and SQLite takes a first U+FEFF or
// U+FFFE of it for a byte-order mark: it drops it, and after U+FFFE reads the rest in the
// other byte order. Before such a text a mark of our own is the one taken.
QVariant text(const QString& s);
Record recordFrom(const QSqlQuery& q, bool withQuestion, bool withAnswer);

} // namespace qadora::sqlite
