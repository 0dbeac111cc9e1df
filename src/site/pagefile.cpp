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

QString pageNameProblem(const QString& fileName)
{
    if (fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')))
        return QStringLiteral("ファイル名に「/」や「\\」は使えません") + QLatin1Char('\r') + fileName;
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            QString shown = fileName;
            for (QChar& s : shown) {
                if (s.unicode() < 0x20 || s.unicode() == 0x7F)
                    s = QChar(0xFFFD);
            }
            return QStringLiteral("ファイル名に制御文字（U+%1）は使えません")
                       .arg(QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper())
                + QLatin1Char('\r') + shown;
        }
    }
    if (fileName.startsWith(QLatin1String(".qadora-")))
        return QStringLiteral("「.qadora-」で始まる名前は使えません（Qadoraが使います）") + QLatin1Char('\r') + fileName;
    return QString();
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

QString directoryNameProblem(const QString& name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に「/」や「\\」は使えません（１階層ずつ作成して下さい）") + QLatin1Char('\r') + name;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に「.」や「..」は使えません") + QLatin1Char('\r') + name;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("ﾃﾞｨﾚｸﾄﾘ名に制御文字は使えません");
    }
    return QString();
}

namespace {

// ".qadora-" + 12 letters or digits + ".tmp": short, so that any name the file system takes
// can be written, and distinct enough that a leftover is recognised as ours.
constexpr char kTempPrefix[] = ".qadora-";
constexpr char kTempSuffix[] = ".tmp";
constexpr int kTempRandomLength = 12;
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// `dir` + "/" + a fresh temporary name, as native bytes.
QByteArray temporaryPath(const QByteArray& dir)
{
    QByteArray path = dir;
    path += '/';
    path += kTempPrefix;
    for (int i = 0; i < kTempRandomLength; ++i)
        path += kAlphabet[QRandomGenerator::global()->bounded(int(sizeof kAlphabet) - 1)];
    path += kTempSuffix;
    return path;
}

bool isTemporaryName(const QByteArray& name)
{
    const qsizetype prefix = qsizetype(sizeof kTempPrefix) - 1;
    const qsizetype suffix = qsizetype(sizeof kTempSuffix) - 1;
    if (name.size() != prefix + kTempRandomLength + suffix || !name.startsWith(kTempPrefix) || !name.endsWith(kTempSuffix))
        return false;
    for (qsizetype i = prefix; i < prefix + kTempRandomLength; ++i) {
        if (!std::strchr(kAlphabet, name[i]))
            return false;
    }
    return true;
}

// The failures a user can mend in their words, as the database's messages say them; the
// system's own text otherwise.
QString errorText(int err)
{
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクに空きがありません");
    case EROFS:
        return QStringLiteral("読み取り専用のため、書き込めません");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込みが許可されていません");
    case ENOENT:
        return QStringLiteral("フォルダがありません");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます");
    case EISDIR:
        return QStringLiteral("同じ名前のフォルダがあります");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

QByteArray directoryOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file at `target` (native bytes) replaced by `bytes` through a temporary file beside it.
bool replaceNative(QByteArray target, const QByteArray& bytes, QString* error, LinkPolicy links)
{
    auto fail = [&](const QString& reason) {
        *error = reason;
        return false;
    };
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

    const QByteArray dir = directoryOf(target);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = temporaryPath(dir);
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
    const bool userFile = links == LinkPolicy::FollowLink; // the user's own file, not a page
    if (exists && userFile) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not permitted for another owner's file; the file becomes ours, as with any editor.
        }
    }
    if (const int err = writeAll(fd, bytes))
        return abandon(err);
    if (userFile && ::fsync(fd) != 0)
        return abandon(errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return abandon(errno);
    if (::close(fd) != 0)
        return fail(errorText(errno));
    return true;
}

} // namespace

int writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

namespace {

// True when the regular file at `path` holds exactly `bytes`.
bool holds(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error, LinkPolicy links)
{
    return replaceNative(QFile::encodeName(path), bytes, error, links);
}

PageWrite writePage(const QByteArray& nativePath, const QByteArray& bytes, QString* error)
{
    if (holds(nativePath, bytes))
        return PageWrite::Unchanged;
    return replaceNative(nativePath, bytes, error, LinkPolicy::ReplaceLink) ? PageWrite::Written : PageWrite::Failed;
}

void removeLeftoverTemporaries(const QString& dir)
{
    const QStringList names = QDir(dir).entryList({QStringLiteral(".qadora-*.tmp")}, QDir::Files | QDir::Hidden
                                                                                          | QDir::System);
    for (const QString& name : names) {
        if (!isTemporaryName(QFile::encodeName(name)))
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
