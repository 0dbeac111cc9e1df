// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmarks share: a database of generated records, written in one transaction
// straight through SQLite, and a stopwatch.
#pragma once

#include "store/recordstore.h"

#include <QElapsedTimer>
#include <QStringList>
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

// The k-th word of FAQ record i of the modern and search benches: words a shop's FAQ uses,
// spread so that queries meet both common and rare ones.
inline QString faqWord(int i, int k)
{
    static const QStringList words = {
        QStringLiteral("パスワード"), QStringLiteral("変更"), QStringLiteral("ログイン"), QStringLiteral("注文"),
        QStringLiteral("配送"), QStringLiteral("返品"), QStringLiteral("支払い"), QStringLiteral("領収書"),
        QStringLiteral("会員登録"), QStringLiteral("メール"), QStringLiteral("ｱｶｳﾝﾄ"), QStringLiteral("Wi-Fi"),
        QStringLiteral("設定"), QStringLiteral("画面"), QStringLiteral("方法"), QStringLiteral("できません"),
    };
    return words[(i * 7 + k * 13 + i / 5) % words.size()];
}

// The record counts the command line gives, else `defaults`.
inline QList<int> recordCounts(int argc, char* argv[], const QList<int>& defaults)
{
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QString::fromLocal8Bit(argv[i]).toInt();
    return counts.isEmpty() ? defaults : counts;
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
