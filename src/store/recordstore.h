// SPDX-License-Identifier: GPL-3.0-or-later
// The record store: tbl1 of the current database file. Every operation opens its own
// connection and closes it before returning; nothing is held between operations.
#pragma once

#include "record.h"

#include <QString>

#include <QList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace qadora {

struct StoreStatus {
    enum Code {
        Ok,
        NotFound, // the question query found no record
        Unusable, // no file, not a Q&A database, or one this version cannot open
        Failed,   // the file is ours but the operation failed (locked, read-only, removed, damaged)
        TooLong,  // a kind or question longer than its column
        ReadOnly, // an Access file: it must be converted before it can be changed
        Conflict, // a record is no longer as a change expects it (another program changed it)
    };
    Code code = Ok;
    QString message; // Japanese, ready to show; empty for Ok

    bool ok() const { return code == Ok; }
    static StoreStatus success() { return {}; }
};

struct WalkOptions {
    int limit = -1;       // visit at most this many records of the table (in store order); < 0: all
    bool withQuestion = true;
    bool withAnswer = true;
    bool byKind = false;  // only records whose kind equals `kind`, character for character
    QString kind;
};

// One record's change, identified by its number: absent `before` is an addition, absent
// `after` a deletion. Undoing a change applies its inverse.
struct RecordChange {
    std::optional<Record> before;
    std::optional<Record> after;

    qint64 no() const { return before ? before->no : after ? after->no : 0; }
    bool operator==(const RecordChange&) const = default;
};
using ChangeSet = QList<RecordChange>;

// The changes that take `changes` back, last first.
ChangeSet inverted(const ChangeSet& changes);

// Return false from the visitor to stop the walk early.
using RecordVisitor = std::function<bool(const Record&)>;

class RecordStore {
public:
    virtual ~RecordStore() = default;

    virtual QString path() const = 0;
    virtual bool isReadOnly() const = 0;

    // Records the file holds that damage kept from being read; they are in no walk or count.
    virtual int unreadableRecords() const { return 0; }

    virtual StoreStatus count(int* n) = 0;
    // Visits records in store order: ascending No.
    virtual StoreStatus walk(const WalkOptions& options, const RecordVisitor& visit) = 0;
    // The first record (lowest No) whose question equals `quest`.
    virtual StoreStatus findFirstByQuestion(const QString& quest, Record* out) = 0;

    // Each tells in `done` (when given) the record before and after, with its number.
    virtual StoreStatus add(const Record& values, RecordChange* done = nullptr) = 0;
    // With `shownNo` (not 0), the first record of the question must be the one numbered so, the
    // record the user was shown; when it is gone or another record of that question now comes
    // first, nothing is written and the status is NotFound.
    virtual StoreStatus updateFirstByQuestion(const QString& quest, const Record& values, RecordChange* done = nullptr,
                                              qint64 shownNo = 0) = 0;
    virtual StoreStatus removeFirstByQuestion(const QString& quest, RecordChange* done = nullptr, qint64 shownNo = 0) = 0;

    // Applies every change in one transaction, all or none. Each record must be exactly as
    // its `before` says (absent for an addition), else nothing is written and the status is
    // Conflict, naming the record. Records keep their numbers (an addition inserts its No).
    virtual StoreStatus applyChanges(const ChangeSet& changes) = 0;
    // The same check without writing: Ok when applyChanges() would find every record as expected.
    virtual StoreStatus checkChanges(const ChangeSet& changes) = 0;

    // The highest number the store ever gave a record (a deleted record's included), or 0.
    virtual StoreStatus highestNumberGiven(qint64* no)
    {
        *no = 0;
        WalkOptions numbersOnly;
        numbersOnly.withQuestion = false;
        numbersOnly.withAnswer = false;
        return walk(numbersOnly, [no](const Record& r) {
            *no = std::max(*no, r.no);
            return true;
        });
    }
};

// Looks at the file's first bytes and returns the store that can read it, or nullptr with
// the reason in `status` (code Unusable). Never changes the file.
std::unique_ptr<RecordStore> openStore(const QString& path, StoreStatus* status);

// While one lives, every store opened for `path` on this thread reads the same snapshot of it:
// one read transaction (SQLite) or one reading of the file (Access). A listing or a whole
// generation run thus never sees records come or go half-way. Nothing may write the file on
// this thread meanwhile. Snapshots of the same path nest.
class ReadSnapshot {
public:
    explicit ReadSnapshot(QString path);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    QString m_path;
};

// Creates a new, empty Q&A database at `path`; the file must not exist yet.
StoreStatus createDatabase(const QString& path);

// kensu: the number of records, or 0 with the message to show (no database set, or the
// store cannot be read).
int countRecords(const QString& path, QString* message);

inline const QString kNoDatabaseMessage = QStringLiteral("環境設定にてアクセスデータベースを作成してください");

// Checks the column limits; Ok or TooLong with the message to show.
StoreStatus checkLengths(const Record& values);

// Conflict: the record of `quest` changed since; the message to show.
QString conflictMessage(const QString& quest);

inline const QString kNoDataMessage = QStringLiteral("データがありません");
inline const QString kLockedMessage = QStringLiteral("データベースがほかのプログラムで使用中のため読み込めません");
inline const QString kUnreadableMessage = QStringLiteral("データベースのファイルを読み込めません（読み取りが許可されていません）");
inline const QString kNoTableMessage = QStringLiteral("このファイルにはＱ＆Ａのデータ（テーブル tbl1）がありません");
inline const QString kBadColumnsMessage = QStringLiteral("テーブル tbl1 に No, kind, quest, anser の列がありません");

} // namespace qadora
