// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlitestore.h"

#include "fileprobe.h"
#include "jetstore.h"
#include "sqliteconnection.h"

#include <QSqlError>
#include <QSqlQuery>

#include <optional>
#include <vector>

namespace qadora {

using namespace sqlite;

// The connection of a snapshot: one read transaction, held until the snapshot ends.
struct Session {
    explicit Session(const QString& path)
        : connection(path, false)
    {
    }
    Connection connection;
    StoreStatus opened; // why the connection or its transaction could not be made
};

namespace {

struct SnapshotEntry {
    QString path;
    int depth = 0;
    std::shared_ptr<Session> sqlite;
    std::shared_ptr<const AccessRecords> access;
};

// The thread's open snapshots. Only a pointer is thread-local, made with the first snapshot
// and deleted with the last, so no thread-local object has a destructor: mingw-w64's
// emulated thread-local storage frees an object's memory before its destructor runs when
// the thread ends.
thread_local std::vector<SnapshotEntry>* t_snapshots = nullptr;

SnapshotEntry* snapshotFor(const QString& path)
{
    if (!t_snapshots)
        return nullptr;
    for (SnapshotEntry& e : *t_snapshots) {
        if (e.path == path)
            return &e;
    }
    return nullptr;
}

} // namespace

// Runs `work` on the snapshot's connection, or on a connection of its own.
template<typename Work>
StoreStatus SqliteStore::reading(Work&& work)
{
    if (m_session) {
        if (!m_session->opened.ok())
            return m_session->opened;
        return work(m_session->connection.db());
    }
    if (auto s = checkStillOurs(m_path); !s.ok())
        return s;
    Connection c(m_path, false);
    if (!c.open())
        return readFailure(c.db().lastError(), m_path, false);
    if (auto s = checkTable(c.db(), m_path); !s.ok())
        return s;
    return work(c.db());
}

SqliteStore::SqliteStore(QString path)
    : m_path(std::move(path))
{
    SnapshotEntry* snapshot = snapshotFor(m_path);
    if (!snapshot)
        return;
    if (!snapshot->sqlite) {
        auto session = std::make_shared<Session>(m_path);
        if (auto s = checkStillOurs(m_path); !s.ok())
            session->opened = s;
        else if (!session->connection.open())
            session->opened = readFailure(session->connection.db().lastError(), m_path, false);
        else if (auto t = checkTable(session->connection.db(), m_path); !t.ok())
            session->opened = t;
        else if (!session->connection.db().transaction())
            session->opened = readFailure(session->connection.db().lastError(), m_path, false);
        snapshot->sqlite = session;
    }
    m_session = snapshot->sqlite;
}

SqliteStore::~SqliteStore() = default;

StoreStatus SqliteStore::count(int* n)
{
    *n = 0;
    return reading([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM tbl1")) || !q.next())
            return readFailure(q.lastError(), m_path, false);
        *n = q.value(0).toInt();
        return StoreStatus::success();
    });
}

StoreStatus SqliteStore::walk(const WalkOptions& options, const RecordVisitor& visit)
{
    return reading([&](QSqlDatabase& db) {
        QSqlQuery q(db);
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
            q.addBindValue(text(options.kind));
        if (!q.exec())
            return readFailure(q.lastError(), m_path, true);
        while (q.next()) {
            if (!visit(recordFrom(q, options.withQuestion, options.withAnswer)))
                break;
        }
        if (q.lastError().isValid())
            return readFailure(q.lastError(), m_path, true);
        return StoreStatus::success();
    });
}

StoreStatus SqliteStore::findFirstByQuestion(const QString& quest, Record* out)
{
    return reading([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT No, kind, quest, anser FROM tbl1 WHERE quest = ? ORDER BY No LIMIT 1"));
        q.addBindValue(text(quest));
        if (!q.exec())
            return readFailure(q.lastError(), m_path, true);
        if (!q.next())
            return failure(StoreStatus::NotFound, QString());
        *out = recordFrom(q, true, true);
        return StoreStatus::success();
    });
}

template<typename Work>
StoreStatus SqliteStore::writing(Work&& work, bool commit)
{
    if (auto s = checkStillOurs(m_path); !s.ok())
        return s.message == kNoDataMessage ? failure(StoreStatus::Failed, QStringLiteral("データベースに書き込めませんでした")
                                                                              + QLatin1Char('\r') + m_path)
                                           : s;
    Connection c(m_path, false);
    if (!c.open())
        return writeFailure(c.db().lastError(), m_path);
    if (auto s = checkTable(c.db(), m_path); !s.ok())
        return s;
    // IMMEDIATE takes the write lock before the first read, so what is read is what is changed,
    // and a second writer waits at the start instead of failing half-way.
    QSqlQuery begin(c.db());
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return writeFailure(begin.lastError(), m_path);
    StoreStatus status = work(c.db());
    QSqlQuery end(c.db());
    if (!status.ok() || !commit) {
        end.exec(QStringLiteral("ROLLBACK"));
        return status;
    }
    if (!end.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = end.lastError();
        end.exec(QStringLiteral("ROLLBACK"));
        return writeFailure(error, m_path);
    }
    return status;
}

namespace {

// The record numbered `no`, if there is one; a failure sets `status`.
std::optional<Record> recordNumbered(QSqlQuery& q, qint64 no, const QString& path, StoreStatus* status)
{
    q.addBindValue(no);
    if (!q.exec()) {
        *status = writeFailure(q.lastError(), path);
        return std::nullopt;
    }
    std::optional<Record> found;
    if (q.next())
        found = recordFrom(q, true, true);
    q.finish();
    return found;
}

// The first record of the question query; NotFound in `status` when there is none, or when
// `shownNo` is given and the first record is another one.
std::optional<Record> firstByQuestion(QSqlDatabase& db, const QString& quest, qint64 shownNo, const QString& path,
                                      StoreStatus* status)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT No, kind, quest, anser FROM tbl1 WHERE quest = ? ORDER BY No LIMIT 1"));
    q.addBindValue(text(quest));
    if (!q.exec()) {
        *status = writeFailure(q.lastError(), path);
        return std::nullopt;
    }
    if (!q.next() || (shownNo != 0 && q.value(0).toLongLong() != shownNo)) {
        *status = failure(StoreStatus::NotFound, QString());
        return std::nullopt;
    }
    return recordFrom(q, true, true);
}

// Whether No alone is the table's primary key, as the program makes it: a record added under a
// number that is taken is then refused by SQLite itself, with no look first.
bool numberIsTheKey(QSqlDatabase& db)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT sum(pk > 0), sum(lower(name) = 'no' AND pk = 1) FROM pragma_table_info('tbl1')"))
        && q.next() && q.value(0).toInt() == 1 && q.value(1).toInt() == 1;
}

