// SPDX-License-Identifier: GPL-3.0-or-later
// The store's functions beside SqliteStore: writing records with their numbers, lengths,
// counting, and making a new database.
#include "sqlitestore.h"

#include "fileprobe.h"
#include "sqliteconnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace qadora {

using namespace sqlite;

ChangeSet inverted(const ChangeSet& changes)
{
    ChangeSet back;
    back.reserve(changes.size());
    for (auto it = changes.crbegin(); it != changes.crend(); ++it)
        back.append({it->after, it->before});
    return back;
}

QString conflictMessage(const QString& quest)
{
    return QStringLiteral("ほかのプログラムがこのデータを変更したため、元に戻せません") + QLatin1Char('\r') + quest;
}

StoreStatus writeRecordsKeepingNumbers(const QString& path, const std::vector<Record>& records,
                                       const std::function<bool(int)>& tick)
{
    Connection c(path, false);
    if (!c.open())
        return writeFailure(c.db().lastError(), path);
    if (!c.db().transaction())
        return writeFailure(c.db().lastError(), path);
    QSqlQuery q(c.db());
    q.prepare(QStringLiteral("INSERT INTO tbl1 (No, kind, quest, anser) VALUES (?, ?, ?, ?)"));
    int written = 0;
    for (const Record& r : records) {
        if (tick && ++written % 256 == 0 && !tick(written)) {
            c.db().rollback();
            return failure(StoreStatus::Failed, QString());
        }
        q.addBindValue(r.no);
        q.addBindValue(text(r.kind));
        q.addBindValue(text(r.quest));
        q.addBindValue(text(r.anser));
        if (!q.exec()) {
            const QSqlError error = q.lastError();
            c.db().rollback();
            return writeFailure(error, path);
        }
    }
    if (!c.db().commit())
        return writeFailure(c.db().lastError(), path);
    return StoreStatus::success();
}

// Characters as the user counts them: a pair of surrogates (an emoji) is one.
qsizetype characterCount(const QString& text)
{
    qsizetype n = text.size();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate())
            --n;
    }
    return n;
}

StoreStatus checkLengths(const Record& values)
{
    if (const qsizetype n = characterCount(values.kind); n > kKindMaxLength)
        return failure(StoreStatus::TooLong,
                       QStringLiteral("種類は%1文字以内で入れて下さい（現在%2文字）").arg(kKindMaxLength).arg(n));
    if (const qsizetype n = characterCount(values.quest); n > kQuestMaxLength)
        return failure(StoreStatus::TooLong,
                       QStringLiteral("質問は%1文字以内で入れて下さい（現在%2文字）").arg(kQuestMaxLength).arg(n));
    return StoreStatus::success();
}

int countRecords(const QString& path, QString* message)
{
    message->clear();
    if (path.isEmpty()) {
        *message = kNoDatabaseMessage;
        return 0;
    }
    StoreStatus status;
    auto store = openStore(path, &status);
    int n = 0;
    const QString warning = status.message; // an Access file read with damage says so once
    if (store)
        status = store->count(&n);
    if (!status.ok()) {
        *message = status.message;
        return 0;
    }
    *message = warning;
    return n;
}

StoreStatus createDatabase(const QString& path)
{
    Connection c(path, true);
    if (!c.open())
        return writeFailure(c.db().lastError(), path);
    QSqlQuery q(c.db());
    const QStringList statements = {
        // Text is handed to the program as UTF-16: stored so, it is read without conversion,
        // and Japanese text takes two bytes a character instead of three.
        QStringLiteral("PRAGMA encoding = 'UTF-16le'"),
        QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId),
        QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion),
        QStringLiteral("CREATE TABLE tbl1 (No INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT, quest TEXT, anser TEXT)"),
        QStringLiteral("CREATE INDEX idx1 ON tbl1 (quest)"),
    };
    for (const QString& sql : statements) {
        if (!q.exec(sql))
            return writeFailure(q.lastError(), path);
    }
    return StoreStatus::success();
}

} // namespace qadora
