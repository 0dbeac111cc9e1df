// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qadora::platform {

namespace {

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

std::optional<FileStamp> stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStamp{qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), nanoseconds(st.st_mtim),
                     nanoseconds(st.st_ctim)};
}

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool replaceFile(const QString& from, const QString& to, QString* error)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool processMayBeRunning(qint64 pid)
{
    return pid <= 0 || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

qint64 currentProcessId()
{
    return qint64(::getpid());
}

bool isTerminal(Stream stream)
{
    const int fd = stream == Stream::Input ? STDIN_FILENO : stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

int takeStandardOutput()
{
    const int result = ::dup(STDOUT_FILENO);
    if (result < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return -1;
    return result;
}

} // namespace qadora::platform
