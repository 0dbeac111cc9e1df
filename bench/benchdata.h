// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: a database of generated records, written in one transaction
// straight through SQLite, and a stopwatch.
#pragma once

#include "store/recordstore.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace qadora::bench {

// Creates `path` with `n` records, record i as `make(i)` gives it (its number is not used).
template<typename Make>
QString makeDatabase(const QString& path, int n, Make&& make)
{
    createDatabase(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        db.open();
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES (?, ?, ?)"));
        for (int i = 0; i < n; ++i) {
            const Record r = make(i);
            q.addBindValue(r.kind);
            q.addBindValue(r.quest);
            q.addBindValue(r.anser);
            q.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return path;
}

template<typename F>
double seconds(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

} // namespace qadora::bench
