// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishstate.h"
#include "store/wholefile.h"

#include "curlsession.h"
#include "platform/platform.h"
#include "site/pagefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <climits>

namespace qadora {

namespace {

bool isHash(const QByteArray& hash)
{
    if (hash.size() != 64)
        return false;
    for (const char c : hash) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

qint64 sizeField(const QByteArray& field)
{
    bool ok = false;
    const qint64 size = field.toLongLong(&ok);
    return ok && size >= 0 && !field.startsWith('+') ? size : -2;
}

QByteArray encodedName(const QString& name)
{
    return name.toUtf8().toPercentEncoding("/");
}

} // namespace

QString shownRemoteText(const QByteArray& text)
{
    QString shown = QString::fromUtf8(text.left(200));
    for (QChar& c : shown) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = QChar(0xFFFD);
    }
    return shown;
}

QString remoteNameProblem(const QByteArray& utf8)
{
    if (utf8.isEmpty())
        return QStringLiteral("empty name");
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = decoder(utf8);
    if (decoder.hasError())
        return QStringLiteral("not UTF-8");
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("absolute");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("backslash");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            return QStringLiteral("control character");
    }
    for (const QString& part : name.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QStringLiteral("not a plain relative name");
        if (part.startsWith(QLatin1String(".qadora-")))
            return QStringLiteral("our own name");
    }
    return QString();
}

PublishState parsePublishState(const QByteArray& bytes)
{
    PublishState state;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // A last line without its newline was cut off while being written.
        if (i == lines.size() - 1)
            break;
        QByteArray l = lines[i];
        if (l.endsWith('\r'))
            l.chop(1);
        if (l.isEmpty())
            continue;
        ++state.lines;
        if (l.startsWith('#')) {
            state.journal = state.journal || l.startsWith("# Qadora journal");
            continue;
        }
        const QList<QByteArray> f = l.split('\t');
        auto ignore = [&](const QString& why) {
            state.ignored << shownRemoteText(l) + QStringLiteral(" (") + why + QLatin1Char(')');
        };
        QByteArray rawName;
        if (f[0] == "F" && f.size() == 4)
            rawName = f[3];
        else if (f[0] == "P" && f.size() == 5)
            rawName = f[4];
        else if ((f[0] == "D" || f[0] == "X") && f.size() == 2)
            rawName = f[1];
        else if (f.size() == 2 && isHash(f[0]))
            rawName = f[1]; // an older record: hash and name
        else {
            ignore(QStringLiteral("unreadable"));
            continue;
        }
        const QByteArray decoded = QByteArray::fromPercentEncoding(rawName);
        if (f[0] == "X") {
            // Only a temporary name of ours, in a folder that may hold a file of the site.
            const QString path = QString::fromUtf8(decoded);
            const qsizetype slash = decoded.lastIndexOf('/');
            if (!CurlSession::isTemporaryName(path.section(QLatin1Char('/'), -1))
                || (slash >= 0 && !remoteNameProblem(decoded.left(slash)).isEmpty())) {
                ignore(QStringLiteral("not a temporary name"));
                continue;
            }
            state.strays.removeAll(path);
            for (auto it = state.pending.begin(); it != state.pending.end(); ++it) {
                if (!it->temp.isEmpty() && temporaryPath(it.key(), it->temp) == path)
                    it->temp.clear();
            }
            continue;
        }
        if (const QString problem = remoteNameProblem(decoded); !problem.isEmpty()) {
            ignore(problem);
            continue;
        }
        const QString name = QString::fromUtf8(decoded);
        // A send that a later line supersedes may have left its temporary file.
        auto supersede = [&]() {
            const auto it = state.pending.constFind(name);
            if (it != state.pending.cend() && !it->temp.isEmpty())
                state.strays << temporaryPath(name, it->temp);
        };
        if (f[0] == "D") {
            supersede();
            state.published.remove(name);
            state.pending.remove(name);
        } else if (f[0] == "F") {
            const qint64 size = sizeField(f[2]);
            if (!isHash(f[1]) || size < 0) {
                ignore(QStringLiteral("unreadable"));
                continue;
            }
            state.published.insert(name, {f[1], size});
            state.pending.remove(name);
        } else if (f[0] == "P") {
            const qint64 size = sizeField(f[3]);
            const QString temp = f[1] == "-" ? QString() : QString::fromUtf8(f[1]);
            if (!isHash(f[2]) || size < 0 || (!temp.isEmpty() && !CurlSession::isTemporaryName(temp))) {
                ignore(QStringLiteral("unreadable"));
                continue;
            }
            supersede();
            state.pending.insert(name, {temp, f[2], size});
        } else {
            state.published.insert(name, {f[0], -1});
        }
    }
    return state;
}

