// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include "platform/windowsutil.h"

#include <winsock2.h>

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace qadora::platform {

using namespace win;

namespace {

// Qt keeps PCRE2's JIT stack in a thread_local object, and mingw-w64's emulated thread-local
// storage frees that object's memory before its destructor runs when a thread ends: a
// worker thread that matched an expression (the publish's) crashed the program as it
// ended. Without the JIT the object is never made. Set as the program is loaded, before
// any expression is compiled, in every program and test that links the core; the
// interpreter matches our few short patterns as well.
[[maybe_unused]] const bool regexpJitOff = qputenv("QT_ENABLE_REGEXP_JIT", "0");

// The file's attributes without following a reparse point, or INVALID_FILE_ATTRIBUTES.
DWORD attributesOf(const QString& path)
{
    return ::GetFileAttributesW(wide(path).c_str());
}

QString lastErrorText()
{
    return qt_error_string(int(::GetLastError()));
}

} // namespace

std::optional<FileStamp> stampOf(const QString& path, Links links)
{
    // Attributes only, sharing everything: a stamp never stands in another program's way.
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (links == Links::Follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    Handle h(::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, flags, nullptr));
    if (!h.valid())
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(h.get(), &info)
        || !::GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic))
        return std::nullopt;
    return FileStamp{qint64(info.dwVolumeSerialNumber),
                     qint64((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow),
                     qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow),
                     nanoseconds(basic.LastWriteTime.QuadPart), nanoseconds(basic.ChangeTime.QuadPart),
                     kindOfAttributes(info.dwFileAttributes)};
}

