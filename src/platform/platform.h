// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system's file and process calls, in one place: everything else is written
// against these and has no call of its own. One implementation per system is built
// (platform_posix.cpp, platform_windows.cpp).
#pragma once

#include "platform/folder.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace qadora::platform {

// A file as the file system describes it, to tell whether it changed without reading it:
// a write by any program, or another file in its place, changes the stamp.
struct FileStamp {
    qint64 device = -1;   // the volume
    qint64 identity = -1; // the file on it (inode, file index)
    qint64 size = -1;
    qint64 modified = -1; // ns since the epoch
    qint64 changed = -1;  // the last change of contents or attributes, ns
    EntryKind kind = EntryKind::Missing;
    bool operator==(const FileStamp&) const = default;
};

enum class Links { Follow, NotFollowed };

// The stamp of what is at `path` (the file a link leads to, or the link itself), or none when
// there is nothing.
std::optional<FileStamp> stampOf(const QString& path, Links links = Links::Follow);

// Whether `path` is a regular file itself: not a link, shortcut target, reparse point,
// directory or device.
bool isRegularFile(const QString& path);

// What is at `path`: the file a link leads to, or the link itself.
EntryKind entryKind(const QString& path, Links links);

// `path` with every link resolved, absolute; empty when some part of it is missing.
QString realPath(const QString& path);

// The names of the folder at `path` ("." and ".." left out); none when it cannot be read.
std::optional<QList<FolderEntry>> folderEntries(const QString& path);

// The whole of the regular file at `path`, read once (a file that grows meanwhile is read
// whole all the same); false for anything else or on a failure.
bool readRegularFile(const QString& path, QByteArray* bytes);

// Appends `line` to the file at `path`, made for the user alone when it is new. A last line
// without its newline keeps its bytes: `line` then starts on a line of its own.
bool appendLine(const QString& path, QByteArray line, QString* error);

// Makes the folder `path` and those above it when it is missing; the folder itself for the
// user alone.
bool makePrivateFolders(const QString& path);

// Makes the folder `path` (its parent being there) for the user alone; true when it is there
// already.
bool makePrivateFolder(const QString& path);

// Whether the trash is the freedesktop.org one of the home and data folders (not Windows'
// Recycle Bin).
bool hasFreedesktopTrash();

// Whether `path` is a folder itself (not a link) of this user's that no one else may enter or
// write. On Windows the user's own folders are kept so by their access lists: a folder that is
// not a reparse point.
bool isPrivateFolder(const QString& path);

// Writes all of `bytes` to the descriptor `fd`, in binary, resuming after interruptions.
bool writeAll(int fd, const QByteArray& bytes);

// The real-time clock in ns since the epoch, as coarse as the file system's times: a file
// changed after this moment never gets an earlier time.
qint64 fileClockNow();

// Moves `from` over `to` in one step: `to` is either the old file or the new one, never
// missing. False with the system's reason in `error`.
bool replaceFile(const QString& from, const QString& to, QString* error);

// Whether the process with this id may still be running (false only when it is certainly
// gone, so a file it holds is not taken from it by mistake).
bool processMayBeRunning(qint64 pid);

// This process's id.
qint64 currentProcessId();

// The program's arguments as the user typed them (on Windows the wide command line, not
// the code page's bytes of it).
QStringList programArguments(int argc, char* argv[]);

// A path as a library that opens files by a narrow path takes it: the path's bytes here; on
// Windows its code page's bytes, or where the code page cannot hold a character of it, its
// short form (for a file still to be made, its folder's short form and the name).
QByteArray libraryPath(const QString& path);

// Whether file names follow Windows' rules (device names, characters refused, case not told
// apart), rather than the POSIX ones where any name without "/" is a name of its own.
bool windowsFileNames();

// Where the program keeps what is its own: the settings file (empty: Qt's own place, which is
// ~/.config/Qadora/Qadora.conf here; on Windows %APPDATA%\Qadora\Qadora.conf, in the same INI
// format, rather than the registry), and the folders for its data (backups, records of the
// pages written) and caches.
QString settingsFile();
QString dataFolder();
QString cacheFolder();

// The font families for the window and for fixed-width text, in order of preference.
QStringList interfaceFontFamilies();
QStringList fixedFontFamilies();

// The file name of the program `base` (a program beside this one or in the build tree):
// "base" here, "base.exe" on Windows.
QString programFileName(const QString& base);

// A text naming this user for names shared by the user's processes alone (a numeric id, a
// security identifier on Windows).
QString userKey();

// Sockets for a library that lets its caller open and close them (libcurl): an int here, a
// SOCKET on Windows, -1 for none. Made not to be inherited by child processes.
qintptr openSocket(int family, int type, int protocol);
int closeSocket(qintptr socket);
// Ends both directions at once, so that a wait on the socket returns; the socket stays open.
void shutdownSocket(qintptr socket);
// Whether select()'s set can hold the socket (here a descriptor below FD_SETSIZE).
bool selectCanHold(qintptr socket);
// Waits up to `waitMs` for input on the socket (or its end, or an error); true when there is.
bool waitForInput(qintptr socket, int waitMs);
// Reads what has arrived, without waiting: the count, 0 at the end, -1 on an error or when
// nothing is there.
int receiveNow(qintptr socket, char* buffer, int size);

enum class Stream { Input, Output, Error };

// Whether the standard stream is a terminal (a console), not a file or a pipe.
bool isTerminal(Stream stream);

// For a program whose standard output carries a result to its parent: a descriptor of the
// standard output as it was, in binary mode, while standard output itself goes to standard
// error from then on, so that what a library prints cannot mix with the result. -1 when
// that cannot be arranged.
int takeStandardOutput();

} // namespace qadora::platform
