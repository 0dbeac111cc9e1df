// SPDX-License-Identifier: GPL-3.0-or-later
// The members of a zip archive held in memory (a workbook is one), through libzip.
#pragma once

#include <QByteArray>
#include <QString>

struct zip;

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
    zip* m_zip = nullptr;
};

} // namespace qadora::workbook
