// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of an import, from a CSV or TSV file or from a sheet, as texts; the header that
// names their columns, and the checks every cell gets.
#pragma once

#include "csvimport.h"
#include "workbook/workbookreader.h"

#include <limits>

namespace qadora::csv::detail {

constexpr qint64 kHighestNumber = std::numeric_limits<qint32>::max();
constexpr int kHeaderRows = 10;

// One row of a file or a sheet, its cells as text.
struct TextRow {
    int line = 0;
    QStringList cells;
    QList<int> undecodable; // cells whose bytes are not text in the file's encoding
    QString damage;
    bool textBeyond = false; // a sheet's row has text in a column past those given
};

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual bool next(TextRow& row) = 0;
    virtual qsizetype rowsHint() const { return 0; } // how many rows there are, when known
    // Only the first `columns` cells of the rows after are looked at.
    virtual void keepColumns(int columns) { Q_UNUSED(columns); }
};

class CsvRows : public RowSource {
public:
    CsvRows(const QByteArray& bytes, Separator separator, Encoding encoding)
        : m_reader(bytes, separator)
        , m_encoding(encoding)
    {
    }
    bool next(TextRow& row) override
    {
        if (m_reader.atEnd())
            return false;
        const RawRow raw = m_reader.next();
        row.line = raw.line;
        row.damage = raw.damage;
        row.cells.clear();
        row.undecodable.clear();
        row.cells.reserve(raw.fields.size());
        for (const QByteArray& field : raw.fields) {
            QString text;
            if (!decodeCell(field, m_encoding, text))
                row.undecodable << int(row.cells.size());
            row.cells << text;
        }
        return true;
    }

private:
    RowReader m_reader;
    Encoding m_encoding;
};

class SheetRows : public RowSource {
public:
    explicit SheetRows(const workbook::Sheet& sheet)
        : m_sheet(sheet)
    {
    }
    qsizetype rowsHint() const override { return m_sheet.rows.size(); }
    void keepColumns(int columns) override { m_columns = columns; }
    // From column A: a sheet keeps only its cells with text. A cell far to the right (XFD) of
    // every row costs nothing once the header is known.
    bool next(TextRow& row) override
    {
        if (m_at >= m_sheet.rows.size())
            return false;
        const workbook::SheetRow& r = m_sheet.rows[m_at++];
        row.line = r.number;
        row.cells.clear();
        qsizetype given = 0;
        while (given < r.cells.size() && r.cells[given].column < m_columns)
            ++given;
        row.textBeyond = given < r.cells.size();
        if (given > 0)
            row.cells.resize(r.cells[given - 1].column + 1);
        for (qsizetype i = 0; i < given; ++i)
            row.cells[r.cells[i].column] = r.cells[i].text;
        return true;
    }

private:
    const workbook::Sheet& m_sheet;
    qsizetype m_at = 0;
    int m_columns = std::numeric_limits<int>::max();
};

struct Header {
    QString problem;
    int width = 0;
    int index[ColumnCount] = {-1, -1, -1, -1}; // cell of each column, -1 when absent
    QList<int> columns;                         // column of each cell
};

Header readHeader(const TextRow& row, const QList<int>& chosen);
bool blank(const TextRow& row);
// A number as typed in a spreadsheet: decimal digits, spaces around allowed; 0 when it is not one.
qint64 numberIn(const QString& cell);
// Where a text holds a control character that no cell of a table holds (NUL, ESC …: other
// tools cut the text there), or -1. Tab and line breaks are text.
int controlAt(const QString& text);
QString encodingName(Encoding encoding);

} // namespace qadora::csv::detail