QByteArray publishStateHeader()
{
    return "# Qadora journal of the files published here: F sent, P being sent, D removed\r\n";
}

QByteArray publishedLine(const QString& name, const PublishedFile& file)
{
    return "F\t" + file.hash + '\t' + QByteArray::number(file.size) + '\t' + encodedName(name) + "\r\n";
}

QByteArray clearedLine(const QString& tempPath)
{
    return "X\t" + encodedName(tempPath) + "\r\n";
}

QString temporaryPath(const QString& name, const QString& temp)
{
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return name.left(slash + 1) + temp;
}

QStringList leftoverTemporaries(const PublishState& state)
{
    QStringList paths = state.strays;
    for (auto it = state.pending.cbegin(); it != state.pending.cend(); ++it) {
        if (!it->temp.isEmpty())
            paths << temporaryPath(it.key(), it->temp);
    }
    paths.removeDuplicates();
    return paths;
}

QByteArray pendingLine(const QString& name, const PendingFile& file)
{
    return "P\t" + (file.temp.isEmpty() ? QByteArray("-") : file.temp.toLatin1()) + '\t' + file.hash + '\t' + QByteArray::number(file.size) + '\t'
        + encodedName(name) + "\r\n";
}

QByteArray removedLine(const QString& name)
{
    return "D\t" + encodedName(name) + "\r\n";
}

QByteArray publishStateBytes(const PublishState& state)
{
    QByteArray bytes = publishStateHeader();
    QStringList names = state.published.keys();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        const PublishedFile& file = state.published[name];
        if (file.size >= 0)
            bytes += publishedLine(name, file);
        else
            bytes += file.hash + '\t' + encodedName(name) + "\r\n";
    }
    for (auto it = state.pending.cbegin(); it != state.pending.cend(); ++it)
        bytes += pendingLine(it.key(), it.value());
    return bytes;
}

bool looksLikeDatabase(const QByteArray& head)
{
    return head.startsWith(QByteArrayLiteral("SQLite format 3\0"));
}

bool matchesPatterns(const QString& name, const QStringList& patterns)
{
    for (const QString& pattern : patterns) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
        if (pattern.contains(QLatin1Char('/'))) {
            QString p = pattern;
            // "folder/" takes everything below the folder.
            if (p.endsWith(QLatin1Char('/')) && name.startsWith(p))
                return true;
            if (re.match(name).hasMatch())
                return true;
            continue;
        }
        for (const QString& part : name.split(QLatin1Char('/'))) {
            if (re.match(part).hasMatch())
                return true;
        }
    }
    return false;
}

