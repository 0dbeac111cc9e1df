// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagefile.h"

#include "cp932.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef QADORA_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

#include <memory>

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

// A fresh temporary name: 12 letters or digits from one random draw per 10.
QByteArray temporaryName()
{
    QByteArray name(kTempPrefix);
    constexpr quint64 base = sizeof kAlphabet - 1;
    quint64 r = QRandomGenerator::global()->generate64();
    for (int i = 0; i < kTempRandomLength; ++i) {
        if (i == 10)
            r = QRandomGenerator::global()->generate64();
        name += kAlphabet[r % base];
        r /= base;
    }
    name += kTempSuffix;
    return name;
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

QByteArray withSlash(QByteArray dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

// Where a file is written: names relative to the folder `at` (an open folder, or AT_FDCWD
// with `prefix` the folder's path), and whether each temporary file is locked on its own.
// Writers and cleaners agree thus: a run that holds the folder's shared lock does not lock its
// temporary files; any other writer locks each one until it has its name; a cleaner removes
// temporary files only while it holds the folder's exclusive lock, and only those it can lock.
struct Place {
    int at = AT_FDCWD;
    QByteArray prefix;
    bool lockEach = true;
};

struct Temporary {
    QByteArray name; // relative to the place
    int fd = -1;
};

// A new temporary file of the place, open for writing (and locked, when the place says so).
bool createTemporary(const Place& place, Temporary* temp, QString* error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp->name = place.prefix + temporaryName();
        temp->fd = ::openat(place.at, temp->name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (temp->fd >= 0) {
            // Held until the file has its name, so that a cleaner never takes a file being written.
            if (place.lockEach)
                ::flock(temp->fd, LOCK_EX);
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *error = errorText(errno);
    return false;
}

bool abandon(const Place& place, Temporary& temp, int err, QString* error)
{
    ::unlinkat(place.at, temp.name.constData(), 0);
    ::close(temp.fd);
    *error = errorText(err);
    return false;
}

// Something at `target` that may be replaced: nothing, a regular file or a link.
bool replaceable(const struct stat& st)
{
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

const QString& notRegularMessage()
{
    static const QString message = QStringLiteral("通常のファイルではないため置き換えられません");
    return message;
}

// Gives the written temporary file its name and closes it.
bool rename(const Place& place, Temporary& temp, const QByteArray& target, QString* error)
{
    if (::renameat(place.at, temp.name.constData(), place.at, target.constData()) != 0)
        return abandon(place, temp, errno, error);
    if (::close(temp.fd) != 0) {
        *error = errorText(errno);
        return false;
    }
    return true;
}

// The file at `target` (native bytes) replaced by `bytes` through a temporary file beside it.
bool replaceNative(QByteArray target, const QByteArray& bytes, QString* error, LinkPolicy links)
{
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
    if (exists && !replaceable(existing)) {
        *error = notRegularMessage();
        return false;
    }
    const Place place{AT_FDCWD, withSlash(directoryOf(target)), true};
    Temporary temp;
    if (!createTemporary(place, &temp, error))
        return false;
    const bool userFile = links == LinkPolicy::FollowLink; // the user's own file, not a page
    if (exists && userFile) {
        ::fchmod(temp.fd, existing.st_mode & 07777);
        if (::fchown(temp.fd, existing.st_uid, existing.st_gid) != 0) {
            // Not permitted for another owner's file; the file becomes ours, as with any editor.
        }
    }
    if (const int err = writeAll(temp.fd, bytes))
        return abandon(place, temp, err, error);
    if (userFile && ::fsync(temp.fd) != 0)
        return abandon(place, temp, errno, error);
    return rename(place, temp, target, error);
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

// True when the regular file `name` of the folder `at` holds exactly `bytes`.
bool holds(int at, const QByteArray& name, const QByteArray& bytes)
{
    const int fd = ::openat(at, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

// A temporary file of the place holding `bytes`, still open; none is left on failure.
bool writeTemporary(const Place& place, const QByteArray& bytes, Temporary* temp, QString* error)
{
    if (!createTemporary(place, temp, error))
        return false;
    if (const int err = writeAll(temp->fd, bytes))
        return abandon(place, *temp, err, error);
    return true;
}

// False, and why, when something at `target` is not a file that may be replaced.
bool mayReplace(const Place& place, const QByteArray& target, QString* error)
{
    struct stat existing {};
    if (::fstatat(place.at, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && !replaceable(existing)) {
        *error = notRegularMessage();
        return false;
    }
    return true;
}

// A page at `target` of the place: left alone when it holds `bytes`, else replaced.
PageWrite writeAt(const Place& place, const QByteArray& target, const QByteArray& bytes, QString* error)
{
    if (holds(place.at, target, bytes))
        return PageWrite::Unchanged;
    if (!mayReplace(place, target, error))
        return PageWrite::Failed;
    Temporary temp;
    if (!writeTemporary(place, bytes, &temp, error))
        return PageWrite::Failed;
    return rename(place, temp, target, error) ? PageWrite::Written : PageWrite::Failed;
}

// A page at `target`, a name the folder did not hold when the run began: written and renamed
// without replacing anything. Should a file have come meanwhile, it is treated as writeAt() does.
PageWrite writeNew(const Place& place, const QByteArray& target, const QByteArray& bytes, bool* noReplace,
                   QString* error)
{
    Temporary temp;
    if (!writeTemporary(place, bytes, &temp, error))
        return PageWrite::Failed;
#ifdef RENAME_NOREPLACE
    if (*noReplace) {
        if (::renameat2(place.at, temp.name.constData(), place.at, target.constData(), RENAME_NOREPLACE) == 0) {
            if (::close(temp.fd) != 0) {
                *error = errorText(errno);
                return PageWrite::Failed;
            }
            return PageWrite::Written;
        }
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
            *noReplace = false; // this file system cannot; the check below does for it
        else if (errno != EEXIST) {
            abandon(place, temp, errno, error);
            return PageWrite::Failed;
        }
    }
#else
    *noReplace = false;
#endif
    if (holds(place.at, target, bytes)) {
        ::unlinkat(place.at, temp.name.constData(), 0);
        ::close(temp.fd);
        return PageWrite::Unchanged;
    }
    if (!mayReplace(place, target, error)) {
        ::unlinkat(place.at, temp.name.constData(), 0);
        ::close(temp.fd);
        return PageWrite::Failed;
    }
    return rename(place, temp, target, error) ? PageWrite::Written : PageWrite::Failed;
}

// Removes `name` of the open folder `dir` when it is a temporary file no writer holds.
void removeIfLeftover(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(dir, name, 0);
    ::close(fd);
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error, LinkPolicy links)
{
    return replaceNative(QFile::encodeName(path), bytes, error, links);
}

PageWrite writePage(const QByteArray& nativePath, const QByteArray& bytes, QString* error)
{
    const Place place{AT_FDCWD, withSlash(directoryOf(nativePath)), true};
    return writeAt(place, nativePath, bytes, error);
}

PageFolder::PageFolder(const QString& dir, Guard guard)
    : m_prefix(withSlash(QFile::encodeName(dir)))
{
    const int fd = ::open(m_prefix.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // writing will say why
    // Cleaning needs the folder to itself: while another run writes here, its files stay.
    const bool clean = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const int listing = ::dup(fd);
    if (DIR* d = listing >= 0 ? ::fdopendir(listing) : nullptr) {
        m_listed = true;
        while (const dirent* e = ::readdir(d)) {
            const QByteArray name = QByteArray::fromRawData(e->d_name, qsizetype(std::strlen(e->d_name)));
            if (isTemporaryName(name)) {
                if (clean)
                    removeIfLeftover(fd, e->d_name);
            } else {
                m_present.insert(QByteArray(e->d_name));
            }
        }
        ::closedir(d);
    } else if (listing >= 0) {
        ::close(listing);
    }
    // A shared lock, taken without waiting: a folder locked by someone else, or one on a file
    // system without locks, is written with a lock on each temporary file instead.
    if (guard == Guard::PerRun && ::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        m_fd = fd;
        m_prefix.clear();
        return;
    }
    ::close(fd);
}

PageFolder::~PageFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

PageWrite PageFolder::write(const QByteArray& name, const QByteArray& bytes, QString* error)
{
    const Place place{m_fd >= 0 ? m_fd : AT_FDCWD, m_prefix, m_fd < 0};
    const QByteArray target = m_prefix + name;
    if (m_listed && !m_present.contains(name))
        return writeNew(place, target, bytes, &m_noReplace, error);
    return writeAt(place, target, bytes, error);
}

QByteArray pageHash(const QByteArray& bytes)
{
#ifdef QADORA_HAVE_OPENSSL
    // OpenSSL's SHA-256 uses the processor's instructions for it, many times faster than
    // Qt's portable one; the page's hash is taken for every page of every run.
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    thread_local const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (sha256 && context && EVP_DigestInit_ex2(context.get(), sha256, nullptr)
        && EVP_DigestUpdate(context.get(), bytes.constData(), size_t(bytes.size()))
        && EVP_DigestFinal_ex(context.get(), digest, &length))
        return QByteArray::fromRawData(reinterpret_cast<const char*>(digest), length).toHex();
#endif
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace qadora
