// SPDX-License-Identifier: GPL-3.0-or-later
// Files written beside others in one folder: created without taking a name already there,
// written in binary, renamed into place, and the folder's listing, with names as QString.
// Part of the platform layer (folder_posix.cpp, folder_windows.cpp).
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace qadora::platform {

// Why a file call failed, in the terms the program's messages need.
enum class Failure { None, Exists, NoSpace, ReadOnly, Denied, Missing, NameTooLong, IsFolder, Unsupported, Other };

struct Error {
    Failure failure = Failure::None;
    QString text; // the system's own words
    explicit operator bool() const { return failure != Failure::None; }
};

// What a name is, itself: a link is not followed (a Windows reparse point counts as a link).
enum class EntryKind { Missing, Regular, Link, Directory, Other };

struct FolderEntry {
    QString name;
    bool exactName = true; // false when the system's bytes are not a name Qt can hold (not UTF-8)
};

// A folder that names are relative to. Closed, names are paths of their own (relative to the
// working folder or absolute); open, the folder itself is held, so that a rename of its path
// does not move the writes elsewhere.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool open(const QString& path);
    void close();
    bool isOpen() const;

    enum class Lock { Shared, Exclusive };
    // An advisory lock on the folder, taken without waiting (flock). A shared lock taken after
    // the exclusive one replaces it. Windows has no folder locks: there a temporary file is
    // held by its writer's handle, which no cleaner can open, so cleaning is always allowed
    // (Exclusive is true) and no run holds the folder (Shared is false).
    bool tryLock(Lock lock);

    // The names the folder holds ("." and ".." left out); none when it cannot be read.
    std::optional<QList<FolderEntry>> entries() const;

    EntryKind kindOf(const QString& name) const;
    // Whether `name` is a regular file (not a link) holding exactly `bytes`.
    bool holds(const QString& name, const QByteArray& bytes) const;
    // Removes `name` when it is a regular file that no writer holds (see NewFile::create).
    void removeIfUnheld(const QString& name) const;
    bool remove(const QString& name) const;

private:
    friend class NewFile;
    QString m_path;
    qintptr m_handle = -1;
};

// Whether looking for a name a folder does not hold may read the whole folder: so on Windows,
// under Wine (which matches names without regard to case by reading the folder) and on FAT
// drives (whose folders have no index). A writer of thousands of files into one folder then
// makes its temporary files in a small folder of their own.
bool missingNamesReadFolder();

// A file created under a name that was free, open for writing in binary mode.
class NewFile {
public:
    NewFile() = default;
    ~NewFile(); // closes what is still open; removes nothing
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Creates `name` of `at` (Failure::Exists when the name is taken). With `hold`, the file is
    // locked until it is closed, so that Folder::removeIfUnheld() leaves it alone.
    Error create(const Folder& at, const QString& name, bool hold);
    // Creates a file of `at` that has no name until rename() links it under one, with
    // `noReplace` only (Failure::Unsupported where the system has no such files, or they
    // cannot be linked in this folder). A run killed meanwhile leaves nothing behind, and the
    // folder is changed once instead of three times (add, remove, add).
    Error createUnnamed(const Folder& at);
    Error write(const QByteArray& bytes);
    // To the disk, before a rename makes it the user's own file.
    Error sync();
    // The permissions (and, where permitted, the owner) of the file at `path`.
    void takeAccessOf(const QString& path);
    // Gives the file the name `target` of the same folder, replacing what is there; the file
    // stays open. With `noReplace`, a file already at `target` fails with Failure::Exists, and
    // a file system that cannot tell fails with Failure::Unsupported.
    Error rename(const QString& target, bool noReplace = false);
    // Removes the file under its present name, and closes it.
    void discard();
    Error close();

private:
    const Folder* m_at = nullptr;
    QString m_name; // empty while the file has no name
    qintptr m_handle = -1;
};

} // namespace qadora::platform