namespace {

bool isDatabaseName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("\\.(mdb|accdb|laccdb|ldb|sqlite|sqlite3|db)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(fileName).hasMatch();
}

// Why a name is left out by default, or an empty string.
QString defaultSkip(const QString& name, bool isFolder)
{
    const QString fileName = name.section(QLatin1Char('/'), -1);
    if (fileName.startsWith(QLatin1String(".qadora-")) || fileName == QLatin1String(".qadora-published"))
        return QStringLiteral("Qadora's own");
    if (fileName.startsWith(QLatin1Char('.'))) {
        if ((isFolder && fileName == QLatin1String(".well-known")) || (!isFolder && fileName == QLatin1String(".htaccess")))
            return QString();
        return isFolder ? QStringLiteral("dot-folder") : QStringLiteral("dot-file");
    }
    if (isFolder)
        return QString();
    if (isDatabaseName(fileName))
        return QStringLiteral("database");
    if (fileName.compare(QLatin1String("dbnames.txt"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("list file");
    return QString();
}

constexpr qint64 kNanoseconds = 1000000000;

// Whole seconds of a time in ns, rounded down as the system's time stamps are.
qint64 secondsOf(qint64 ns)
{
    return ns >= 0 ? ns / kNanoseconds : -((-ns + kNanoseconds - 1) / kNanoseconds);
}

// "seconds.nanoseconds"
QByteArray timeText(qint64 ns)
{
    const qint64 seconds = secondsOf(ns);
    return QByteArray::number(seconds) + '.' + QByteArray::number(ns - seconds * kNanoseconds);
}

struct Walker {
    QString root;        // the folder, as resolved
    QStringList include;
    QStringList exclude;
    LocalScan scan;

    void walk(const QString& dir, const QString& prefix)
    {
        auto listed = platform::folderEntries(dir);
        if (!listed) {
            scan.problems << (prefix.isEmpty() ? QStringLiteral(".") : prefix) + QStringLiteral(" (cannot read the folder)");
            return;
        }
        QList<std::pair<QByteArray, platform::FolderEntry>> entries;
        entries.reserve(listed->size());
        for (platform::FolderEntry& e : *listed)
            entries.append({e.name.toUtf8(), std::move(e)});
        // In the order of the names' bytes, the same on every system.
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [bytes, entry] : std::as_const(entries)) {
            const QString path = dir + QLatin1Char('/') + entry.name;
            if (!entry.exactName) {
                scan.problems << prefix + entry.name + QStringLiteral(" (the name is not UTF-8)");
                continue;
            }
            const QString name = prefix + entry.name;
            auto st = platform::stampOf(path, platform::Links::NotFollowed);
            if (!st)
                continue;
            if (st->kind == platform::EntryKind::Link) {
                // A link goes up as the file it points to, only when that is inside the folder.
                const QString target = platform::realPath(path);
                st = platform::stampOf(path, platform::Links::Follow);
                if (target.isEmpty() || !target.startsWith(root + QLatin1Char('/')) || !st) {
                    scan.skipped << name + QStringLiteral(" (a link leading outside the folder)");
                    continue;
                }
                if (st->kind == platform::EntryKind::Directory) {
                    scan.skipped << name + QStringLiteral(" (a link to a folder)");
                    continue;
                }
            }
            const bool folder = st->kind == platform::EntryKind::Directory;
            if (!folder && st->kind != platform::EntryKind::Regular) {
                scan.skipped << name + QStringLiteral(" (not a regular file)");
                continue;
            }
            const QString shownName = folder ? name + QLatin1Char('/') : name;
            if (matchesPatterns(shownName, exclude)) {
                scan.skipped << shownName + QStringLiteral(" (excluded)");
                continue;
            }
            const QString why = defaultSkip(name, folder);
            if (!why.isEmpty() && (why == QLatin1String("Qadora's own") || !matchesPatterns(shownName, include))) {
                scan.skipped << shownName + QStringLiteral(" (") + why + QLatin1Char(')');
                continue;
            }
            if (folder) {
                walk(path, name + QLatin1Char('/'));
                continue;
            }
            // Sent, it would be left out of the record at every later publish: sent again each
            // time, never removed.
            if (const QString problem = remoteNameProblem(name.toUtf8()); !problem.isEmpty()) {
                scan.problems << name + QStringLiteral(" (cannot be published: ") + problem + QLatin1Char(')');
                continue;
            }
            const QByteArray stamp = QByteArray::number(st->size) + ' ' + timeText(st->modified) + ' '
                + timeText(st->changed) + ' ' + QByteArray::number(quint64(st->identity));
            scan.files.append({name, path, stamp});
        }
    }
};

} // namespace

bool isRacyStamp(const QByteArray& stamp, std::pair<qint64, qint64> scan)
{
    // "size mtime ctime inode", times as seconds.nanoseconds
    const QList<QByteArray> fields = stamp.split(' ');
    if (fields.size() < 3)
        return true;
    for (int i : {1, 2}) {
        const QList<QByteArray> parts = fields[i].split('.');
        bool okSeconds = false;
        bool okNanos = false;
        const qint64 seconds = parts.value(0).toLongLong(&okSeconds);
        const qint64 nanos = parts.value(1).toLongLong(&okNanos);
        if (!okSeconds || !okNanos)
            return true;
        const bool before = nanos == 0 ? seconds < scan.first : std::pair(seconds, nanos) < scan;
        if (!before)
            return true;
    }
    return false;
}

HashCache::HashCache(const QString& dir)
{
    // The coarse clock is the one file times are taken from: a file changed after this moment
    // never gets an earlier time.
    const qint64 now = platform::fileClockNow();
    m_scan = {secondsOf(now), now - secondsOf(now) * kNanoseconds};
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash((canonical.isEmpty() ? dir : canonical).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    m_path = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/qadora/publish/")
        + QString::fromLatin1(key) + QStringLiteral(".txt");
    QFile file(m_path);
    QByteArray bytes;
    // A cache larger than any site's is not ours; it is rebuilt.
    if (!file.open(QIODevice::ReadOnly) || readAtMost(file, qint64(256) << 20, &bytes) != WholeRead::Ok)
        return;
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 3 && f[0].isEmpty()) // no file has an empty name
            m_recordedScan = {f[1].toLongLong(), f[2].toLongLong()};
        else if (f.size() == 3 && f[2].size() == 64)
            m_entries.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(f[0])), {f[1], f[2]});
    }
}