bool isConstraint(const QSqlError& error)
{
    return (error.nativeErrorCode().toInt() & 0xff) == 19; // SQLITE_CONSTRAINT
}

StoreStatus run(QSqlQuery& q, const QVariantList& values, const QString& path)
{
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec() ? StoreStatus::success() : writeFailure(q.lastError(), path);
}

} // namespace

StoreStatus SqliteStore::add(const Record& values, RecordChange* done)
{
    if (auto s = checkLengths(values); !s.ok())
        return s;
    return writing([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES (?, ?, ?)"));
        if (auto s = run(q, {text(values.kind), text(values.quest), text(values.anser)}, m_path); !s.ok())
            return s;
        if (done)
            *done = {std::nullopt, Record{q.lastInsertId().toLongLong(), values.kind, values.quest, values.anser}};
        return StoreStatus::success();
    });
}

StoreStatus SqliteStore::updateFirstByQuestion(const QString& quest, const Record& values, RecordChange* done,
                                               qint64 shownNo)
{
    if (auto s = checkLengths(values); !s.ok())
        return s;
    // In one transaction, so the record found and the record changed are the same.
    return writing([&](QSqlDatabase& db) {
        StoreStatus status;
        const std::optional<Record> old = firstByQuestion(db, quest, shownNo, m_path, &status);
        if (!old)
            return status;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE tbl1 SET kind = ?, quest = ?, anser = ? WHERE No = ?"));
        if (auto s = run(q, {text(values.kind), text(values.quest), text(values.anser), old->no}, m_path); !s.ok())
            return s;
        if (done)
            *done = {old, Record{old->no, values.kind, values.quest, values.anser}};
        return StoreStatus::success();
    });
}

StoreStatus SqliteStore::removeFirstByQuestion(const QString& quest, RecordChange* done, qint64 shownNo)
{
    return writing([&](QSqlDatabase& db) {
        StoreStatus status;
        const std::optional<Record> old = firstByQuestion(db, quest, shownNo, m_path, &status);
        if (!old)
            return status;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("DELETE FROM tbl1 WHERE No = ?"));
        if (auto s = run(q, {old->no}, m_path); !s.ok())
            return s;
        if (done)
            *done = {old, std::nullopt};
        return StoreStatus::success();
    });
}

StoreStatus SqliteStore::applyChanges(const ChangeSet& changes)
{
    return changing(changes, true);
}

StoreStatus SqliteStore::checkChanges(const ChangeSet& changes)
{
    return changing(changes, false);
}

