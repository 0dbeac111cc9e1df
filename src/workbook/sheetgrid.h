// SPDX-License-Identifier: GPL-3.0-or-later
// What the Excel and LibreOffice readers share: the cells of a sheet as they are read, cell
// references, and the reasons a workbook cannot be read.
#pragma once

#include "workbookreader.h"
#include "zipreader.h"

#include <QXmlStreamReader>

namespace qadora::workbook {

// A part of a workbook that inflates beyond this is no sheet of records.
constexpr qint64 kPartLimit = qint64(768) << 20;
// Rows and columns of the largest sheet either program makes.
constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;
// Cells with text a sheet may hold once its repeats and merged ranges are counted out: every
// row of the largest sheet with a whole record (number, kind, question, answer). A sheet of
// records has no more; a file whose repeats make more is refused, never read in part.
constexpr qint64 kMaxCells = qint64(kMaxRow) * 4;

inline const QString kDamaged = QStringLiteral("ブックが壊れているため読み込めません");
QString tooManyCellsMessage(const QString& sheet);

// The cells of a sheet as they are read, with the merged ranges to fill. Both programs write
// rows and cells in order; those of a file that does not are put in order once it is read.
class Grid {
public:
    struct Range {
        int top, left, bottom, right;
    };
    // False, with nothing kept, once the sheet would hold more than kMaxCells cells with text.
    bool set(int row, int column, const QString& text);
    // A row whose cells are known at once, `repeat` times from `row`; the rows share them.
    bool addRows(int row, qint64 repeat, const QList<SheetCell>& cells);
    void merge(const Range& range) { m_merges << range; }
    // The sheet with its merged ranges filled in, or its error when they make too many cells.
    Sheet finish(Sheet sheet);

private:
    bool count(qint64 cells);
    void putInOrder();
    bool fill(const Range& range, int lastColumn);
    QList<SheetRow> m_rows;
    QList<Range> m_merges;
    qint64 m_cells = 0;
    bool m_inOrder = true;
};

QString partMessage(ZipReader::Read read, const QString& part);
QString xmlProblem(const QXmlStreamReader& xml, const QString& part);
// An attribute by its local name, whatever prefix the file gives its namespace.
QStringView attribute(const QXmlStreamAttributes& attributes, QLatin1String name);
// OOXML writes characters XML cannot hold as _xHHHH_.
QString unescapeOoxml(const QString& text);
// "AB12" → column 27 (from 0) and row 12; false when it is no cell reference.
bool parseReference(QStringView ref, int* column, int* row);

// Reads one part as it inflates; `parse` returns why its XML cannot be taken, or nothing.
// False with the reason in `error`; a missing or empty part that is not required is read as empty.
template<typename Parse>
bool parsePart(const ZipReader& zip, const QString& part, bool required, QString* error, Parse&& parse)
{
    ZipMember member(zip, part, kPartLimit);
    if (member.status() == ZipReader::Read::Missing && !required)
        return true;
    if (member.status() != ZipReader::Read::Ok) {
        *error = partMessage(member.status(), part);
        return false;
    }
    QXmlStreamReader xml(&member);
    *error = parse(xml);
    // An empty part that is not required says nothing, as a missing one.
    const bool empty = xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && xml.characterOffset() == 0;
    if (member.status() != ZipReader::Read::Ok)
        *error = partMessage(member.status(), part);
    else if (error->isEmpty() && xml.hasError() && !(empty && !required))
        *error = xmlProblem(xml, part);
    return error->isEmpty();
}

Sheet readXlsx(const ZipReader& zip, const QString& wanted);
Sheet readOds(const ZipReader& zip, const QString& wanted);

} // namespace qadora::workbook
