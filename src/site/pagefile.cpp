// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefile.h"

#include "cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

namespace {

// ".qadora-" + 12 letters or digits + ".tmp": short, so that any name the file system takes
// can be written, and distinct enough that a leftover is recognised as ours.
const QLatin1String kTempPrefix(".qadora-");
const QLatin1String kTempSuffix(".tmp");
constexpr int kTempRandomLength = 12;

QString temporaryName()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = kTempPrefix;
    for (int i = 0; i < kTempRandomLength; ++i)
        name += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)]);
    return name + kTempSuffix;
}

bool isTemporaryName(const QString& name)
{
    if (name.size() != kTempPrefix.size() + kTempRandomLength + kTempSuffix.size() || !name.startsWith(kTempPrefix)
        || !name.endsWith(kTempSuffix))
        return false;
    for (qsizetype i = kTempPrefix.size(); i < kTempPrefix.size() + kTempRandomLength; ++i) {
        if (!name[i].isLetterOrNumber() || name[i].unicode() > 0x7F)
            return false;
    }
    return true;
}

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error, LinkPolicy links)
{
    auto fail = [&](const QString& reason) {
        *error = reason;
        return false;
    };
    QByteArray target = QFile::encodeName(path);
    struct stat existing {};
    bool exists = false;
    if (links == LinkPolicy::FollowLink) {
        if (char* real = ::realpath(target.constData(), nullptr)) {
            target = real;
            std::free(real);
        }
        exists = ::stat(target.constData(), &existing) == 0;
    } else {
        exists = ::lstat(target.constData(), &existing) == 0;
    }
    if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return fail(QStringLiteral("通常のファイルではないため置き換えられません"));

    const QString targetPath = QFile::decodeName(target);
    const QString dir = QFileInfo(targetPath).path();
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = QFile::encodeName(joinPath(dir, temporaryName()));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(errorText(errno));
    }
    if (fd < 0)
        return fail(errorText(EEXIST));
    // Held until the file has its name, so that a cleaner never takes a file being written.
    ::flock(fd, LOCK_EX);
    auto abandon = [&](int err) {
        ::unlink(temp.constData());
        ::close(fd);
        return fail(errorText(err));
    };
    if (exists && links == LinkPolicy::FollowLink && S_ISREG(existing.st_mode)) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not permitted for another owner's file; the file becomes ours, as any editor's.
        }
    }
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    const bool durable = links == LinkPolicy::FollowLink; // the user's own file, not a page
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon(n < 0 ? errno : ENOSPC);
        p += n;
        left -= n;
    }
    if (durable && ::fsync(fd) != 0)
        return abandon(errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return abandon(errno);
    if (::close(fd) != 0)
        return fail(errorText(errno));
    return true;
}

void removeLeftoverTemporaries(const QString& dir)
{
    const QStringList names = QDir(dir).entryList({QStringLiteral(".qadora-*.tmp")}, QDir::Files | QDir::Hidden
                                                                                          | QDir::System);
    for (const QString& name : names) {
        if (!isTemporaryName(name))
            continue;
        const QByteArray path = QFile::encodeName(joinPath(dir, name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace qadora
