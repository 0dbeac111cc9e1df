// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qadora::platform {

namespace {

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::Regular;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return S_ISDIR(mode) ? EntryKind::Directory : EntryKind::Other;
}

} // namespace

std::optional<FileStamp> stampOf(const QString& path, Links links)
{
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if ((links == Links::Follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0)
        return std::nullopt;
    return FileStamp{qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size), nanoseconds(st.st_mtim),
                     nanoseconds(st.st_ctim), kindOfMode(st.st_mode)};
}

bool isRegularFile(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

EntryKind entryKind(const QString& path, Links links)
{
    const auto stamp = stampOf(path, links);
    return stamp ? stamp->kind : EntryKind::Missing;
}

QString realPath(const QString& path)
{
    char* real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    const QString result = real ? QFile::decodeName(real) : QString();
    std::free(real);
    return result;
}

std::optional<QList<FolderEntry>> folderEntries(const QString& path)
{
    Folder folder;
    if (!folder.open(path))
        return std::nullopt;
    return folder.entries();
}

bool readRegularFile(const QString& path, QByteArray* bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // One byte more than the size: a file that grows meanwhile is read whole all the same.
    bytes->resize(qsizetype(st.st_size) + 1);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes->size())
            bytes->resize(got * 2 + 4096);
        const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes->resize(got);
    ::close(fd);
    return true;
}

bool appendLine(const QString& path, QByteArray line, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
            line.prepend('\n');
    }
    if (!writeAll(fd, line)) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    return ::close(fd) == 0;
}

bool makePrivateFolders(const QString& path)
{
    if (QFileInfo::exists(path))
        return true;
    const bool made = QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), 0700);
    return made;
}

bool makePrivateFolder(const QString& path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST;
}

bool hasFreedesktopTrash()
{
    return true;
}

bool isPrivateFolder(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

qint64 fileClockNow()
{
    // The coarse clock is the one file times are taken from.
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return nanoseconds(now);
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

QStringList programArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

QByteArray libraryPath(const QString& path)
{
    return QFile::encodeName(path);
}

QString settingsFile()
{
    return QString();
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/qadora");
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/qadora");
}

QStringList interfaceFontFamilies()
{
    return {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAexGothic"), QStringLiteral("IPAGothic")};
}

QStringList fixedFontFamilies()
{
    return {QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic")};
}

bool windowsFileNames()
{
    return false;
}

QString programFileName(const QString& base)
{
    return base;
}

QString userKey()
{
    return QString::number(::getuid());
}

qintptr openSocket(int family, int type, int protocol)
{
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

int closeSocket(qintptr socket)
{
    return ::close(int(socket));
}

void shutdownSocket(qintptr socket)
{
    ::shutdown(int(socket), SHUT_RDWR);
}

bool selectCanHold(qintptr socket)
{
    return socket < FD_SETSIZE;
}

bool waitForInput(qintptr socket, int waitMs)
{
    pollfd p{int(socket), POLLIN, 0};
    int n;
    do
        n = ::poll(&p, 1, waitMs);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

int receiveNow(qintptr socket, char* buffer, int size)
{
    const ssize_t n = ::recv(int(socket), buffer, size_t(size), MSG_DONTWAIT);
    return n < 0 ? -1 : int(n);
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
