// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasestamp.h"

#include "platform/platform.h"

namespace qadora {

DatabaseStamp DatabaseStamp::of(const QString& path)
{
    DatabaseStamp stamp;
    stamp.m_path = path;
    if (path.isEmpty())
        return stamp;
    const QString names[] = {path, path + QStringLiteral("-wal"), path + QStringLiteral("-journal")};
    for (size_t i = 0; i < stamp.m_files.size(); ++i) {
        if (const auto st = platform::stampOf(names[i]))
            stamp.m_files[i] = *st;
    }
    return stamp;
}

} // namespace qadora
