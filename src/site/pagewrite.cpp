// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the site's files: temporary files, atomic replacement, the run's page folder.
#include "pagefile.h"

#include "platform/platform.h"

#include <QDir>
#include <QRandomGenerator>

#include <cstring>

namespace qadora {

namespace {

// ".qadora-" + 12 letters or digits + ".tmp": short, so that any name the file system takes
// can be written, and distinct enough that a leftover is recognised as ours.
constexpr char kTempPrefix[] = ".qadora-";
constexpr char kTempSuffix[] = ".tmp";
constexpr int kTempRandomLength = 12;
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// A fresh temporary name: 12 letters or digits from one random draw per 10.
QByteArray temporaryName()
{
    QByteArray name(kTempPrefix);
    constexpr quint64 base = sizeof kAlphabet - 1;
    quint64 r = QRandomGenerator::global()->generate64();
    for (int i = 0; i < kTempRandomLength; ++i) {
        if (i == 10)
            r = QRandomGenerator::global()->generate64();
        name += kAlphabet[r % base];
        r /= base;
    }
    name += kTempSuffix;
    return name;
}

bool isTemporaryName(const QString& name)
{
    const qsizetype prefix = qsizetype(sizeof kTempPrefix) - 1;
    const qsizetype suffix = qsizetype(sizeof kTempSuffix) - 1;
    if (name.size() != prefix + kTempRandomLength + suffix || !name.startsWith(QLatin1String(kTempPrefix))
        || !name.endsWith(QLatin1String(kTempSuffix)))
        return false;
    for (qsizetype i = prefix; i < prefix + kTempRandomLength; ++i) {
        if (name[i].unicode() > 0x7F || !std::strchr(kAlphabet, char(name[i].unicode())))
            return false;
    }
    return true;
}

// Removes a folder of temporary files: the files no writer holds, then the folder if that
// leaves it empty (a run still writing there keeps it).
void removeScratch(const QString& path)
{
    platform::Folder scratch;
    if (!scratch.open(path))
        return;
    if (const auto entries = scratch.entries()) {
        for (const platform::FolderEntry& e : *entries) {
            if (isTemporaryName(e.name))
                scratch.removeIfUnheld(e.name);
        }
    }
    scratch.close();
    QDir().rmdir(path);
}

// The failures a user can mend in their words, as the database's messages say them; the
// system's own text otherwise.
QString errorText(const platform::Error& error)
{
    switch (error.failure) {
    case platform::Failure::NoSpace:
        return QStringLiteral("ディスクに空きがありません");
    case platform::Failure::ReadOnly:
        return QStringLiteral("読み取り専用のため、書き込めません");
    case platform::Failure::Denied:
        return QStringLiteral("書き込みが許可されていません");
    case platform::Failure::Missing:
        return QStringLiteral("フォルダがありません");
    case platform::Failure::NameTooLong:
        return QStringLiteral("ファイル名が長すぎます");
    case platform::Failure::IsFolder:
        return QStringLiteral("同じ名前のフォルダがあります");
    default:
        return error.text;
    }
}

QString directoryOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString withSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// Where a file is written: names relative to `folder` (open, or closed with `prefix` the
// folder's path), and whether each temporary file is locked on its own.
// Writers and cleaners agree thus: a run that holds the folder's shared lock does not lock its
// temporary files; any other writer locks each one until it has its name; a cleaner removes
// temporary files only while it holds the folder's exclusive lock, and only those it can lock.
struct Place {
    const platform::Folder& folder;
    QString prefix;
    bool lockEach = true;
    QString scratch = QString(); // a folder of the place's own for temporary files ("" for none), a path
    QString scratchName = QString(); // the same as a name of the place
};

// A new temporary file of the place, open for writing (and locked, when the place says so).
bool createTemporary(const Place& place, platform::NewFile* temp, QString* error)
{
    platform::Error failure;
    const QString in = place.scratch.isEmpty() ? place.prefix : place.prefix + place.scratchName + QLatin1Char('/');
    bool remade = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        failure = temp->create(place.folder, in + QLatin1String(temporaryName()), place.lockEach);
        if (!failure)
            return true;
        // A run that began meanwhile took the scratch folder for a killed run's: made again.
        if (failure.failure == platform::Failure::Missing && !place.scratch.isEmpty() && !remade) {
            remade = true;
            if (QDir().mkdir(place.scratch))
                continue;
        }
        if (failure.failure != platform::Failure::Exists)
            break;
    }
    *error = errorText(failure);
    return false;
}

bool abandon(platform::NewFile& temp, const platform::Error& failure, QString* error)
{
    temp.discard();
    *error = errorText(failure);
    return false;
}

// Something at `target` that may be replaced: nothing, a regular file or a link.
bool replaceable(platform::EntryKind kind)
{
    return kind == platform::EntryKind::Regular || kind == platform::EntryKind::Link;
}

const QString& notRegularMessage()
{
    static const QString message = QStringLiteral("通常のファイルではないため置き換えられません");
    return message;
}

// Gives the written temporary file its name and closes it.
bool rename(platform::NewFile& temp, const QString& target, QString* error)
{
    if (const platform::Error failure = temp.rename(target))
        return abandon(temp, failure, error);
    if (const platform::Error failure = temp.close()) {
        *error = errorText(failure);
        return false;
    }
    return true;
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error, LinkPolicy links)
{
    QString target = path;
    platform::EntryKind existing = platform::EntryKind::Missing;
    if (links == LinkPolicy::FollowLink) {
        if (const QString real = platform::realPath(target); !real.isEmpty())
            target = real;
        existing = platform::entryKind(target, platform::Links::Follow);
    } else {
        existing = platform::entryKind(target, platform::Links::NotFollowed);
    }
    const bool exists = existing != platform::EntryKind::Missing;
    if (exists && !replaceable(existing)) {
        *error = notRegularMessage();
        return false;
    }
    const platform::Folder cwd;
    const Place place{cwd, withSlash(directoryOf(target)), true};
    platform::NewFile temp;
    if (!createTemporary(place, &temp, error))
        return false;
    const bool userFile = links == LinkPolicy::FollowLink; // the user's own file, not a page
    if (exists && userFile)
        temp.takeAccessOf(target);
    if (const platform::Error failure = temp.write(bytes))
        return abandon(temp, failure, error);
    if (userFile) {
        if (const platform::Error failure = temp.sync())
            return abandon(temp, failure, error);
    }
    return rename(temp, target, error);
}

namespace {

// A temporary file of the place holding `bytes`, still open; none is left on failure.
bool writeTemporary(const Place& place, const QByteArray& bytes, platform::NewFile* temp, QString* error)
{
    if (!createTemporary(place, temp, error))
        return false;
    if (const platform::Error failure = temp->write(bytes))
        return abandon(*temp, failure, error);
    return true;
}

// False, and why, when something at `target` is not a file that may be replaced.
bool mayReplace(const Place& place, const QString& target, QString* error)
{
    const platform::EntryKind kind = place.folder.kindOf(target);
    if (kind != platform::EntryKind::Missing && !replaceable(kind)) {
        *error = notRegularMessage();
        return false;
    }
    return true;
}

// A page at `target` of the place: left alone when it holds `bytes`, else replaced.
PageWrite writeAt(const Place& place, const QString& target, const QByteArray& bytes, QString* error)
{
    if (place.folder.holds(target, bytes))
        return PageWrite::Unchanged;
    if (!mayReplace(place, target, error))
        return PageWrite::Failed;
    platform::NewFile temp;
    if (!writeTemporary(place, bytes, &temp, error))
        return PageWrite::Failed;
    return rename(temp, target, error) ? PageWrite::Written : PageWrite::Failed;
}

// A page at `target`, a name the folder did not hold when the run began: written and named
// without replacing anything (as a file without a name, then linked, where the system can). Should a file have come meanwhile, it is treated as writeAt() does.
PageWrite writeNew(const Place& place, const QString& target, const QByteArray& bytes, NewNames* ways,
                   QString* error)
{
    if (ways->unnamed && ways->noReplace) {
        platform::NewFile file;
        platform::Error failure = file.createUnnamed(place.folder);
        if (!failure)
            failure = file.write(bytes);
        if (!failure)
            failure = file.rename(target, true);
        if (!failure) {
            if (const platform::Error closing = file.close()) {
                *error = errorText(closing);
                return PageWrite::Failed;
            }
            return PageWrite::Written;
        }
        file.discard();
        if (failure.failure == platform::Failure::Unsupported)
            ways->unnamed = false;
        // Anything else (a file come meanwhile, a full disk) is met, and told, as below.
    }
    std::atomic<bool>* const noReplace = &ways->noReplace;
    platform::NewFile temp;
    if (!writeTemporary(place, bytes, &temp, error))
        return PageWrite::Failed;
    if (*noReplace) {
        const platform::Error failure = temp.rename(target, true);
        if (!failure) {
            if (const platform::Error closing = temp.close()) {
                *error = errorText(closing);
                return PageWrite::Failed;
            }
            return PageWrite::Written;
        }
        if (failure.failure == platform::Failure::Unsupported)
            *noReplace = false; // this file system cannot; the check below does for it
        else if (failure.failure != platform::Failure::Exists) {
            abandon(temp, failure, error);
            return PageWrite::Failed;
        }
    }
    if (place.folder.holds(target, bytes)) {
        temp.discard();
        return PageWrite::Unchanged;
    }
    if (!mayReplace(place, target, error)) {
        temp.discard();
        return PageWrite::Failed;
    }
    return rename(temp, target, error) ? PageWrite::Written : PageWrite::Failed;
}

} // namespace

PageWrite writePage(const QString& path, const QByteArray& bytes, QString* error)
{
    const platform::Folder cwd;
    const Place place{cwd, withSlash(directoryOf(path)), true};
    return writeAt(place, path, bytes, error);
}

PageFolder::PageFolder(const QString& dir, Guard guard)
    : m_prefix(withSlash(dir))
{
    if (!m_folder.open(m_prefix))
        return; // writing will say why
    // Cleaning needs the folder to itself: while another run writes here, its files stay.
    const bool clean = m_folder.tryLock(platform::Folder::Lock::Exclusive);
    if (const auto entries = m_folder.entries()) {
        m_listed = true;
        for (const platform::FolderEntry& e : *entries) {
            if (isTemporaryName(e.name)) {
                if (!clean)
                    continue;
                if (m_folder.kindOf(e.name) == platform::EntryKind::Directory)
                    removeScratch(m_prefix + e.name);
                else
                    m_folder.removeIfUnheld(e.name);
            } else {
                m_present.insert(e.name);
            }
        }
    }
    // Where each name a folder does not hold is looked for by reading the folder, a temporary
    // file beside thousands of pages costs a read of them all: they are made in a small folder
    // of the run's own, removed when the run ends (and by the next run, should it be killed).
    if (platform::missingNamesReadFolder() && m_listed) {
        const QString name = QString::fromLatin1(temporaryName());
        if (QDir().mkdir(m_prefix + name)) {
            m_scratchName = name;
            m_scratch = m_prefix + name;
        }
    }
    // A shared lock, taken without waiting: a folder locked by someone else, or one on a file
    // system without locks, is written with a lock on each temporary file instead.
    if (guard == Guard::PerRun && m_folder.tryLock(platform::Folder::Lock::Shared)) {
        m_prefix.clear();
        return;
    }
    m_folder.close();
}

PageFolder::~PageFolder()
{
    if (!m_scratch.isEmpty())
        removeScratch(m_scratch);
}

PageWrite PageFolder::write(const QString& name, const QByteArray& bytes, QString* error)
{
    const Place place{m_folder, m_prefix, !m_folder.isOpen(), m_scratch, m_scratchName};
    const QString target = m_prefix + name;
    if (m_listed && !m_present.contains(name))
        return writeNew(place, target, bytes, &m_ways, error);
    return writeAt(place, target, bytes, error);
}

} // namespace qadora
