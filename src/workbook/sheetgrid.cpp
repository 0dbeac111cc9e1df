// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheetgrid.h"

#include <algorithm>

namespace qadora::workbook {

namespace {

// The cell of `column` in cells kept by column: where it is, or where it would go.
qsizetype cellAt(const QList<SheetCell>& cells, int column)
{
    return std::lower_bound(cells.cbegin(), cells.cend(), column, [](const SheetCell& c, int k) { return c.column < k; })
        - cells.cbegin();
}

QList<SheetRow>::iterator rowAt(QList<SheetRow>& rows, int number)
{
    return std::lower_bound(rows.begin(), rows.end(), number, [](const SheetRow& r, int k) { return r.number < k; });
}

} // namespace

bool Grid::count(qint64 cells)
{
    m_cells += cells;
    return m_cells <= kMaxCells;
}

bool Grid::set(int row, int column, const QString& text)
{
    if (text.isEmpty())
        return true;
    if (!count(1))
        return false;
    if (m_rows.isEmpty() || m_rows.last().number != row) {
        if (!m_rows.isEmpty() && row < m_rows.last().number)
            m_inOrder = false;
        m_rows.append(SheetRow{row, {}});
    }
    QList<SheetCell>& cells = m_rows.last().cells;
    if (!cells.isEmpty() && column <= cells.last().column)
        m_inOrder = false;
    cells.append({column, text});
    return true;
}

bool Grid::addRows(int row, qint64 repeat, const QList<SheetCell>& cells)
{
    if (cells.isEmpty())
        return true;
    // Counted before a row is kept: a row of text repeated down the whole sheet is refused at once.
    if (!count(repeat * cells.size()))
        return false;
    if (!m_rows.isEmpty() && row <= m_rows.last().number)
        m_inOrder = false;
    for (qint64 i = 0; i < repeat; ++i)
        m_rows.append(SheetRow{int(row + i), cells});
    return true;
}

// Rows by number, cells by column; a row or a cell given twice keeps what came last.
void Grid::putInOrder()
{
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const SheetRow& a, const SheetRow& b) { return a.number < b.number; });
    QList<SheetRow> rows;
    rows.reserve(m_rows.size());
    for (SheetRow& row : m_rows) {
        if (!rows.isEmpty() && rows.last().number == row.number)
            rows.last().cells += row.cells;
        else
            rows.append(std::move(row));
    }
    for (SheetRow& row : rows) {
        QList<SheetCell>& cells = row.cells;
        std::stable_sort(cells.begin(), cells.end(), [](const SheetCell& a, const SheetCell& b) { return a.column < b.column; });
        qsizetype kept = 0;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (kept > 0 && cells[kept - 1].column == cells[i].column)
                cells[kept - 1] = cells[i];
            else
                cells[kept++] = cells[i];
        }
        cells.resize(kept);
    }
    m_rows = std::move(rows);
    m_inOrder = true;
}

// Copies the range's corner into the cells of the range in rows that have a text of their
// own, up to `lastColumn`; false when that makes the sheet too large.
bool Grid::fill(const Range& m, int lastColumn)
{
    const int right = std::min(m.right, lastColumn);
    const auto top = rowAt(m_rows, m.top);
    if (right < m.left || top == m_rows.end() || top->number != m.top)
        return true;
    const qsizetype corner = cellAt(top->cells, m.left);
    if (corner == top->cells.size() || top->cells[corner].column != m.left)
        return true;
    const QString value = top->cells[corner].text;
    const int width = right - m.left + 1;
    for (auto row = top; row != m_rows.end() && row->number <= m.bottom; ++row) {
        const QList<SheetCell>& cells = row->cells;
        const qsizetype from = cellAt(cells, m.left);
        const qsizetype to = cellAt(cells, right + 1);
        // Ranges of a sound sheet do not overlap: all their cells together are no more than the
        // sheet's. Those of a hostile one may, over and over; each fill is counted as a cell.
        const qsizetype added = width - (to - from);
        if (!count(width + added))
            return false;
        QList<SheetCell> filled;
        filled.reserve(cells.size() + added);
        for (qsizetype i = 0; i < from; ++i)
            filled.append(cells[i]);
        for (int c = m.left; c <= right; ++c)
            filled.append({c, value});
        for (qsizetype i = to; i < cells.size(); ++i)
            filled.append(cells[i]);
        row->cells = std::move(filled);
    }
    return true;
}

Sheet Grid::finish(Sheet sheet)
{
    if (!m_inOrder)
        putInOrder();
    // A range is copied only into rows that have a text of their own, and only up to the
    // sheet's last column with a text of its own: a range over a whole row or column (A1:XFD1,
    // A1:A1048576) costs no more than the cells there are.
    int lastColumn = -1;
    for (const SheetRow& row : m_rows) {
        if (!row.cells.isEmpty())
            lastColumn = std::max(lastColumn, row.cells.last().column);
    }
    for (const Range& m : m_merges) {
        if (!fill(m, lastColumn)) {
            m_rows = {};
            sheet.error = tooManyCellsMessage(sheet.name);
            return sheet;
        }
    }
    sheet.rows = std::move(m_rows);
    m_rows = {};
    return sheet;
}

QString tooManyCellsMessage(const QString& sheet)
{
    return QStringLiteral("シート「%1」は文字の入ったセルが多すぎるため読み込めません（繰り返しと結合を数えて %2 個まで）")
        .arg(sheet)
        .arg(kMaxCells);
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
    qsizetype at = text.indexOf(QLatin1String("_x"));
    if (at < 0)
        return text;
    const auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= u'0' && u <= u'9' ? u - u'0' : u >= u'a' && u <= u'f' ? u - u'a' + 10 : u >= u'A' && u <= u'F' ? u - u'A' + 10 : -1;
    };
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    while (at >= 0 && at + 7 <= text.size()) {
        int value = 0;
        bool escaped = text[at + 6] == u'_';
        for (int i = 2; escaped && i < 6; ++i) {
            const int digit = hex(text[at + i]);
            escaped = digit >= 0;
            value = value * 16 + digit;
        }
        if (escaped) {
            out += QStringView(text).mid(from, at - from);
            out += QChar(char16_t(value));
            from = at + 7;
        }
        at = text.indexOf(QLatin1String("_x"), escaped ? at + 7 : at + 1);
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
