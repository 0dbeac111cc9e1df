// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder.h"

#include "platform/posixerror.h"

#include <QFile>
#include <QStringDecoder>

#include <atomic>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qadora::platform {

namespace {

int at(const Folder* folder, qintptr handle)
{
    return folder && handle >= 0 ? int(handle) : AT_FDCWD;
}

QByteArray native(const QString& name)
{
    return QFile::encodeName(name);
}

} // namespace

bool missingNamesReadFolder()
{
    return false;
}

Folder::~Folder()
{
    close();
}

bool Folder::open(const QString& path)
{
    close();
    const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    m_path = path;
    m_handle = fd;
    return true;
}

void Folder::close()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
    m_handle = -1;
    m_path.clear();
}

bool Folder::isOpen() const
{
    return m_handle >= 0;
}

bool Folder::tryLock(Lock lock)
{
    return m_handle >= 0 && ::flock(int(m_handle), (lock == Lock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0;
}

std::optional<QList<FolderEntry>> Folder::entries() const
{
    const int listing = m_handle >= 0 ? ::dup(int(m_handle)) : -1;
    DIR* d = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!d) {
        if (listing >= 0)
            ::close(listing);
        return std::nullopt;
    }
    QList<FolderEntry> names;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name = QByteArray::fromRawData(e->d_name, qsizetype(std::strlen(e->d_name)));
        if (name == "." || name == "..")
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(name);
        names.append({decoded, !decoder.hasError()});
    }
    ::closedir(d);
    return names;
}

EntryKind Folder::kindOf(const QString& name) const
{
    struct stat st {};
    if (::fstatat(at(this, m_handle), native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    if (S_ISREG(st.st_mode))
        return EntryKind::Regular;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    return S_ISDIR(st.st_mode) ? EntryKind::Directory : EntryKind::Other;
}

bool Folder::holds(const QString& name, const QByteArray& bytes) const
{
    const int fd = ::openat(at(this, m_handle), native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == bytes.size();
    if (same && !bytes.isEmpty()) {
        thread_local QByteArray buffer;
        buffer.resize(bytes.size() + 1); // one byte more: a file that grew meanwhile differs
        qsizetype got = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data() + got, size_t(buffer.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
            if (got == buffer.size())
                break;
        }
        same = got == bytes.size() && std::memcmp(buffer.constData(), bytes.constData(), size_t(got)) == 0;
    }
    ::close(fd);
    return same;
}

void Folder::removeIfUnheld(const QString& name) const
{
    const QByteArray path = native(name);
    const int dir = at(this, m_handle);
    const int fd = ::openat(dir, path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(dir, path.constData(), 0);
    ::close(fd);
}

bool Folder::remove(const QString& name) const
{
    return ::unlinkat(at(this, m_handle), native(name).constData(), 0) == 0;
}

NewFile::~NewFile()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
}

Error NewFile::create(const Folder& folder, const QString& name, bool hold)
{
    const int fd = ::openat(at(&folder, folder.m_handle), native(name).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return errorOf(errno);
    m_at = &folder;
    m_name = name;
    m_handle = fd;
    // Held until the file has its name, so that a cleaner never takes a file being written.
    if (hold)
        ::flock(fd, LOCK_EX);
    return {};
}

Error NewFile::createUnnamed(const Folder& folder)
{
#ifdef O_TMPFILE
    if (folder.m_handle < 0)
        return {Failure::Unsupported, QString()};
    const int fd = ::openat(int(folder.m_handle), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        // EISDIR: a kernel older than such files; the others: a file system without them.
        if (err == EOPNOTSUPP || err == EISDIR || err == EINVAL)
            return {Failure::Unsupported, QString::fromLocal8Bit(std::strerror(err))};
        return errorOf(err);
    }
    m_at = &folder;
    m_name.clear();
    m_handle = fd;
    return {};
#else
    Q_UNUSED(folder);
    return {Failure::Unsupported, QString()};
#endif
}

namespace {

// Gives the unnamed file `fd` the name `to` in `dir`, failing with EEXIST when taken. By the
// file itself where this process may (AT_EMPTY_PATH), else through its /proc link.
int linkUnnamed(int fd, int dir, const char* to)
{
    static std::atomic<bool> byProc{false};
    if (!byProc.load(std::memory_order_relaxed)) {
#ifdef AT_EMPTY_PATH
        if (::linkat(fd, "", dir, to, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return -1;
#endif
        byProc.store(true, std::memory_order_relaxed);
    }
    char path[40];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, path, dir, to, AT_SYMLINK_FOLLOW);
}

} // namespace

Error NewFile::write(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(int(m_handle), p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return errorOf(n < 0 ? errno : ENOSPC);
        p += n;
        left -= n;
    }
    return {};
}

Error NewFile::sync()
{
    return ::fsync(int(m_handle)) == 0 ? Error{} : errorOf(errno);
}

void NewFile::takeAccessOf(const QString& path)
{
    struct stat existing {};
    if (::stat(native(path).constData(), &existing) != 0)
        return;
    ::fchmod(int(m_handle), existing.st_mode & 07777);
    if (::fchown(int(m_handle), existing.st_uid, existing.st_gid) != 0) {
        // Not permitted for another owner's file; the file becomes ours, as with any editor.
    }
}

Error NewFile::rename(const QString& target, bool noReplace)
{
    const int dir = at(m_at, m_at ? m_at->m_handle : -1);
    const QByteArray from = native(m_name);
    const QByteArray to = native(target);
    if (m_name.isEmpty()) {
        if (!noReplace)
            return {Failure::Unsupported, QString()};
        if (linkUnnamed(int(m_handle), dir, to.constData()) != 0) {
            const int err = errno;
            // No /proc, or a file system that will not link such a file.
            if (err == ENOENT || err == EPERM || err == EOPNOTSUPP || err == EXDEV)
                return {Failure::Unsupported, QString::fromLocal8Bit(std::strerror(err))};
            return errorOf(err);
        }
        m_name = target;
        return {};
    }
#ifdef RENAME_NOREPLACE
    if (noReplace) {
        if (::renameat2(dir, from.constData(), dir, to.constData(), RENAME_NOREPLACE) == 0) {
            m_name = target;
            return {};
        }
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
            return {Failure::Unsupported, QString::fromLocal8Bit(std::strerror(errno))};
        return errorOf(errno);
    }
#else
    if (noReplace)
        return {Failure::Unsupported, QString()};
#endif
    if (::renameat(dir, from.constData(), dir, to.constData()) != 0)
        return errorOf(errno);
    m_name = target;
    return {};
}

void NewFile::discard()
{
    if (m_handle < 0)
        return;
    if (!m_name.isEmpty())
        ::unlinkat(at(m_at, m_at ? m_at->m_handle : -1), native(m_name).constData(), 0);
    ::close(int(m_handle));
    m_handle = -1;
}

Error NewFile::close()
{
    const int fd = int(m_handle);
    m_handle = -1;
    return ::close(fd) == 0 ? Error{} : errorOf(errno);
}

} // namespace qadora::platform
