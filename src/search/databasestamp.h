// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a database file changed, without opening it.
#pragma once

#include "platform/platform.h"

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
    QString m_path;
    std::array<platform::FileStamp, 3> m_files; // -1 throughout for a missing file
};

} // namespace qadora
