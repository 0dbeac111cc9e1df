// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system's file and process calls, in one place: everything else is written
// against these and has no call of its own. One implementation per system is built
// (platform_posix.cpp, platform_windows.cpp).
#pragma once

#include <QString>

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
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path` (a link followed), or none when there is no such file.
std::optional<FileStamp> stampOf(const QString& path);

// Whether `path` is a regular file itself: not a link, shortcut target, reparse point,
// directory or device.
bool isRegularFile(const QString& path);

// Moves `from` over `to` in one step: `to` is either the old file or the new one, never
// missing. False with the system's reason in `error`.
bool replaceFile(const QString& from, const QString& to, QString* error);

// Whether the process with this id may still be running (false only when it is certainly
// gone, so a file it holds is not taken from it by mistake).
bool processMayBeRunning(qint64 pid);

// This process's id.
qint64 currentProcessId();

enum class Stream { Input, Output, Error };

// Whether the standard stream is a terminal (a console), not a file or a pipe.
bool isTerminal(Stream stream);

// For a program whose standard output carries a result to its parent: a descriptor of the
// standard output as it was, in binary mode, while standard output itself goes to standard
// error from then on, so that what a library prints cannot mix with the result. -1 when
// that cannot be arranged.
int takeStandardOutput();

} // namespace qadora::platform
