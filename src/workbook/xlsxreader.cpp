// SPDX-License-Identifier: GPL-3.0-or-later
// Excel's workbooks (.xlsx, .xlsm): the sheet's cells with their shared strings and number
// styles.
#include "sheetgrid.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace qadora::workbook {

namespace {

// 1234567.5 → "1,234,567.50" for `decimals` 2.
QString grouped(double v, int decimals)
{
    QString text = QString::number(std::fabs(v), 'f', decimals);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    for (qsizetype i = (point < 0 ? text.size() : point) - 3; i > 0; i -= 3)
        text.insert(i, QLatin1Char(','));
    return v < 0 && text.contains(QRegularExpression(QStringLiteral("[1-9]"))) ? QLatin1Char('-') + text : text;
}


// How a number style shows a value.
struct NumberStyle {
    enum Kind { General, Date, Time, DateTime, Fixed, Text } kind = General;
    int decimals = 0;
    bool grouped = false;
    bool percent = false;
};

NumberStyle styleOfCode(QString code)
{
    // Quoted text, escaped characters and [colour] or [$-411] sections say nothing of the kind.
    static const QRegularExpression noise(QStringLiteral("\"[^\"]*\"|\\\\.|\\[[^\\]]*\\]|_.|\\*."));
    code = code.section(QLatin1Char(';'), 0, 0).remove(noise);
    NumberStyle s;
    if (code == QLatin1String("@"))
        s.kind = NumberStyle::Text;
    const QString lower = code.toLower();
    const bool date = lower.contains(QLatin1Char('y')) || lower.contains(QLatin1Char('d')) || lower.contains(QLatin1Char('e'))
        || lower.contains(QLatin1Char('g'));
    const bool time = lower.contains(QLatin1Char('h')) || lower.contains(QLatin1Char('s'));
    if (date || time) {
        s.kind = date && time ? NumberStyle::DateTime : date ? NumberStyle::Date : NumberStyle::Time;
        if (lower.contains(QLatin1String("general")))
            s.kind = NumberStyle::General;
        return s;
    }
    static const QRegularExpression fixed(QStringLiteral("^([#0,]*)(?:\\.(0+))?(%?)$"));
    if (const auto m = fixed.match(code); m.hasMatch() && !code.isEmpty()) {
        s.kind = NumberStyle::Fixed;
        s.grouped = m.captured(1).contains(QLatin1Char(','));
        s.decimals = int(m.captured(2).size());
        s.percent = !m.captured(3).isEmpty();
    }
    return s;
}

NumberStyle builtinStyle(int id)
{
    static const QHash<int, QString> codes{
        {1, "0"}, {2, "0.00"}, {3, "#,##0"}, {4, "#,##0.00"}, {9, "0%"}, {10, "0.00%"}, {14, "yyyy/m/d"},
        {15, "d-mmm-yy"}, {16, "d-mmm"}, {17, "mmm-yy"}, {18, "h:mm AM/PM"}, {19, "h:mm:ss AM/PM"}, {20, "h:mm"},
        {21, "h:mm:ss"}, {22, "yyyy/m/d h:mm"}, {37, "#,##0"}, {38, "#,##0"}, {39, "#,##0.00"}, {40, "#,##0.00"},
        {45, "mm:ss"}, {46, "[h]:mm:ss"}, {47, "mm:ss.0"}, {49, "@"},
    };
    if (id >= 27 && id <= 36)
        return styleOfCode(QStringLiteral("yyyy/m/d")); // the Japanese era and year formats
    if (id >= 50 && id <= 58)
        return styleOfCode(QStringLiteral("yyyy/m/d"));
    return styleOfCode(codes.value(id));
}

QString showNumber(const QString& value, const NumberStyle& style, bool date1904)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return value;
    const auto day = [&] {
        // Serial day 60 is Excel's 1900-02-29, which never was; days before it count from 12/31.
        const QDate base = date1904 ? QDate(1904, 1, 1) : v < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
        return base.addDays(qint64(std::floor(v)));
    };
    const auto clock = [&](bool seconds) {
        const qint64 s = qint64(std::llround((v - std::floor(v)) * 86400.0)) % 86400;
        return seconds ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
                       : QStringLiteral("%1:%2").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
    };
    switch (style.kind) {
    case NumberStyle::Date:
        return day().toString(QStringLiteral("yyyy/MM/dd"));
    case NumberStyle::DateTime:
        return day().toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(' ') + clock(false);
    case NumberStyle::Time:
        return clock(true).endsWith(QLatin1String(":00")) ? clock(false) : clock(true);
    case NumberStyle::Fixed: {
        const double shown = style.percent ? v * 100 : v;
        QString text = style.grouped ? grouped(shown, style.decimals) : QString::number(shown, 'f', style.decimals);
        return style.percent ? text + QLatin1Char('%') : text;
    }
    case NumberStyle::Text:
        return value;
    case NumberStyle::General:
        break;
    }
    // As Excel shows a number in a general cell: up to 15 significant digits, no trailing zeros.
    QString text = QString::number(v, 'g', 15);
    if (text.contains(QLatin1Char('e')))
        text = text.toUpper().replace(QLatin1String("E+0"), QLatin1String("E+")).replace(QLatin1String("E-0"), QLatin1String("E-"));
    return text;
}

