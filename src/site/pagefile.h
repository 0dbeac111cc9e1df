// SPDX-License-Identifier: GPL-3.0-or-later
// Writing text files of the site: CP932, CR LF after every line, replacing an old file
// atomically (a temporary file in the same directory, renamed over it).
#pragma once

#include "platform/folder.h"

#include <QSet>
#include <QStringList>

#include <atomic>

namespace qadora {

// A directory path in the form the program shows and stores: absolute, clean, and without
// a trailing "/" except at the root.
QString outputDirForm(const QString& path);

// The directory and the file name joined with exactly one "/".
QString joinPath(const QString& dir, const QString& fileName);

// Why a page cannot be written under `fileName`, or an empty string: it must stay inside the
// output directory (no "/" or "\\"), be a name the file system keeps as written (no NUL, no
// control character), and not be one of the program's own (".qadora-…").
QString pageNameProblem(const QString& fileName);

// CP932 bytes of the lines, each followed by CR LF.
QByteArray encodeLines(const QStringList& lines);

enum class LinkPolicy {
    ReplaceLink, // a symbolic link at `path` is replaced by the new file (pages)
    FollowLink,  // the file a link points to is replaced and keeps its permissions (the list file)
};

// Writes `bytes` to `path` through a temporary file beside it. On failure the old file is
// untouched, no temporary file is left, and `error` holds the reason. Something at `path`
// that is not a regular file (a directory, a FIFO, a device) is never replaced.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* error,
                 LinkPolicy links = LinkPolicy::ReplaceLink);

// Why "ﾃﾞｨﾚｸﾄﾘ作成" cannot make `name` inside the output directory, or an empty string: one
// level only ("/" and "\\", "." and ".." are refused), and no control character.
QString directoryNameProblem(const QString& name);

enum class PageWrite { Written, Unchanged, Failed };
// A page at `path`: a regular file that already holds `bytes` is left alone; anything else is
// replaced as replaceFile() replaces it, a link included.
PageWrite writePage(const QString& path, const QByteArray& bytes, QString* error);

// The folder a run writes its pages into, listed once when the run begins. A page whose name
// was not there is written without first reading the folder for it; one that was is compared
// first and left alone when it holds the same bytes. The listing also removes the temporary
// files a killed run left: only names of replaceFile()'s pattern, only while no other run
// writes here, and only those no running writer holds.
// How a page is given a name no file has, without replacing one that came meanwhile. Learnt
// by whichever thread writes first: more than one may write into the folder at once.
struct NewNames {
    std::atomic<bool> noReplace{true}; // the file system can rename without replacing
    std::atomic<bool> unnamed{true};   // it can make a file without a name and link it under one
};

class PageFolder {
public:
    enum class Guard {
        PerRun,  // one lock on the folder for the run's life keeps its temporary files safe
        PerFile, // each temporary file is locked while it is written (a run of unknown length)
    };
    PageFolder(const QString& dir, Guard guard);
    ~PageFolder();
    PageFolder(const PageFolder&) = delete;
    PageFolder& operator=(const PageFolder&) = delete;

    // Writes the page `name` (a plain name of this folder) as writePage() does. Safe from more
    // than one thread at once, for different names.
    PageWrite write(const QString& name, const QByteArray& bytes, QString* error);

private:
    QString m_prefix;             // what names are relative to: "" with the folder open, else its path and "/"
    platform::Folder m_folder;    // the folder, open while the run holds its lock
    QSet<QString> m_present;      // the names the folder held when the run began
    bool m_listed = false;        // false when the folder could not be read: every name may be there
    QString m_scratch;            // the run's folder of temporary files, a path; "" when they go beside the pages
    QString m_scratchName;        // its name in the folder
    NewNames m_ways;
};

// The hash of `bytes` as the manifest of a site folder keeps it: their XXH3 of 128 bits in
// lower-case hex, kPageHashLength characters.
QByteArray pageHash(const QByteArray& bytes);
inline constexpr qsizetype kPageHashLength = 32;
inline constexpr qsizetype kLegacyPageHashLength = 64; // an earlier version's SHA-256
// True when `hash`, from a manifest of this version or an earlier one, is that of `bytes`.
bool isPageHash(const QByteArray& hash, const QByteArray& bytes);

} // namespace qadora
