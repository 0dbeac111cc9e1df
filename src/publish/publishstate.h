// SPDX-License-Identifier: GPL-3.0-or-later
// The record of what was published, as kept on the server, and the files of the folder that
// go up. The record is a journal of lines added as the publish goes:
//   F <tab> sha256 <tab> size <tab> name            sent and in place
//   P <tab> temporary name <tab> sha256 <tab> size <tab> name   about to be sent
//   D <tab> name                                    removed
//   X <tab> temporary file's name                   a temporary file left behind, removed
// (names percent-encoded), so that a run cut short leaves a record the next run can finish
// from. What the server gives back is not trusted: a line naming anything but a plain relative
// name inside the folder is ignored and reported.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

namespace qadora {

struct PublishedFile {
    QByteArray hash; // SHA-256, hex
    qint64 size = -1; // -1: not recorded (an older record)
};

struct PendingFile {
    QString temp; // the temporary name beside it; empty once removed
    QByteArray hash;
    qint64 size = -1;
};

struct PublishState {
    QHash<QString, PublishedFile> published;
    QMap<QString, PendingFile> pending;
    QStringList strays;  // temporary files (relative names) of sends cut short, superseded since
    QStringList ignored; // lines not taken, as shown to the user
    int lines = 0;       // lines of the journal
    bool journal = false; // in the journal form (an older record is rewritten whole)
};

PublishState parsePublishState(const QByteArray& bytes);
QByteArray publishStateHeader();
QByteArray publishedLine(const QString& name, const PublishedFile& file);
QByteArray pendingLine(const QString& name, const PendingFile& file);
QByteArray removedLine(const QString& name);
QByteArray clearedLine(const QString& tempPath);
// The temporary files the record knows may have been left on the server.
QStringList leftoverTemporaries(const PublishState& state);
// The temporary file's relative name for a file and its temporary name.
QString temporaryPath(const QString& name, const QString& temp);
// The whole record, compacted.
QByteArray publishStateBytes(const PublishState& state);

// Why a name from the server cannot be a file of the folder, or an empty string: only plain
// relative names (no empty, "." or ".." part, no leading "/", no "\\", no control character,
// valid UTF-8, none of our own ".qadora-" names).
QString remoteNameProblem(const QByteArray& utf8);

// Text from the server as it may be shown: no control characters (a terminal's escapes), at
// most 200 bytes of it.
QString shownRemoteText(const QByteArray& text);

// The files of the folder that go up.
struct LocalFile {
    QString name;      // relative, "/" between folders
    QString path;
    QByteArray stamp;  // size, times and inode: the same stamp, the same bytes
};
struct LocalScan {
    QList<LocalFile> files;
    QStringList skipped;  // "NAME (why)"
    QStringList problems; // names that cannot be published at all
};
// Regular files (and links that resolve inside the folder); not dot-files and dot-folders
// (but .htaccess and .well-known/), databases (.mdb, .accdb, .laccdb, .ldb, .sqlite, .db),
// the list file (dbnames.txt) or our own; `include` and `exclude` patterns decide otherwise.
// A name that the record on the server could not hold (a control character, which FTP cannot
// send either; a backslash, a folder's mark on some servers) is a problem.
LocalScan scanLocalFolder(const QString& dir, const QStringList& include, const QStringList& exclude);

// The SHA-256 of each file of a folder by its stamp, kept between publishes on this machine so
// that an unchanged file is not read again. Made before the folder is scanned: the time it is
// made is the scan's. A stamp whose modification or change time is not strictly before the scan
// that recorded it is "racy" (the file may have changed again within the same clock tick,
// keeping its stamp) and is not trusted: the file is read again.
class HashCache {
public:
    explicit HashCache(const QString& dir);
    // The cached hash, or empty: not known, the stamp differs, or it was racy.
    QByteArray hash(const LocalFile& file) const;
    void remember(const LocalFile& file, const QByteArray& hash);
    // Written when something changed; files no longer there are dropped.
    void save();

private:
    QString m_path;
    QHash<QString, std::pair<QByteArray, QByteArray>> m_entries; // name: stamp, hash
    QHash<QString, std::pair<QByteArray, QByteArray>> m_now;
    // When the scan that wrote the cache started, and when this one did (seconds, nanoseconds).
    std::pair<qint64, qint64> m_recordedScan{0, 0};
    std::pair<qint64, qint64> m_scan{0, 0};
    bool m_changed = false;
};

// True when a stamp's modification or change time is not strictly before `scan` (seconds,
// nanoseconds), at the file system's granularity: a time whose nanoseconds are all zero is
// taken as a whole second, any time within it.
bool isRacyStamp(const QByteArray& stamp, std::pair<qint64, qint64> scan);

// True when the bytes are an SQLite database's (its header), which is never published
// unless included by a pattern.
bool looksLikeDatabase(const QByteArray& head);

// True when the relative name matches one of the patterns (see PublishOptions).
bool matchesPatterns(const QString& name, const QStringList& patterns);

} // namespace qadora