// The text of a string item (<si> or <is>): its runs, without the phonetic guide (<rPh>).
QString readStringItem(QXmlStreamReader& xml)
{
    QString text;
    int depth = 1;
    int phonetic = 0;
    while (depth > 0 && xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("t") && phonetic == 0) {
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                continue; // read to its end
            }
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            ++depth;
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            --depth;
        }
    }
    return unescapeOoxml(text);
}

// A path inside the archive for a relationship's target, from the workbook's folder.
QString partPath(const QString& target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    QStringList parts = QStringLiteral("xl").split(QLatin1Char('/'));
    for (const QString& p : target.split(QLatin1Char('/'))) {
        if (p == QLatin1String(".."))
            parts.removeLast();
        else if (!p.isEmpty() && p != QLatin1String("."))
            parts << p;
    }
    return parts.join(QLatin1Char('/'));
}

} // namespace

Sheet readXlsx(const ZipReader& zip, const QString& wanted)
{
    Sheet sheet;

    // The sheets, in order, and where each is kept.
    QHash<QString, QString> targets;
    QString sharedPart = QStringLiteral("xl/sharedStrings.xml");
    QString stylesPart = QStringLiteral("xl/styles.xml");
    if (!parsePart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), true, &sheet.error, [&](QXmlStreamReader& xml) {
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("Relationship"))
                    continue;
                const auto a = xml.attributes();
                const QString target = partPath(a.value(QLatin1String("Target")).toString());
                targets.insert(a.value(QLatin1String("Id")).toString(), target);
                const QStringView type = a.value(QLatin1String("Type"));
                if (type.endsWith(QLatin1String("/sharedStrings")))
                    sharedPart = target;
                else if (type.endsWith(QLatin1String("/styles")))
                    stylesPart = target;
            }
            return QString();
        }))
        return sheet;
    QString sheetPart;
    bool date1904 = false;
    if (!parsePart(zip, QStringLiteral("xl/workbook.xml"), true, &sheet.error, [&](QXmlStreamReader& xml) {
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                const auto a = xml.attributes();
                if (xml.name() == QLatin1String("workbookPr")) {
                    const QStringView d = a.value(QLatin1String("date1904"));
                    date1904 = d == QLatin1String("1") || d == QLatin1String("true");
                } else if (xml.name() == QLatin1String("sheet")) {
                    const QString name = a.value(QLatin1String("name")).toString();
                    const QString id = attribute(a, QLatin1String("id")).toString();
                    sheet.names << name;
                    if (sheetPart.isEmpty() && (wanted.isEmpty() || wanted == name)) {
                        sheet.name = name;
                        sheetPart = targets.value(id);
                    }
                }
            }
            return QString();
        }))
        return sheet;
    if (sheet.names.isEmpty()) {
        sheet.error = kDamaged + QStringLiteral("（シートがありません）");
        return sheet;
    }
    if (sheet.name.isEmpty() && sheetPart.isEmpty()) {
        sheet.error = QStringLiteral("シート「%1」がありません（このブックのシート：%2）").arg(wanted, sheet.names.join(QStringLiteral("、")));
        return sheet;
    }
    if (sheetPart.isEmpty()) {
        sheet.error = kDamaged + QStringLiteral("（シート「%1」の場所がありません）").arg(sheet.name);
        return sheet;
    }

    // Number styles by cell style index.
    QList<NumberStyle> styles;
    if (!parsePart(zip, stylesPart, false, &sheet.error, [&](QXmlStreamReader& xml) {
            QHash<int, NumberStyle> custom;
            bool inCellXfs = false;
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
                    inCellXfs = false;
                if (!xml.isStartElement())
                    continue;
                const auto a = xml.attributes();
                if (xml.name() == QLatin1String("numFmt"))
                    custom.insert(a.value(QLatin1String("numFmtId")).toInt(), styleOfCode(a.value(QLatin1String("formatCode")).toString()));
                else if (xml.name() == QLatin1String("cellXfs"))
                    inCellXfs = true;
                else if (inCellXfs && xml.name() == QLatin1String("xf")) {
                    const int id = a.value(QLatin1String("numFmtId")).toInt();
                    styles << (custom.contains(id) ? custom.value(id) : builtinStyle(id));
                }
            }
            return QString();
        }))
        return sheet;

    QStringList shared;
    if (!parsePart(zip, sharedPart, false, &sheet.error, [&](QXmlStreamReader& xml) {
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement) {
                    if (xml.name() == QLatin1String("sst"))
                        shared.reserve(std::min(xml.attributes().value(QLatin1String("uniqueCount")).toInt(), 1 << 22));
                    else if (xml.name() == QLatin1String("si"))
                        shared << readStringItem(xml);
                }
            }
            return QString();
        }))
        return sheet;

    Grid grid;
    const auto readCells = [&](QXmlStreamReader& xml) {
        int row = 0;
        int column = -1;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = xml.name();
            if (name == QLatin1String("row")) {
                const int r = xml.attributes().value(QLatin1String("r")).toInt();
                row = r > 0 ? r : row + 1;
                column = -1;
            } else if (name == QLatin1String("c")) {
                const QXmlStreamAttributes a = xml.attributes();
                int c = column + 1;
                int r = row;
                if (const QStringView ref = a.value(QLatin1String("r")); !ref.isEmpty() && !parseReference(ref, &c, &r))
                    return kDamaged + QStringLiteral("（セル %1）").arg(ref.toString());
                if (c >= kMaxColumn) // cells without a reference counted past the last column
                    return kDamaged + QStringLiteral("（%1 行目の列が多すぎます）").arg(r);
                column = c;
                const QStringView type = a.value(QLatin1String("t"));
                QString value;
                bool haveValue = false;
                while (xml.readNext() != QXmlStreamReader::Invalid && !(xml.isEndElement() && xml.name() == QLatin1String("c"))) {
                    if (!xml.isStartElement())
                        continue;
                    if (xml.name() == QLatin1String("v")) {
                        value = xml.readElementText();
                        haveValue = true;
                    } else if (xml.name() == QLatin1String("is")) {
                        value = readStringItem(xml);
                        haveValue = true;
                    } else {
                        xml.skipCurrentElement(); // a formula: its cached value is what the cell shows
                    }
                }
                if (!haveValue)
                    continue;
                QString shown;
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int index = value.toInt(&ok);
                    if (!ok || index < 0 || index >= shared.size())
                        return kDamaged + QStringLiteral("（セルの文字列 %1 がありません）").arg(value);
                    shown = shared[index];
                } else if (type == QLatin1String("inlineStr") || type == QLatin1String("e")) {
                    shown = value;
                } else if (type == QLatin1String("str")) {
                    shown = unescapeOoxml(value);
                } else if (type == QLatin1String("b")) {
                    shown = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                } else if (type == QLatin1String("d")) {
                    const QDate d = QDate::fromString(value.left(10), Qt::ISODate);
                    shown = d.isValid() ? d.toString(QStringLiteral("yyyy/MM/dd")) : value;
                } else {
                    const int s = a.value(QLatin1String("s")).toInt();
                    shown = showNumber(value, s >= 0 && s < styles.size() ? styles[s] : NumberStyle{}, date1904);
                }
                if (!grid.set(r, c, shown))
                    return tooManyCellsMessage(sheet.name);
            } else if (name == QLatin1String("mergeCell")) {
                const QStringList corners = xml.attributes().value(QLatin1String("ref")).toString().split(QLatin1Char(':'));
                Grid::Range m{};
                if (corners.size() == 2 && parseReference(corners[0], &m.left, &m.top)
                    && parseReference(corners[1], &m.right, &m.bottom) && m.top <= m.bottom && m.left <= m.right)
                    grid.merge(m);
            }
        }
        return QString();
    };
    if (!parsePart(zip, sheetPart, true, &sheet.error, readCells))
        return sheet;
    return grid.finish(std::move(sheet));
}

} // namespace qadora::workbook
