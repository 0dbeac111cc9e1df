// SPDX-License-Identifier: GPL-3.0-or-later
// Reads one sheet of an Excel (.xlsx, .xlsm) or LibreOffice (.ods) workbook as the texts its
// cells show: shared and inline strings, numbers as displayed, dates as yyyy/MM/dd, line
// breaks inside cells kept (as LF). A cell inside a merged range takes the range's value, so
// that a category merged down over its rows applies to each of them. Macros are not run or
// read: a workbook is data only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace qadora::workbook {

enum class Format { None, Xlsx, Ods, Protected };

// What the bytes are: a workbook by its contents (a zip with the parts of one), a
// password-protected workbook (Office keeps those in an OLE container), or none.
Format formatOf(const QByteArray& bytes);

struct SheetCell {
    int column = 0; // from 0 for column A
    QString text;
};

struct SheetRow {
    int number = 0;         // the spreadsheet's own row number, from 1
    QList<SheetCell> cells; // the cells with text, by column
};

struct Sheet {
    QString error;       // why the workbook cannot be read; empty when it can
    QStringList names;   // every sheet of the workbook, in its order
    QString name;        // the sheet read
    QList<SheetRow> rows; // the rows that have a cell with text, in order
};

// The sheet named `sheet`, or the first when it is empty.
Sheet readSheet(const QByteArray& bytes, const QString& sheet = QString());

} // namespace qadora::workbook
