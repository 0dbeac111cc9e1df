// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the Windows implementation of the platform layer shares; for it only.
#pragma once

#include "platform/folder.h"

#include <QDir>
#include <QString>

#include <cstring>
#include <vector>

// Winsock 2 before windows.h, which would otherwise bring the old winsock.h.
#include <winsock2.h>
#include <windows.h>

namespace qadora::platform::win {

// A path as the wide-character calls take it, with "\" between its parts.
inline std::wstring wide(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~Handle()
    {
        if (valid())
            ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }

private:
    HANDLE m_h;
};

inline Error errorOf(DWORD code)
{
    Failure failure = Failure::Other;
    switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: failure = Failure::Exists; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: failure = Failure::NoSpace; break;
    case ERROR_WRITE_PROTECT: failure = Failure::ReadOnly; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: failure = Failure::Denied; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: failure = Failure::Missing; break;
    case ERROR_FILENAME_EXCED_RANGE: failure = Failure::NameTooLong; break;
    case ERROR_DIRECTORY: failure = Failure::IsFolder; break;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: failure = Failure::Unsupported; break;
    default: break;
    }
    return {failure, qt_error_string(int(code))};
}

inline Error lastError()
{
    return errorOf(::GetLastError());
}

// Windows refuses to replace a file with the read-only attribute; Wine, run by root, would
// replace it. Refused here as Windows does, and at once: waiting cannot help.
inline bool readOnlyTarget(const std::wstring& target)
{
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
        && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Runs `attempt` until it succeeds or fails for good. A browser showing the page or a virus
// scanner reading it holds the target for a moment; a second of retries outlasts them.
template <typename Attempt>
Error retriedWhileHeld(Attempt attempt)
{
    for (int tries = 0;; ++tries) {
        if (attempt())
            return {};
        const DWORD code = ::GetLastError();
        if (tries >= 20 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION))
            return errorOf(code);
        ::Sleep(50);
    }
}

// Moves `from` to `to` (replacing what is there when `replace`), written through to the disk.
inline Error move(const QString& from, const QString& to, bool replace)
{
    const std::wstring source = wide(from);
    const std::wstring target = wide(to);
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (replace && readOnlyTarget(target))
        return errorOf(ERROR_ACCESS_DENIED);
    return retriedWhileHeld([&] { return ::MoveFileExW(source.c_str(), target.c_str(), flags) != 0; });
}

// Gives the open file `file` (opened with DELETE access) the name `to`, as move() does. By
// its handle, the target is looked up once: MoveFileExW opens it first to see whether it is
// there, and under Wine each look-up of a name a folder does not hold reads the whole folder.
inline Error renameOpen(HANDLE file, const QString& to, bool replace)
{
    const std::wstring target = wide(QDir::cleanPath(QDir::current().absoluteFilePath(to)));
    if (replace && readOnlyTarget(target))
        return errorOf(ERROR_ACCESS_DENIED);
    const DWORD nameBytes = DWORD(target.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::memcpy(info->FileName, target.data(), nameBytes);
    return retriedWhileHeld(
        [&] { return ::SetFileInformationByHandle(file, FileRenameInfo, info, DWORD(buffer.size())) != 0; });
}

inline EntryKind kindOfAttributes(DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EntryKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Directory;
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::Other : EntryKind::Regular;
}

// FILETIME and LARGE_INTEGER times count 100 ns from 1601; the platform layer counts ns from 1970.
inline qint64 nanoseconds(qint64 ticks)
{
    constexpr qint64 k1601To1970 = 116444736000000000LL;
    return (ticks - k1601To1970) * 100;
}

} // namespace qadora::platform::win
