// SPDX-License-Identifier: GPL-3.0-or-later
// A read-only store over an Access (.mdb) file. The file is read by the helper process
// qadora-mdb-reader; the records of the last file read are kept while it is unchanged.
#pragma once

#include "jetprotocol.h"
#include "recordstore.h"

namespace qadora {

class JetStore final : public RecordStore {
public:
    // Reads the file; nullptr with the reason when it is not a usable Q&A database.
    static std::unique_ptr<JetStore> open(const QString& path, StoreStatus* status);

    QString path() const override { return m_path; }
    bool isReadOnly() const override { return true; }

    StoreStatus count(int* n) override;
    StoreStatus walk(const WalkOptions& options, const RecordVisitor& visit) override;
    StoreStatus findFirstByQuestion(const QString& quest, Record* out) override;

    StoreStatus add(const Record& values) override;
    StoreStatus updateFirstByQuestion(const QString& quest, const Record& values) override;
    StoreStatus removeFirstByQuestion(const QString& quest) override;

    // Every record in store order (ascending No).
    const std::vector<Record>& records() const { return *m_records; }

private:
    explicit JetStore(QString path);
    StoreStatus load();

    QString m_path;
    std::shared_ptr<const std::vector<Record>> m_records;
};

// Runs the helper on `path`; the reason in `status` when the file cannot be read.
bool readAccessFile(const QString& path, std::vector<Record>* records, StoreStatus* status);

inline const QString kReadOnlyAccessMessage = QStringLiteral("アクセス形式（mdb）のデータベースは変更できません");

} // namespace qadora
