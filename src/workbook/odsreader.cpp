// SPDX-License-Identifier: GPL-3.0-or-later
// LibreOffice's spreadsheets (.ods): a table's cells with their repeats and spans.
#include "sheetgrid.h"

#include <QDate>

namespace qadora::workbook {

namespace {

// Spaces a sheet's <text:s c="…"/> may stand for, all together: a few bytes of the file for
// a thousand characters, over and over, would take all memory.
constexpr qint64 kMaxSpaces = qint64(1) << 24;

// The text of an ODF paragraph: spans and links read through, <text:s> as its spaces, tabs
// and line breaks as themselves; notes and annotations left out. `spaces` counts those of
// <text:s>.
void readParagraph(QXmlStreamReader& xml, QString& text, qint64& spaces)
{
    int depth = 1;
    while (depth > 0 && xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isStartElement()) {
            const QStringView n = xml.name();
            if (n == QLatin1String("s")) {
                const int c = std::clamp(attribute(xml.attributes(), QLatin1String("c")).toInt(), 1, 1024);
                spaces += c;
                if (spaces > kMaxSpaces)
                    return;
                text += QString(c, u' ');
            } else if (n == QLatin1String("tab")) {
                text += u'\t';
            } else if (n == QLatin1String("line-break")) {
                text += u'\n';
            } else if (n == QLatin1String("note") || n == QLatin1String("annotation") || n == QLatin1String("ruby-text")) {
                xml.skipCurrentElement();
                continue;
            }
            ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
}

// How many times a row or a cell repeats: LibreOffice writes the sheet's empty remainder as
// one row or cell repeated to the last row or column. A count no integer holds is more than
// any sheet has.
qint64 repeats(QStringView count)
{
    bool ok = false;
    const qint64 n = count.toLongLong(&ok);
    if (!ok)
        return !count.isEmpty() && std::all_of(count.begin(), count.end(), [](QChar c) { return c.isDigit(); }) ? qint64(1) << 40 : 1;
    return std::clamp(n, qint64(1), qint64(1) << 40);
}

// The names of the tables into `sheet`, the cells of the one wanted into `grid`; why the
// sheet cannot be read, or nothing. Empty rows and cells cost nothing however often they
// repeat; those with text are counted out, within the sheet's rows, columns and cells.
QString readTables(QXmlStreamReader& xml, const QString& wanted, Sheet& sheet, Grid& grid)
{
    int tableDepth = 0;
    qint64 spaces = 0;
    bool reading = false;
    int row = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("table") && tableDepth > 0) {
            --tableDepth;
            reading = false;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QStringView n = xml.name();
        if (n == QLatin1String("table")) {
            ++tableDepth;
            const QString name = attribute(xml.attributes(), QLatin1String("name")).toString();
            sheet.names << name;
            if (!reading && sheet.name.isEmpty() && tableDepth == 1 && (wanted.isEmpty() || wanted == name)) {
                sheet.name = name;
                reading = true;
                row = 0;
            }
        } else if (reading && n == QLatin1String("table-row")) {
            const qint64 repeat = repeats(attribute(xml.attributes(), QLatin1String("number-rows-repeated")));
            const int first = row + 1;
            QList<SheetCell> cells;
            qint64 column = 0;
            while (xml.readNext() != QXmlStreamReader::Invalid && !(xml.isEndElement() && xml.name() == QLatin1String("table-row"))) {
                if (!xml.isStartElement())
                    continue;
                const QStringView cn = xml.name();
                if (cn != QLatin1String("table-cell") && cn != QLatin1String("covered-table-cell")) {
                    xml.skipCurrentElement();
                    continue;
                }
                const auto a = xml.attributes();
                const qint64 columns = repeats(attribute(a, QLatin1String("number-columns-repeated")));
                const int spanColumns = attribute(a, QLatin1String("number-columns-spanned")).toInt();
                const int spanRows = attribute(a, QLatin1String("number-rows-spanned")).toInt();
                const QStringView type = attribute(a, QLatin1String("value-type"));
                QString date = type == QLatin1String("date") ? attribute(a, QLatin1String("date-value")).toString() : QString();
                QString text;
                bool firstParagraph = true;
                while (xml.readNext() != QXmlStreamReader::Invalid && !xml.isEndElement()) {
                    if (!xml.isStartElement())
                        continue;
                    if (xml.name() == QLatin1String("p")) {
                        if (!firstParagraph)
                            text += u'\n';
                        firstParagraph = false;
                        readParagraph(xml, text, spaces);
                        if (spaces > kMaxSpaces)
                            return partMessage(ZipReader::Read::TooLarge, QStringLiteral("content.xml"));
                    } else {
                        xml.skipCurrentElement(); // an annotation, a drawing
                    }
                }
                if (!date.isEmpty()) {
                    const QDate d = QDate::fromString(date.left(10), Qt::ISODate);
                    if (d.isValid())
                        text = d.toString(QStringLiteral("yyyy/MM/dd"));
                }
                if (!text.isEmpty()) {
                    if (column + columns > kMaxColumn)
                        return kDamaged + QStringLiteral("（%1 行目の列が多すぎます）").arg(first);
                    for (qint64 i = 0; i < columns; ++i)
                        cells.append({int(column + i), text});
                }
                if (column < kMaxColumn && (spanColumns > 1 || spanRows > 1))
                    grid.merge({first, int(column), first + std::max(spanRows, 1) - 1, int(column) + std::max(spanColumns, 1) - 1});
                column = std::min(column + columns, qint64(kMaxColumn));
            }
            if (!cells.isEmpty()) {
                if (first + repeat - 1 > kMaxRow)
                    return kDamaged + QStringLiteral("（%1 行目より後に行があります）").arg(kMaxRow);
                if (!grid.addRows(first, repeat, cells))
                    return tooManyCellsMessage(sheet.name);
            }
            row = int(std::min(row + repeat, qint64(kMaxRow)));
        }
    }
    return QString();
}

} // namespace

Sheet readOds(const ZipReader& zip, const QString& wanted)
{
    Sheet sheet;
    Grid grid;
    if (!parsePart(zip, QStringLiteral("content.xml"), true, &sheet.error, [&](QXmlStreamReader& xml) {
            return readTables(xml, wanted, sheet, grid);
        }))
        return sheet;
    if (sheet.names.isEmpty()) {
        sheet.error = kDamaged + QStringLiteral("（シートがありません）");
        return sheet;
    }
    if (sheet.name.isEmpty()) {
        sheet.error = QStringLiteral("シート「%1」がありません（このブックのシート：%2）").arg(wanted, sheet.names.join(QStringLiteral("、")));
        return sheet;
    }
    return grid.finish(std::move(sheet));
}

} // namespace qadora::workbook
