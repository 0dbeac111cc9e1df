// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordstore.h"

#include <vector>

namespace qadora {

class SqliteStore final : public RecordStore {
public:
    explicit SqliteStore(QString path);

    QString path() const override { return m_path; }
    bool isReadOnly() const override { return false; }

    StoreStatus count(int* n) override;
    StoreStatus walk(const WalkOptions& options, const RecordVisitor& visit) override;
    StoreStatus findFirstByQuestion(const QString& quest, Record* out) override;

    StoreStatus add(const Record& values) override;
    StoreStatus updateFirstByQuestion(const QString& quest, const Record& values) override;
    StoreStatus removeFirstByQuestion(const QString& quest) override;

private:
    QString m_path;
};

// Appends records with their own numbers, all or none (for converting another store).
StoreStatus writeRecordsKeepingNumbers(const QString& path, const std::vector<Record>& records);

} // namespace qadora
