// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlitestore.h"

#include "fileprobe.h"
#include "jetstore.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace qadora {

namespace {

// One short-lived connection; closed and unregistered when it goes out of scope.
// Queries must be destroyed before it, so declare them after it.
class Connection {
public:
    Connection(const QString& path, bool readOnly)
        : m_name(QStringLiteral("qadora-%1").arg(s_counter.fetchAndAddRelaxed(1)))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        // A second instance of the program on the same file waits instead of failing.
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (readOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
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
    QString errorText() const { return m_db.lastError().text(); }

private:
    static inline QAtomicInteger<int> s_counter{0};
    QString m_name;
    QSqlDatabase m_db;
};

StoreStatus failure(StoreStatus::Code code, const QString& message)
{
    return {code, message};
}

StoreStatus writeFailure(const QString& detail)
{
    return failure(StoreStatus::Failed,
                   QStringLiteral("データベースに書き込めませんでした") + QLatin1Char('\r') + detail);
}

StoreStatus readFailure(const QString& detail)
{
    return failure(StoreStatus::Failed,
                   QStringLiteral("データベースを読み込めませんでした") + QLatin1Char('\r') + detail);
}

// The file may have gone or changed since openStore(); check again right before a connection,
// because SQLite would otherwise create an empty file where none is.
StoreStatus checkStillOurs(const QString& path)
{
    if (probeFile(path) != FileFormat::Sqlite)
        return failure(StoreStatus::Unusable, kNoDataMessage);
    return StoreStatus::success();
}

// Runs one changing statement on a connection of its own. With `mustFindRecord`, a statement
// that touched no row means the question query found nothing.
StoreStatus execWrite(const QString& path, const QString& sql, const QVariantList& values, bool mustFindRecord)
{
    if (auto s = checkStillOurs(path); !s.ok())
        return writeFailure(path);
    Connection c(path, false);
    if (!c.open())
        return writeFailure(c.errorText());
    QSqlQuery q(c.db());
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        return writeFailure(q.lastError().text());
    if (mustFindRecord && q.numRowsAffected() < 1)
        return failure(StoreStatus::NotFound, QString());
    return StoreStatus::success();
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

} // namespace

SqliteStore::SqliteStore(QString path)
    : m_path(std::move(path))
{
}

StoreStatus SqliteStore::count(int* n)
{
    *n = 0;
    if (auto s = checkStillOurs(m_path); !s.ok())
        return s;
    Connection c(m_path, true);
    if (!c.open())
        return failure(StoreStatus::Unusable, kNoDataMessage);
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM tbl1")) || !q.next())
        return failure(StoreStatus::Unusable, kNoDataMessage);
    *n = q.value(0).toInt();
    return StoreStatus::success();
}

StoreStatus SqliteStore::walk(const WalkOptions& options, const RecordVisitor& visit)
{
    if (auto s = checkStillOurs(m_path); !s.ok())
        return readFailure(m_path);
    Connection c(m_path, true);
    if (!c.open())
        return readFailure(c.errorText());
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    QString columns = QStringLiteral("No, kind");
    if (options.withQuestion)
        columns += QStringLiteral(", quest");
    if (options.withAnswer)
        columns += QStringLiteral(", anser");
    // The limit applies to the table in store order, the kind filter within it.
    QString sql = QStringLiteral("SELECT %1 FROM tbl1 ORDER BY No LIMIT ?").arg(columns);
    if (options.byKind)
        sql = QStringLiteral("SELECT %1 FROM (%2) WHERE kind = ? ORDER BY No").arg(columns, sql);
    q.prepare(sql);
    q.addBindValue(options.limit < 0 ? -1 : options.limit);
    if (options.byKind)
        q.addBindValue(options.kind);
    if (!q.exec())
        return readFailure(q.lastError().text());
    while (q.next()) {
        if (!visit(recordFrom(q, options.withQuestion, options.withAnswer)))
            break;
    }
    if (q.lastError().isValid())
        return readFailure(q.lastError().text());
    return StoreStatus::success();
}

StoreStatus SqliteStore::findFirstByQuestion(const QString& quest, Record* out)
{
    if (auto s = checkStillOurs(m_path); !s.ok())
        return readFailure(m_path);
    Connection c(m_path, true);
    if (!c.open())
        return readFailure(c.errorText());
    QSqlQuery q(c.db());
    q.prepare(QStringLiteral("SELECT No, kind, quest, anser FROM tbl1 WHERE quest = ? ORDER BY No LIMIT 1"));
    q.addBindValue(quest);
    if (!q.exec())
        return readFailure(q.lastError().text());
    if (!q.next())
        return failure(StoreStatus::NotFound, QString());
    *out = recordFrom(q, true, true);
    return StoreStatus::success();
}

StoreStatus SqliteStore::add(const Record& values)
{
    if (auto s = checkLengths(values); !s.ok())
        return s;
    return execWrite(m_path, QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES (?, ?, ?)"),
                     {values.kind, values.quest, values.anser}, false);
}

StoreStatus SqliteStore::updateFirstByQuestion(const QString& quest, const Record& values)
{
    if (auto s = checkLengths(values); !s.ok())
        return s;
    // One statement, so the record found and the record changed are the same.
    return execWrite(m_path,
                     QStringLiteral("UPDATE tbl1 SET kind = ?, quest = ?, anser = ? "
                                    "WHERE No = (SELECT No FROM tbl1 WHERE quest = ? ORDER BY No LIMIT 1)"),
                     {values.kind, values.quest, values.anser, quest}, true);
}

StoreStatus SqliteStore::removeFirstByQuestion(const QString& quest)
{
    return execWrite(m_path,
                     QStringLiteral("DELETE FROM tbl1 WHERE No = (SELECT No FROM tbl1 WHERE quest = ? ORDER BY No LIMIT 1)"),
                     {quest}, true);
}

StoreStatus writeRecordsKeepingNumbers(const QString& path, const std::vector<Record>& records)
{
    Connection c(path, false);
    if (!c.open())
        return writeFailure(c.errorText());
    if (!c.db().transaction())
        return writeFailure(c.db().lastError().text());
    QSqlQuery q(c.db());
    q.prepare(QStringLiteral("INSERT INTO tbl1 (No, kind, quest, anser) VALUES (?, ?, ?, ?)"));
    for (const Record& r : records) {
        q.addBindValue(r.no);
        q.addBindValue(r.kind);
        q.addBindValue(r.quest);
        q.addBindValue(r.anser);
        if (!q.exec()) {
            const QString error = q.lastError().text();
            c.db().rollback();
            return writeFailure(error);
        }
    }
    if (!c.db().commit())
        return writeFailure(c.db().lastError().text());
    return StoreStatus::success();
}

StoreStatus checkLengths(const Record& values)
{
    if (values.kind.size() > kKindMaxLength)
        return failure(StoreStatus::TooLong,
                       QStringLiteral("種類は%1文字以内で入れて下さい（現在%2文字）")
                           .arg(kKindMaxLength)
                           .arg(values.kind.size()));
    if (values.quest.size() > kQuestMaxLength)
        return failure(StoreStatus::TooLong,
                       QStringLiteral("質問は%1文字以内で入れて下さい（現在%2文字）")
                           .arg(kQuestMaxLength)
                           .arg(values.quest.size()));
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
    if (store)
        status = store->count(&n);
    if (!status.ok()) {
        *message = status.message;
        return 0;
    }
    return n;
}

std::unique_ptr<RecordStore> openStore(const QString& path, StoreStatus* status)
{
    *status = StoreStatus::success();
    switch (probeFile(path)) {
    case FileFormat::Sqlite:
        return std::make_unique<SqliteStore>(path);
    case FileFormat::Access:
        return JetStore::open(path, status);
    case FileFormat::ForeignSqlite:
        *status = failure(StoreStatus::Unusable,
                          QStringLiteral("このファイルはQadoraのデータベースではありません") + QLatin1Char('\r') + path);
        return nullptr;
    case FileFormat::Missing:
    case FileFormat::NotAFile:
    case FileFormat::Unknown:
        break;
    }
    *status = failure(StoreStatus::Unusable, kNoDataMessage);
    return nullptr;
}

StoreStatus createDatabase(const QString& path)
{
    Connection c(path, false);
    if (!c.open())
        return writeFailure(c.errorText());
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
            return writeFailure(q.lastError().text());
    }
    return StoreStatus::success();
}

} // namespace qadora
