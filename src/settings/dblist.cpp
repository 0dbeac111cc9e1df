// SPDX-License-Identifier: GPL-3.0-or-later
#include "dblist.h"
#include "store/wholefile.h"

#include "site/cp932.h"
#include "site/pagefile.h"

#include <QFile>
#include <QFileInfo>

namespace qadora {

QStringList parseListItems(const QString& text)
{
    QStringList items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto isLineEnd = [&](qsizetype k) { return text[k] == QLatin1Char('\r') || text[k] == QLatin1Char('\n'); };
    // Consumes one delimiter: a comma, or a line end (CR LF counts once).
    auto skipDelimiter = [&]() {
        if (i >= n)
            return;
        if (text[i] == QLatin1Char(',')) {
            ++i;
        } else if (text[i] == QLatin1Char('\r')) {
            ++i;
            if (i < n && text[i] == QLatin1Char('\n'))
                ++i;
        } else if (text[i] == QLatin1Char('\n')) {
            ++i;
        }
    };
    while (i < n) {
        while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
            ++i;
        if (i >= n)
            break;
        if (text[i] == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? n : close;
            items << text.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            // Anything between the closing quote and the delimiter is dropped.
            while (i < n && text[i] != QLatin1Char(',') && !isLineEnd(i))
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != QLatin1Char(',') && !isLineEnd(i))
                ++i;
            // Like the leading blanks skipped above, trailing ones belong to no item; an
            // ideographic space does (it is text).
            qsizetype end = i;
            while (end > start && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
                --end;
            items << text.mid(start, end - start);
        }
        skipDelimiter();
    }
    return items;
}

ListFileContents readListFile(const QString& path)
{
    ListFileContents contents;
    const QFileInfo info(path);
    contents.exists = !path.isEmpty() && (info.exists() || info.isSymLink());
    contents.regular = info.isFile();
    if (!contents.regular)
        return contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    // A list holds some paths; a file of more is not one (and /proc files never end).
    if (readAtMost(file, qint64(16) << 20, &contents.bytes) != WholeRead::Ok)
        return contents;
    contents.readable = true;
    contents.items = parseListItems(cp932::decode(contents.bytes, &contents.clean));
    return contents;
}

QByteArray listFileBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += '"';
        cp932::encodeInto(bytes, line);
        bytes += "\"\r\n";
    }
    return bytes;
}

bool writeListFile(const QString& path, const QStringList& lines, QString* error)
{
    return replaceFile(path, listFileBytes(lines), error, LinkPolicy::FollowLink);
}

QString unwritableCharacterMessage(const QString& text)
{
    const qint64 c = cp932::firstWithoutCode(text);
    if (c < 0)
        return QString();
    return cp932::describeCharacter(char32_t(c)) + QStringLiteral("はShift_JISで書けない文字のため、登録できません")
        + QLatin1Char('\r') + text;
}

QString entryText(const QString& title, const QString& database, const QString& address, const QString& label,
                  const QString& directory)
{
    return QStringList{title, database, address, label, directory}.join(QLatin1Char(','));
}

DbEntry splitEntry(const QString& line)
{
    DbEntry e;
    // Takes the text before the first comma of `rest` into `field`; false when there is none.
    auto take = [](QString& rest, QString& field) {
        const qsizetype comma = rest.indexOf(QLatin1Char(','));
        if (comma < 0)
            return false;
        field = rest.left(comma);
        rest = rest.mid(comma + 1);
        return true;
    };
    QString rest = line;
    if (!take(rest, e.title))
        return e;
    if (!take(rest, e.database)) {
        e.database = rest;
        e.shape = DbEntry::TitleAndDatabase;
        return e;
    }
    e.shape = DbEntry::Full;
    if (!take(rest, e.address)) {
        e.address.clear(); // a third field alone is dropped
        return e;
    }
    if (!take(rest, e.label)) {
        e.label = rest;
        return e;
    }
    e.directory = rest;
    return e;
}

} // namespace qadora
