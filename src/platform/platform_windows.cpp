// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include <QThread>

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace qadora::platform {

namespace {

const wchar_t* wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

// FILETIME and LARGE_INTEGER times count 100 ns from 1601; the stamps count ns from 1970.
qint64 nanoseconds(qint64 ticks)
{
    constexpr qint64 k1601To1970 = 116444736000000000LL;
    return (ticks - k1601To1970) * 100;
}

QString lastError()
{
    return qt_error_string(int(::GetLastError()));
}

class Handle {
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle()
    {
        if (m_h != INVALID_HANDLE_VALUE && m_h != nullptr)
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }

private:
    HANDLE m_h;
};

} // namespace

std::optional<FileStamp> stampOf(const QString& path)
{
    // Attributes only, sharing everything: a stamp never stands in another program's way.
    Handle h(::CreateFileW(wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
                     nanoseconds(basic.LastWriteTime.QuadPart), nanoseconds(basic.ChangeTime.QuadPart)};
}

bool isRegularFile(const QString& path)
{
    const DWORD attributes = ::GetFileAttributesW(wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES
        && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

bool replaceFile(const QString& from, const QString& to, QString* error)
{
    // A browser showing the page or a virus scanner reading it holds the target for a
    // moment; a second of retries outlasts them.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD code = ::GetLastError();
        if (attempt >= 20 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
            ::SetLastError(code);
            if (error)
                *error = lastError();
            return false;
        }
        QThread::msleep(50);
    }
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
