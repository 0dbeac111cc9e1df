// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefile.h"

#include "cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qadora {

QString outputDirForm(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString joinPath(const QString& dir, const QString& fileName)
{
    if (dir.endsWith(QLatin1Char('/')))
        return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}

bool isPlainFileName(const QString& fileName)
{
    return !fileName.contains(QLatin1Char('/')) && !fileName.contains(QLatin1Char('\\'));
}

QByteArray encodeLines(const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() * 10 + 2; // the encoder's worst case, so it never reallocates
    QByteArray bytes;
    bytes.reserve(size);
    for (const QString& line : lines) {
        cp932::encodeInto(bytes, line);
        bytes += "\r\n";
    }
    return bytes;
}

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    static std::atomic<unsigned> counter{0};
    const QFileInfo info(path);
    const QString tempPath = joinPath(info.path(), QStringLiteral(".%1.%2-%3.tmp")
                                                       .arg(info.fileName())
                                                       .arg(::getpid())
                                                       .arg(counter.fetch_add(1)));
    const QByteArray temp = QFile::encodeName(tempPath);
    const QByteArray target = QFile::encodeName(path);

    auto fail = [&](int err) {
        *error = QString::fromLocal8Bit(std::strerror(err));
        return false;
    };

    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temp.constData());
            return fail(err);
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        return fail(err);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        return fail(err);
    }
    return true;
}

} // namespace qadora
