// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a database file changed, without opening it.
#pragma once

#include <QString>

#include <array>

namespace qadora {

// The database file and its SQLite journals (-wal, -journal) as the file system describes
// them: a write by any program, a replaced file or a new one changes the stamp.
class DatabaseStamp {
public:
    static DatabaseStamp of(const QString& path);
    bool operator==(const DatabaseStamp&) const = default;

private:
    struct File {
        qint64 device = -1, inode = -1, size = -1, modified = -1, changed = -1; // times in ns
        bool operator==(const File&) const = default;
    };
    QString m_path;
    std::array<File, 3> m_files;
};

} // namespace qadora
