// SPDX-License-Identifier: GPL-3.0-or-later
#include "backupnames.h"

#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace qadora {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH-mm-ss-zzz");
const QString kNote = QStringLiteral("database.txt");

// Bytes kept of a database's name in the names of backups. A file name may have 255 bytes; a
// backup's adds the time, its number, its reason and, while it is made, ".partial-journal".
constexpr int kNameBytes = 150;
constexpr int kSuffixBytes = 20;

struct Tag {
    BackupReason reason;
    const char* tag;
    const char16_t* text;
};
constexpr Tag kTags[] = {
    {BackupReason::FirstChange, "first-change", u"最初の変更前"},
    {BackupReason::Import, "import", u"取り込み前"},
    {BackupReason::KindRename, "kind-rename", u"種類の変更前"},
    {BackupReason::Restore, "restore", u"復元前"},
};

// The longest start of `text` of at most `bytes` bytes in UTF-8, never half a character.
QString shortened(const QString& text, int bytes)
{
    if (text.toUtf8().size() <= bytes)
        return text;
    QString kept;
    int used = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, n);
        used += int(one.toUtf8().size());
        if (used > bytes)
            break;
        kept += one;
        i += n;
    }
    return kept;
}

QString backupsRoot()
{
    return platform::dataFolder() + QStringLiteral("/backups");
}

QString keyOf(const QString& canonical)
{
    return QString::fromLatin1(QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

// The start and end of the names of backups of a database named `fileName`: as written now
// (shortened) and as written before names were shortened.
struct NameForms {
    QStringList stems;
    QStringList suffixes;
};

NameForms formsOf(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString shortSuffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + shortened(info.suffix(), kSuffixBytes);
    NameForms forms{{info.completeBaseName(), shortened(info.completeBaseName(), kNameBytes)}, {suffix, shortSuffix}};
    forms.stems.removeDuplicates();
    forms.suffixes.removeDuplicates();
    return forms;
}

std::optional<BackupName> parse(const QFileInfo& file, const NameForms& forms)
{
    static const QRegularExpression rest(QStringLiteral(
        "^ (\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d-\\d{3})(?: \\((\\d{1,6})\\))?(?: #(\\d{1,15}) ([a-z-]+))?$"));
    const QString name = file.fileName();
    for (const QString& stem : forms.stems) {
        for (const QString& suffix : forms.suffixes) {
            if (!name.startsWith(stem) || !name.endsWith(suffix) || name.size() < stem.size() + suffix.size())
                continue;
            const QRegularExpressionMatch m = rest.match(name.mid(stem.size(), name.size() - stem.size() - suffix.size()));
            if (!m.hasMatch())
                continue;
            BackupName backup{file.absoluteFilePath(), QDateTime::fromString(m.captured(1), kTimeFormat),
                              m.captured(3).toLongLong(), m.captured(2).toInt(), BackupReason::Unknown};
            if (!backup.made.isValid())
                continue;
            if (m.hasCaptured(4)) {
                const auto* tag = std::find_if(std::begin(kTags), std::end(kTags),
                                               [&](const Tag& t) { return m.captured(4) == QLatin1String(t.tag); });
                if (tag == std::end(kTags))
                    continue;
                backup.reason = tag->reason;
            }
            return backup;
        }
    }
    return std::nullopt;
}

void collect(const QString& folder, const QString& fileName, QList<BackupName>* into)
{
    const NameForms forms = formsOf(fileName);
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (const std::optional<BackupName> backup = parse(f, forms))
            into->append(*backup);
    }
}

// The database a folder holds backups of, as its note says.
QString noteOf(const QString& folder)
{
    QFile note(folder + QLatin1Char('/') + kNote);
    if (!note.open(QIODevice::ReadOnly))
        return {};
    QString line = QString::fromUtf8(note.readLine(8192));
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    return line;
}

} // namespace

QString backupReasonText(BackupReason reason)
{
    for (const Tag& t : kTags) {
        if (t.reason == reason)
            return QString::fromUtf16(t.text);
    }
    return {};
}

bool newerThan(const BackupName& a, const BackupName& b)
{
    if (a.sequence != b.sequence)
        return a.sequence > b.sequence;
    if (a.made != b.made)
        return a.made > b.made;
    return a.duplicate > b.duplicate;
}

QString canonicalDatabasePath(const QString& database)
{
    // Links resolved, and on Windows the letter case the disk keeps: every spelling one folder.
    const QFileInfo info(database);
    if (const QString canonical = platform::realPath(database); !canonical.isEmpty())
        return canonical;
    // Not there (yet): its folder's real path.
    if (const QString folder = platform::realPath(info.absolutePath()); !folder.isEmpty())
        return folder + QLatin1Char('/') + info.fileName();
    return QDir::cleanPath(info.absoluteFilePath());
}

QString backupFolderFor(const QString& database)
{
    const QString canonical = canonicalDatabasePath(database);
    return backupsRoot() + QLatin1Char('/') + shortened(QFileInfo(canonical).fileName(), kNameBytes) + QLatin1Char('-')
        + keyOf(canonical);
}

QString newBackupPath(const QString& folder, const QString& database, const QList<BackupName>& existing,
                      BackupReason reason)
{
    const QFileInfo info(canonicalDatabasePath(database));
    qint64 number = 1;
    for (const BackupName& b : existing)
        number = std::max(number, b.sequence + 1);
    const auto* tag = std::find_if(std::begin(kTags), std::end(kTags), [&](const Tag& t) { return t.reason == reason; });
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + shortened(info.suffix(), kSuffixBytes);
    const QString stem = folder + QLatin1Char('/') + shortened(info.completeBaseName(), kNameBytes) + QLatin1Char(' ')
        + QDateTime::currentDateTime().toString(kTimeFormat);
    const QLatin1String tagText(tag == std::end(kTags) ? kTags[0].tag : tag->tag);
    for (;; ++number) {
        const QString path = stem + QStringLiteral(" #%1 ").arg(number) + tagText + suffix;
        if (!QFileInfo::exists(path))
            return path;
    }
}

QList<BackupName> backupNamesOf(const QString& database)
{
    const QString canonical = canonicalDatabasePath(database);
    const QString own = backupFolderFor(database);
    QList<BackupName> names;
    collect(own, QFileInfo(canonical).fileName(), &names);
    // Folders made for another spelling: a link to the database, or the same path from before
    // names were shortened. Their notes say which database they are for.
    for (const QFileInfo& folder : QDir(backupsRoot()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (folder.absoluteFilePath() == own)
            continue;
        const QString noted = noteOf(folder.absoluteFilePath());
        if (!noted.isEmpty() && canonicalDatabasePath(noted) == canonical)
            collect(folder.absoluteFilePath(), QFileInfo(noted).fileName(), &names);
    }
    std::sort(names.begin(), names.end(), newerThan);
    return names;
}

} // namespace qadora
