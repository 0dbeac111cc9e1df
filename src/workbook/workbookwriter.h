// SPDX-License-Identifier: GPL-3.0-or-later
// Writes rows of text into an Excel workbook (.xlsx) through libxlsxwriter: every cell a text
// (never a formula or a number), wrapped, under a frozen bold header row, with column widths
// that fit the texts.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace qadora::workbook {

class XlsxWriter {
public:
    // A workbook at `path` (a file of the writer's own; it is replaced) with one sheet.
    XlsxWriter(const QString& path, const QString& sheetName, const QStringList& header);
    ~XlsxWriter();
    XlsxWriter(const XlsxWriter&) = delete;
    XlsxWriter& operator=(const XlsxWriter&) = delete;

    // Empty when the row was written, else why not, with the cell in `column`: a character XML
    // cannot hold (a control character other than tab and line breaks, U+FFFE, U+FFFF, half
    // of a surrogate pair) or a text longer than Excel holds. Every cell is checked before
    // any is written. A text that reads as one of the escapes workbooks write for characters
    // ("_x0041_") is written so that it reads back as itself.
    QString addRow(const QStringList& cells, int* column = nullptr);
    // Writes the file; empty when it was written, else why not.
    QString close();

    static constexpr int kMaxCellLength = 32767; // Excel's limit, in UTF-16 units

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace qadora::workbook