QByteArray HashCache::hash(const LocalFile& file) const
{
    const auto it = m_entries.constFind(file.name);
    return it != m_entries.cend() && it->first == file.stamp && !isRacyStamp(it->first, m_recordedScan) ? it->second
                                                                                                        : QByteArray();
}

void HashCache::remember(const LocalFile& file, const QByteArray& hash)
{
    const auto it = m_entries.constFind(file.name);
    // A racy entry read again is saved with this scan's time, so that it need not be read a
    // third time.
    if (it == m_entries.cend() || it->first != file.stamp || it->second != hash || isRacyStamp(it->first, m_recordedScan))
        m_changed = true;
    m_now.insert(file.name, {file.stamp, hash});
}

void HashCache::save()
{
    if (!m_changed && m_now.size() == m_entries.size())
        return;
    // The first line, with no name, is the scan's time.
    QByteArray bytes = '\t' + QByteArray::number(m_scan.first) + '\t' + QByteArray::number(m_scan.second) + '\n';
    for (auto it = m_now.cbegin(); it != m_now.cend(); ++it)
        bytes += it.key().toUtf8().toPercentEncoding("/") + '\t' + it->first + '\t' + it->second + '\n';
    QString error;
    QDir().mkpath(QFileInfo(m_path).path());
    replaceFile(m_path, bytes, &error); // only a cache: without it the files are read again
}

LocalScan scanLocalFolder(const QString& dir, const QStringList& include, const QStringList& exclude)
{
    Walker walker;
    const QString real = platform::realPath(dir);
    walker.root = real.isEmpty() ? dir : real;
    walker.include = include;
    walker.exclude = exclude;
    walker.walk(walker.root, QString());
    return walker.scan;
}

} // namespace qadora
