// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheetgrid.h"

#include <QRegularExpression>

namespace qadora::workbook {

Sheet Grid::finish(Sheet sheet)
{
    QMap<int, QMap<int, QString>>& filled = rows;
    for (const Range& m : merges) {
        const QString value = rows.value(m.top).value(m.left);
        if (value.isEmpty())
            continue;
        // Only rows that have a text of their own: a merged cell alone makes no record.
        for (auto it = filled.lowerBound(m.top); it != filled.end() && it.key() <= m.bottom; ++it) {
            for (int c = m.left; c <= m.right; ++c)
                it->insert(c, value);
        }
    }
    sheet.rows.reserve(filled.size());
    for (auto it = filled.cbegin(); it != filled.cend(); ++it) {
        SheetRow row;
        row.number = it.key();
        const int width = it->lastKey() + 1;
        row.cells.resize(width);
        for (auto c = it->cbegin(); c != it->cend(); ++c)
            row.cells[c.key()] = c.value();
        sheet.rows.append(std::move(row));
    }
    rows.clear();
    return sheet;
}

QString partMessage(ZipReader::Read read, const QString& part)
{
    switch (read) {
    case ZipReader::Read::Encrypted:
        return QStringLiteral("パスワードで保護されたブックは読み込めません");
    case ZipReader::Read::TooLarge:
        return QStringLiteral("ブックの中身（%1）が大きすぎるため読み込めません").arg(part);
    case ZipReader::Read::Missing:
        return kDamaged + QStringLiteral("（%1 がありません）").arg(part);
    default:
        return kDamaged + QStringLiteral("（%1）").arg(part);
    }
}

QString xmlProblem(const QXmlStreamReader& xml, const QString& part)
{
    return kDamaged + QStringLiteral("（%1 の %2 行目：%3）").arg(part).arg(xml.lineNumber()).arg(xml.errorString());
}

QStringView attribute(const QXmlStreamAttributes& attributes, QLatin1String name)
{
    for (const QXmlStreamAttribute& a : attributes) {
        if (a.name() == name)
            return a.value();
    }
    return {};
}


QString unescapeOoxml(const QString& text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    static const QRegularExpression escaped(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype from = 0;
    for (auto it = escaped.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

// "AB12" → column 27 (from 0) and row 12; false when it is no cell reference.
bool parseReference(QStringView ref, int* column, int* row)
{
    int c = 0;
    qsizetype i = 0;
    while (i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z' && c <= kMaxColumn)
        c = c * 26 + (ref[i++].unicode() - u'A' + 1);
    int r = 0;
    const qsizetype digits = i;
    while (i < ref.size() && ref[i].isDigit() && r <= kMaxRow)
        r = r * 10 + (ref[i++].unicode() - u'0');
    if (i != ref.size() || c == 0 || c > kMaxColumn || (row && (i == digits || r == 0 || r > kMaxRow)))
        return false;
    *column = c - 1;
    if (row)
        *row = r;
    return true;
}

} // namespace qadora::workbook
