// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder.h"

#include "platform/windowsutil.h"

#include <cstring>

namespace qadora::platform {

using namespace win;

namespace {

// A name of `folder` as a path: joined to the open folder's path, or a path of its own.
QString pathOf(const Folder* folder, const QString& folderPath, const QString& name)
{
    if (!folder || folderPath.isEmpty())
        return name;
    return folderPath.endsWith(QLatin1Char('/')) ? folderPath + name : folderPath + QLatin1Char('/') + name;
}

} // namespace

bool missingNamesReadFolder()
{
    return true;
}

Folder::~Folder()
{
    close();
}

bool Folder::open(const QString& path)
{
    close();
    // Held open, without delete sharing: the folder cannot be renamed or removed meanwhile.
    HANDLE h = ::CreateFileW(wide(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_path = path;
    m_handle = qintptr(h);
    return true;
}

void Folder::close()
{
    if (m_handle != -1)
        ::CloseHandle(HANDLE(m_handle));
    m_handle = -1;
    m_path.clear();
}

bool Folder::isOpen() const
{
    return m_handle != -1;
}

bool Folder::tryLock(Lock lock)
{
    return m_handle != -1 && lock == Lock::Exclusive;
}

std::optional<QList<FolderEntry>> Folder::entries() const
{
    if (m_handle == -1)
        return std::nullopt;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = wide(pathOf(this, m_path, QStringLiteral("*")));
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(QList<FolderEntry>()) : std::nullopt;
    QList<FolderEntry> names;
    do {
        const QString name = QString::fromWCharArray(data.cFileName);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names.append({name, true});
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

EntryKind Folder::kindOf(const QString& name) const
{
    return kindOfAttributes(::GetFileAttributesW(wide(pathOf(this, m_path, name)).c_str()));
}

bool Folder::holds(const QString& name, const QByteArray& bytes) const
{
    Handle h(::CreateFileW(wide(pathOf(this, m_path, name)).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)
        || kindOfAttributes(info.dwFileAttributes) != EntryKind::Regular
        || ((qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow) != bytes.size())
        return false;
    if (bytes.isEmpty())
        return true;
    // Not thread_local: mingw-w64 frees emulated thread-local storage before its destructors run.
    QByteArray buffer;
    buffer.resize(bytes.size() + 1); // one byte more: a file that grew meanwhile differs
    qsizetype got = 0;
    while (got < buffer.size()) {
        DWORD n = 0;
        const DWORD want = DWORD(qMin<qsizetype>(buffer.size() - got, 1 << 30));
        if (!::ReadFile(h.get(), buffer.data() + got, want, &n, nullptr) || n == 0)
            break;
        got += n;
    }
    return got == bytes.size() && std::memcmp(buffer.constData(), bytes.constData(), size_t(got)) == 0;
}

void Folder::removeIfUnheld(const QString& name) const
{
    // Opened sharing nothing: that fails while a writer has the file open.
    Handle h(::CreateFileW(wide(pathOf(this, m_path, name)).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)
        || kindOfAttributes(info.dwFileAttributes) != EntryKind::Regular)
        return;
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    ::SetFileInformationByHandle(h.get(), FileDispositionInfo, &dispose, sizeof dispose);
}

bool Folder::remove(const QString& name) const
{
    return ::DeleteFileW(wide(pathOf(this, m_path, name)).c_str()) != 0;
}

NewFile::~NewFile()
{
    if (m_handle != -1)
        ::CloseHandle(HANDLE(m_handle));
}

Error NewFile::create(const Folder& folder, const QString& name, bool hold)
{
    // A writer always holds its file: without write or delete sharing no cleaner can open it,
    // and its own rename (with delete sharing) still goes through. So `hold` needs no lock here.
    Q_UNUSED(hold);
    // DELETE: renamed by its handle (see renameOpen).
    HANDLE h = ::CreateFileW(wide(pathOf(&folder, folder.m_path, name)).c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lastError();
    m_at = &folder;
    m_name = name;
    m_handle = qintptr(h);
    return {};
}

Error NewFile::createUnnamed(const Folder& folder)
{
    Q_UNUSED(folder);
    return {Failure::Unsupported, QString()};
}

Error NewFile::write(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD n = 0;
        if (!::WriteFile(HANDLE(m_handle), p, DWORD(qMin<qsizetype>(left, 1 << 30)), &n, nullptr))
            return lastError();
        if (n == 0)
            return errorOf(ERROR_DISK_FULL);
        p += n;
        left -= n;
    }
    return {};
}

Error NewFile::sync()
{
    return ::FlushFileBuffers(HANDLE(m_handle)) ? Error{} : lastError();
}

void NewFile::takeAccessOf(const QString& path)
{
    // The attributes a user sets (read-only excepted, or the file could not be replaced next
    // time); the folder's permissions apply to the new file as to any file made there.
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    FILE_BASIC_INFO basic{};
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(HANDLE(m_handle), FileBasicInfo, &basic, sizeof basic);
}

Error NewFile::rename(const QString& target, bool noReplace)
{
    const QString to = pathOf(m_at, m_at ? m_at->m_path : QString(), target);
    if (const Error e = renameOpen(HANDLE(m_handle), to, !noReplace))
        return e;
    m_name = target;
    return {};
}

void NewFile::discard()
{
    if (m_handle == -1)
        return;
    // Removed once closed: the handle shares deletion.
    ::DeleteFileW(wide(pathOf(m_at, m_at ? m_at->m_path : QString(), m_name)).c_str());
    ::CloseHandle(HANDLE(m_handle));
    m_handle = -1;
}

Error NewFile::close()
{
    const HANDLE h = HANDLE(m_handle);
    m_handle = -1;
    return ::CloseHandle(h) ? Error{} : lastError();
}

} // namespace qadora::platform
