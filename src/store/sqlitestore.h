// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordstore.h"

#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

class QSqlDatabase;

namespace qadora {

struct Session;

class SqliteStore final : public RecordStore {
public:
    // Within a ReadSnapshot of `path`, reads go through the snapshot's transaction.
    explicit SqliteStore(QString path);
    ~SqliteStore() override;

    QString path() const override { return m_path; }
    bool isReadOnly() const override { return false; }

    StoreStatus count(int* n) override;
    StoreStatus walk(const WalkOptions& options, const RecordVisitor& visit) override;
    StoreStatus findFirstByQuestion(const QString& quest, Record* out) override;

    StoreStatus add(const Record& values, RecordChange* done = nullptr) override;
    StoreStatus updateFirstByQuestion(const QString& quest, const Record& values, RecordChange* done = nullptr,
                                      qint64 shownNo = 0) override;
    StoreStatus removeFirstByQuestion(const QString& quest, RecordChange* done = nullptr, qint64 shownNo = 0) override;
    StoreStatus applyChanges(const ChangeSet& changes) override;
    StoreStatus checkChanges(const ChangeSet& changes) override;
    StoreStatus highestNumberGiven(qint64* no) override;

private:
    template<typename Work>
    StoreStatus reading(Work&& work);
    // Runs `work` in one write transaction on a connection of its own; commits when it
    // returns Ok and `commit`, else rolls back.
    template<typename Work>
    StoreStatus writing(Work&& work, bool commit = true);
    StoreStatus changing(const ChangeSet& changes, bool write);

    QString m_path;
    std::shared_ptr<Session> m_session;
};

// Appends records with their own numbers, all or none (for converting another store). `tick`
// is told how many are written; false from it abandons the whole write.
StoreStatus writeRecordsKeepingNumbers(const QString& path, const std::vector<Record>& records,
                                       const std::function<bool(int)>& tick = {});

} // namespace qadora