StoreStatus SqliteStore::changing(const ChangeSet& changes, bool write)
{
    for (const RecordChange& change : changes) {
        if (change.after) {
            if (auto s = checkLengths(*change.after); !s.ok())
                return s;
        }
    }
    return writing(
        [&](QSqlDatabase& db) {
            // Forward only: the driver then keeps no copy of the rows read, which a change of
            // a hundred thousand records would pay for on every statement.
            QSqlQuery find(db);
            QSqlQuery insert(db);
            QSqlQuery update(db);
            QSqlQuery remove(db);
            for (QSqlQuery* q : {&find, &insert, &update, &remove})
                q->setForwardOnly(true);
            find.prepare(QStringLiteral("SELECT No, kind, quest, anser FROM tbl1 WHERE No = ?"));
            insert.prepare(QStringLiteral("INSERT INTO tbl1 (No, kind, quest, anser) VALUES (?, ?, ?, ?)"));
            update.prepare(QStringLiteral("UPDATE tbl1 SET kind = ?, quest = ?, anser = ? WHERE No = ?"));
            remove.prepare(QStringLiteral("DELETE FROM tbl1 WHERE No = ?"));
            const bool keyed = write && numberIsTheKey(db);
            for (const RecordChange& change : changes) {
                StoreStatus status;
                if (keyed && change.after && !change.before) {
                    const Record& a = *change.after;
                    status = run(insert, {a.no, text(a.kind), text(a.quest), text(a.anser)}, m_path);
                    if (status.ok())
                        continue;
                    if (!isConstraint(insert.lastError()))
                        return status;
                    StoreStatus looked;
                    const std::optional<Record> now = recordNumbered(find, a.no, m_path, &looked);
                    if (!looked.ok())
                        return looked;
                    return now ? failure(StoreStatus::Conflict, conflictMessage(now->quest)) : status;
                }
                const std::optional<Record> now = recordNumbered(find, change.no(), m_path, &status);
                if (!status.ok())
                    return status;
                if (now != change.before) {
                    const Record& named = now ? *now : change.before ? *change.before : *change.after;
                    return failure(StoreStatus::Conflict, conflictMessage(named.quest));
                }
                if (!write)
                    continue;
                const std::optional<Record>& a = change.after;
                if (a && change.before)
                    status = run(update, {text(a->kind), text(a->quest), text(a->anser), a->no}, m_path);
                else if (a)
                    status = run(insert, {a->no, text(a->kind), text(a->quest), text(a->anser)}, m_path);
                else if (change.before)
                    status = run(remove, {change.before->no}, m_path);
                if (!status.ok())
                    return status;
            }
            return StoreStatus::success();
        },
        write);
}

StoreStatus SqliteStore::highestNumberGiven(qint64* no)
{
    *no = 0;
    return reading([&](QSqlDatabase& db) {
        // AUTOINCREMENT keeps the highest number given in sqlite_sequence; a table made
        // without it has none, and then the numbers present are all there is to go by.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT max(No) FROM tbl1")) || !q.next())
            return readFailure(q.lastError(), m_path, true);
        *no = q.value(0).toLongLong();
        if (q.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'tbl1'")) && q.next())
            *no = std::max(*no, q.value(0).toLongLong());
        return StoreStatus::success();
    });
}

std::unique_ptr<RecordStore> openStore(const QString& path, StoreStatus* status)
{
    *status = StoreStatus::success();
    SnapshotEntry* snapshot = snapshotFor(path);
    if (snapshot && snapshot->access)
        return JetStore::withRecords(path, snapshot->access);
    switch (probeFile(path)) {
    case FileFormat::Sqlite:
        return std::make_unique<SqliteStore>(path);
    case FileFormat::Access: {
        auto store = JetStore::open(path, status);
        if (store && snapshot)
            snapshot->access = store->shared();
        return store;
    }
    case FileFormat::ForeignSqlite:
        *status = withPath(StoreStatus::Unusable, QStringLiteral("このファイルはQadoraのデータベースではありません"), path);
        return nullptr;
    case FileFormat::Unreadable:
        *status = withPath(StoreStatus::Unusable, kUnreadableMessage, path);
        return nullptr;
    case FileFormat::Missing:
    case FileFormat::NotAFile:
    case FileFormat::Unknown:
        break;
    }
    *status = failure(StoreStatus::Unusable, kNoDataMessage);
    return nullptr;
}

ReadSnapshot::ReadSnapshot(QString path)
    : m_path(std::move(path))
{
    if (SnapshotEntry* e = snapshotFor(m_path)) {
        ++e->depth;
        return;
    }
    if (!t_snapshots)
        t_snapshots = new std::vector<SnapshotEntry>;
    t_snapshots->push_back({m_path, 1, nullptr, nullptr});
}

ReadSnapshot::~ReadSnapshot()
{
    if (!t_snapshots)
        return;
    auto& entries = *t_snapshots;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->path != m_path || --it->depth > 0)
            continue;
        if (it->sqlite && it->sqlite->opened.ok())
            it->sqlite->connection.db().rollback(); // nothing was written; this ends the read
        entries.erase(it);
        break;
    }
    if (entries.empty()) {
        delete t_snapshots;
        t_snapshots = nullptr;
    }
}

} // namespace qadora
