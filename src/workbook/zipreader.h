// SPDX-License-Identifier: GPL-3.0-or-later
// The members of a zip archive held in memory (a workbook is one), through libzip.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

struct zip;
struct zip_file;

namespace qadora::workbook {

class ZipReader {
public:
    explicit ZipReader(const QByteArray& bytes); // `bytes` must outlive the reader
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool isOpen() const { return m_zip != nullptr; }
    bool contains(const QString& name) const;

    enum class Read { Ok, Missing, Encrypted, TooLarge, Damaged };
    // One member, whole; at most `limit` bytes once inflated (a small archive may inflate to
    // gigabytes).
    Read read(const QString& name, QByteArray* out, qint64 limit) const;

private:
    friend class ZipMember;
    zip* m_zip = nullptr;
};

// One member, inflated as it is read, so that a sheet of a hundred megabytes is never held
// whole. Reading fails once the member proves damaged or inflates beyond `limit` bytes;
// status() then says which.
class ZipMember : public QIODevice {
public:
    ZipMember(const ZipReader& zip, const QString& name, qint64 limit); // open unless status() says why not
    ~ZipMember() override;

    ZipReader::Read status() const { return m_status; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip_file* m_file = nullptr;
    ZipReader::Read m_status = ZipReader::Read::Ok;
    qint64 m_limit = 0;
    qint64 m_inflated = 0;
    bool m_ended = false;
};

} // namespace qadora::workbook
