// SPDX-License-Identifier: GPL-3.0-or-later
#include "databasestamp.h"

#include <QFile>

#include <sys/stat.h>

namespace qadora {

DatabaseStamp DatabaseStamp::of(const QString& path)
{
    DatabaseStamp stamp;
    stamp.m_path = path;
    if (path.isEmpty())
        return stamp;
    const QString names[] = {path, path + QStringLiteral("-wal"), path + QStringLiteral("-journal")};
    for (size_t i = 0; i < stamp.m_files.size(); ++i) {
        struct stat st {};
        if (::stat(QFile::encodeName(names[i]).constData(), &st) != 0)
            continue;
        stamp.m_files[i] = {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
                            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                            qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    }
    return stamp;
}

} // namespace qadora