bool isRegularFile(const QString& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES
        && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

bool replaceFile(const QString& from, const QString& to, QString* error)
{
    const Error failure = move(from, to, true);
    if (failure && error)
        *error = failure.text;
    return !failure;
}

EntryKind entryKind(const QString& path, Links links)
{
    const auto stamp = stampOf(path, links);
    return stamp ? stamp->kind : EntryKind::Missing;
}

QString realPath(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return canonical;
    // The spelling the disk keeps (letter case, long names), so that one file has one path
    // however it was typed.
    Handle h(::CreateFileW(wide(canonical).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid())
        return canonical;
    std::wstring buffer(32768, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(h.get(), buffer.data(), DWORD(buffer.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= buffer.size())
        return canonical;
    QString final = QString::fromWCharArray(buffer.data(), int(n));
    if (final.startsWith(QLatin1String("\\\\?\\UNC\\")))
        final = QLatin1String("\\\\") + final.mid(8);
    else if (final.startsWith(QLatin1String("\\\\?\\")))
        final = final.mid(4);
    return QDir::fromNativeSeparators(final);
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
    Handle h(::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return false;
    // One byte more than the size: a file that grows meanwhile is read whole all the same.
    bytes->resize(qsizetype((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow) + 1);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes->size())
            bytes->resize(got * 2 + 4096);
        DWORD n = 0;
        if (!::ReadFile(h.get(), bytes->data() + got, DWORD(qMin<qsizetype>(bytes->size() - got, 1 << 30)), &n, nullptr))
            return false;
        if (n == 0)
            break;
        got += n;
    }
    bytes->resize(got);
    return true;
}

bool appendLine(const QString& path, QByteArray line, QString* error)
{
    Handle h(::CreateFileW(wide(path).c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        *error = lastErrorText();
        return false;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(size.QuadPart - 1);
        at.OffsetHigh = DWORD((size.QuadPart - 1) >> 32);
        char last = '\n';
        DWORD n = 0;
        if (::ReadFile(h.get(), &last, 1, &n, &at) && n == 1 && last != '\n')
            line.prepend('\n');
    }
    for (qsizetype done = 0; done < line.size();) {
        DWORD n = 0;
        if (!::WriteFile(h.get(), line.constData() + done, DWORD(line.size() - done), &n, nullptr) || n == 0) {
            *error = lastErrorText();
            return false;
        }
        done += n;
    }
    return true;
}

bool makePrivateFolders(const QString& path)
{
    // A folder of the user's profile is the user's alone by its inherited access list.
    return QDir().mkpath(path);
}

bool makePrivateFolder(const QString& path)
{
    return ::CreateDirectoryW(wide(path).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool hasFreedesktopTrash()
{
    return false;
}

bool isPrivateFolder(const QString& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
        && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool writeAll(int fd, const QByteArray& bytes)
{
    ::_setmode(fd, _O_BINARY);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const int n = ::_write(fd, p, unsigned(qMin<qsizetype>(left, 1 << 30)));
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

qint64 fileClockNow()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return nanoseconds(qint64((quint64(now.dwHighDateTime) << 32) | now.dwLowDateTime));
}

QStringList programArguments(int, char*[])
{
    QStringList arguments;
    int count = 0;
    if (wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(list[i]);
        ::LocalFree(list);
    }
    return arguments;
}

namespace {

// The long form of what is at `path` as the system spells it, or nothing.
std::optional<std::wstring> longPathOf(const std::wstring& path)
{
    const DWORD size = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (!size)
        return std::nullopt;
    std::wstring longPath(size, L'\0');
    if (::GetLongPathNameW(path.c_str(), longPath.data(), size) >= size)
        return std::nullopt;
    longPath.resize(wcslen(longPath.c_str()));
    return longPath;
}

// The short form of what is at `path`, or nothing when it is not there or when the short
// form, looked up again, names something else: short names are found again by the system's
// matching, and under Wine (whose short names are hashes) a folder of a similar long name
// can answer to the same one.
std::optional<QString> shortPathOf(const QString& path)
{
    const std::wstring full = wide(path);
    const DWORD size = ::GetShortPathNameW(full.c_str(), nullptr, 0);
    if (!size)
        return std::nullopt;
    std::wstring shortPath(size, L'\0');
    if (::GetShortPathNameW(full.c_str(), shortPath.data(), size) >= size)
        return std::nullopt;
    shortPath.resize(wcslen(shortPath.c_str()));
    const auto named = longPathOf(full);
    const auto found = longPathOf(shortPath);
    if (!named || !found
        || QString::fromStdWString(*named).compare(QString::fromStdWString(*found), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return QString::fromStdWString(shortPath);
}

} // namespace

QByteArray libraryPath(const QString& path)
{
    // The short form only where the code page cannot hold the name, and only one that names
    // the same file again (shortPathOf): never a path to another folder.
    const QByteArray local = path.toLocal8Bit();
    if (QString::fromLocal8Bit(local) == path)
        return local;
    if (const auto shortPath = shortPathOf(path))
        return shortPath->toLocal8Bit();
    // A file still to be made has no short form: its folder has.
    const QFileInfo info(path);
    if (const auto folder = shortPathOf(info.absolutePath()))
        return (*folder + QLatin1Char('\\') + info.fileName()).toLocal8Bit();
    return path.toLocal8Bit();
}

namespace {

// A folder the shell knows (the roaming or the local application data), with "/".
QString knownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    QString result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path)))
        result = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    ::CoTaskMemFree(path);
    return result;
}

// The folder the environment names (%APPDATA%, %LOCALAPPDATA%: the same folders on any
// Windows, and what a test points elsewhere for itself and the programs it starts), else
// the one the shell knows.
QString userFolder(const char* variable, REFKNOWNFOLDERID id)
{
    const QString named = qEnvironmentVariable(variable);
    if (!named.isEmpty() && QDir::isAbsolutePath(named))
        return QDir::fromNativeSeparators(named);
    return knownFolder(id);
}

} // namespace

QString settingsFile()
{
    const QString roaming = userFolder("APPDATA", FOLDERID_RoamingAppData);
    return roaming.isEmpty() ? QString() : roaming + QStringLiteral("/Qadora/Qadora.conf");
}

QString dataFolder()
{
    return userFolder("LOCALAPPDATA", FOLDERID_LocalAppData) + QStringLiteral("/Qadora");
}

QString cacheFolder()
{
    return userFolder("LOCALAPPDATA", FOLDERID_LocalAppData) + QStringLiteral("/Qadora/cache");
}

QStringList interfaceFontFamilies()
{
    // Wine passes the system's Noto fonts through; a real Windows has the first ones.
    return {QStringLiteral("Yu Gothic UI"), QStringLiteral("Meiryo UI"), QStringLiteral("Meiryo"),
            QStringLiteral("Noto Sans CJK JP")};
}

QStringList fixedFontFamilies()
{
    return {QStringLiteral("BIZ UDGothic"), QStringLiteral("MS Gothic"), QStringLiteral("Noto Sans Mono CJK JP")};
}

bool windowsFileNames()
{
    return true;
}

QString programFileName(const QString& base)
{
    return base + QStringLiteral(".exe");
}

QString userKey()
{
    // The security identifier of the process's user, as "S-1-5-21-…".
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return QString();
    Handle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
    if (!size || !::GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
        return QString();
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text))
        return QString();
    const QString key = QString::fromWCharArray(text);
    ::LocalFree(text);
    return key;
}

bool processMayBeRunning(qint64 pid)
{
    if (pid <= 0)
        return true;
    Handle h(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid)));
    if (!h.valid())
        return ::GetLastError() != ERROR_INVALID_PARAMETER; // no such process
    return ::WaitForSingleObject(h.get(), 0) == WAIT_TIMEOUT;
}

qint64 currentProcessId()
{
    return qint64(::GetCurrentProcessId());
}

qintptr openSocket(int family, int type, int protocol)
{
    const SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    return s == INVALID_SOCKET ? -1 : qintptr(s);
}

int closeSocket(qintptr socket)
{
    return ::closesocket(SOCKET(socket));
}

void shutdownSocket(qintptr socket)
{
    ::shutdown(SOCKET(socket), SD_BOTH);
}

bool selectCanHold(qintptr)
{
    return true; // Windows' sets list sockets, whatever their values
}

bool waitForInput(qintptr socket, int waitMs)
{
    WSAPOLLFD p{SOCKET(socket), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, waitMs) > 0;
}

int receiveNow(qintptr socket, char* buffer, int size)
{
    // No MSG_DONTWAIT here; a socket that would block is asked only once input is waiting.
    if (!waitForInput(socket, 0))
        return -1;
    const int n = ::recv(SOCKET(socket), buffer, size, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool isTerminal(Stream stream)
{
    const DWORD which = stream == Stream::Input ? STD_INPUT_HANDLE : stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

int takeStandardOutput()
{
    const int result = ::_dup(_fileno(stdout));
    if (result < 0 || ::_dup2(_fileno(stderr), _fileno(stdout)) < 0)
        return -1;
    // Text mode would write CR LF for every LF of the result.
    ::_setmode(result, _O_BINARY);
    return result;
}

} // namespace qadora::platform
