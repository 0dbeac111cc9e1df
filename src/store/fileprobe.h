// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace qadora {

enum class FileFormat {
    Missing,       // no such path
    NotAFile,      // a directory or something else that is not an ordinary file
    Sqlite,        // an SQLite file of ours, or one with no application id
    ForeignSqlite, // an SQLite file that another program claims
    Access,        // a Jet/ACE (.mdb/.accdb) file
    Unreadable,    // an ordinary file that cannot be opened for reading (permissions)
    Unknown,       // empty, truncated or anything else
};

FileFormat probeFile(const QString& path);

// PRAGMA application_id of the files we create ("QADR").
inline constexpr quint32 kApplicationId = 0x51414452;
inline constexpr int kSchemaVersion = 1;

} // namespace qadora
