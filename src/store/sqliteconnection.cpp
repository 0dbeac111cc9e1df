// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqliteconnection.h"

#include "fileprobe.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace qadora::sqlite {

namespace {

// SQLite's primary result codes, as the driver reports them.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;

bool isLocked(const QSqlError& error)
{
    const int code = error.nativeErrorCode().toInt();
    return code == kSqliteBusy || code == kSqliteLocked;
}

} // namespace

StoreStatus failure(StoreStatus::Code code, const QString& message)
{
    return {code, message};
}

StoreStatus withPath(StoreStatus::Code code, const QString& message, const QString& path)
{
    // The path as the user writes it on this system ("\" on Windows).
    return failure(code, message + QLatin1Char('\r') + QDir::toNativeSeparators(path));
}

StoreStatus writeFailure(const QSqlError& error, const QString& path)
{
    if (isLocked(error))
        return withPath(StoreStatus::Failed, QStringLiteral("データベースがほかのプログラムで使用中のため書き込めません"), path);
    const QString failed = QStringLiteral("データベースに書き込めませんでした") + QLatin1Char('\r');
    // What the user can mend is said in their words, with the file; SQLite's own words otherwise.
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case kSqliteFull:
        return withPath(StoreStatus::Failed, failed + QStringLiteral("ディスクに空きがありません"), path);
    case kSqliteReadOnly:
        return withPath(StoreStatus::Failed, failed + QStringLiteral("読み取り専用のため、書き込めません"), path);
    default:
        return failure(StoreStatus::Failed, failed + error.text());
    }
}

StoreStatus readFailure(const QSqlError& error, const QString& path, bool afterCount)
{
    if (isLocked(error))
        return withPath(StoreStatus::Failed, kLockedMessage, path);
    if (!afterCount)
        return failure(StoreStatus::Unusable, kNoDataMessage);
    return failure(StoreStatus::Failed, QStringLiteral("データベースを読み込めませんでした") + QLatin1Char('\r') + error.text());
}

StoreStatus checkStillOurs(const QString& path)
{
    switch (probeFile(path)) {
    case FileFormat::Sqlite:
        return StoreStatus::success();
    case FileFormat::Unreadable:
        return withPath(StoreStatus::Unusable, kUnreadableMessage, path);
    default:
        return failure(StoreStatus::Unusable, kNoDataMessage);
    }
}

StoreStatus checkTable(QSqlDatabase& db, const QString& path)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT name FROM pragma_table_info('tbl1')")))
        return readFailure(q.lastError(), path, false);
    QStringList columns;
    while (q.next())
        columns << q.value(0).toString().toLower();
    if (columns.isEmpty())
        return withPath(StoreStatus::Unusable, kNoTableMessage, path);
    for (const char* name : {"no", "kind", "quest", "anser"}) {
        if (!columns.contains(QLatin1String(name)))
            return withPath(StoreStatus::Unusable, kBadColumnsMessage, path);
    }
    return StoreStatus::success();
}

QVariant text(const QString& s)
{
    if (!s.isEmpty() && (s.front() == QChar(0xFEFF) || s.front() == QChar(0xFFFE)))
        return QString(QChar(0xFEFF)) + s;
    return s;
}

Record recordFrom(const QSqlQuery& q, bool withQuestion, bool withAnswer)
{
    Record r;
    int column = 0;
    r.no = q.value(column++).toLongLong();
    r.kind = q.value(column++).toString();
    if (withQuestion)
        r.quest = q.value(column++).toString();
    if (withAnswer)
        r.anser = q.value(column++).toString();
    return r;
}

} // namespace qadora::sqlite
