// SPDX-License-Identifier: GPL-3.0-or-later
#include "dblist.h"

#include "site/cp932.h"
#include "site/pagefile.h"

#include <QFile>

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

bool readListFile(const QString& path, QStringList* items)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *items = parseListItems(cp932::decode(file.readAll()));
    return true;
}

QByteArray listFileBytes(const QStringList& lines)
{
    QStringList quoted;
    quoted.reserve(lines.size());
    for (const QString& line : lines)
        quoted << QLatin1Char('"') + line + QLatin1Char('"');
    return encodeLines(quoted);
}

bool writeListFile(const QString& path, const QStringList& lines, QString* error)
{
    return replaceFile(path, listFileBytes(lines), error);
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
