// SPDX-License-Identifier: GPL-3.0-or-later
// What the Excel and LibreOffice readers share: the cells of a sheet as they are read, cell
// references, and the reasons a workbook cannot be read.
#pragma once

#include "workbookreader.h"
#include "zipreader.h"

#include <QMap>
#include <QXmlStreamReader>

namespace qadora::workbook {

// A part of a workbook that inflates beyond this is no sheet of records.
constexpr qint64 kPartLimit = qint64(768) << 20;
// Rows and columns of the largest sheet either program makes.
constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

inline const QString kDamaged = QStringLiteral("ブックが壊れているため読み込めません");

// The cells of a sheet by row number, then column (from 0), with the merged ranges to fill.
struct Grid {
    QMap<int, QMap<int, QString>> rows;
    struct Range {
        int top, left, bottom, right;
    };
    QList<Range> merges;

    void set(int row, int column, const QString& text)
    {
        if (!text.isEmpty())
            rows[row][column] = text;
    }
    Sheet finish(Sheet sheet);
};

QString partMessage(ZipReader::Read read, const QString& part);
QString xmlProblem(const QXmlStreamReader& xml, const QString& part);
// An attribute by its local name, whatever prefix the file gives its namespace.
QStringView attribute(const QXmlStreamAttributes& attributes, QLatin1String name);
// OOXML writes characters XML cannot hold as _xHHHH_.
QString unescapeOoxml(const QString& text);
// "AB12" → column 27 (from 0) and row 12; false when it is no cell reference.
bool parseReference(QStringView ref, int* column, int* row);

Sheet readXlsx(const ZipReader& zip, const QString& wanted);
Sheet readOds(const ZipReader& zip, const QString& wanted);

} // namespace qadora::workbook
