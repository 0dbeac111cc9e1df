// SPDX-License-Identifier: GPL-3.0-or-later
// A read-only store over an Access (.mdb) file. The file is read by the helper process
// qadora-mdb-reader; the records of the last file read are kept while it is unchanged.
#pragma once

#include "jetprotocol.h"
#include "recordstore.h"

namespace qadora {

// The records of an Access file as the reader found them.
struct AccessRecords {
    std::vector<Record> records; // in store order (ascending No)
    int unreadable = 0;          // records the file has that damage kept from being read
};

class JetStore final : public RecordStore {
public:
    // Reads the file; nullptr with the reason when it is not a usable Q&A database.
    static std::unique_ptr<JetStore> open(const QString& path, StoreStatus* status);
    // A store over records read before (a snapshot's).
    static std::unique_ptr<JetStore> withRecords(const QString& path, std::shared_ptr<const AccessRecords> records);
    std::shared_ptr<const AccessRecords> shared() const { return m_contents; }

    QString path() const override { return m_path; }
    bool isReadOnly() const override { return true; }

    StoreStatus count(int* n) override;
    StoreStatus walk(const WalkOptions& options, const RecordVisitor& visit) override;
    StoreStatus findFirstByQuestion(const QString& quest, Record* out) override;

    StoreStatus add(const Record& values, RecordChange* done = nullptr) override;
    StoreStatus updateFirstByQuestion(const QString& quest, const Record& values, RecordChange* done = nullptr,
                                      qint64 shownNo = 0) override;
    StoreStatus removeFirstByQuestion(const QString& quest, RecordChange* done = nullptr, qint64 shownNo = 0) override;
    StoreStatus applyChanges(const ChangeSet& changes) override;
    StoreStatus checkChanges(const ChangeSet& changes) override;

    // Every record in store order (ascending No).
    const std::vector<Record>& records() const { return m_contents->records; }
    int unreadableRecords() const override { return m_contents->unreadable; }

private:
    explicit JetStore(QString path);
    StoreStatus load();

    QString m_path;
    std::shared_ptr<const AccessRecords> m_contents;
};

// Runs the helper on `path`; the reason in `status` when the file cannot be read.
bool readAccessFile(const QString& path, AccessRecords* records, StoreStatus* status);

// The warning for an Access file whose damage kept `unreadable` records from being read.
QString unreadableRecordsMessage(int unreadable, const QString& path);

inline const QString kReadOnlyAccessMessage = QStringLiteral("アクセス形式（mdb）のデータベースは変更できません");

} // namespace qadora
