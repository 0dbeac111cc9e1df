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

    // Empty when the cell was written, else why not (a text longer than Excel holds).
    QString addRow(const QStringList& cells);
    // Writes the file; empty when it was written, else why not.
    QString close();

    static constexpr int kMaxCellLength = 32767; // Excel's limit, in UTF-16 units

private:
    struct State;
    std::unique_ptr<State> m;
};

} // namespace qadora::workbook
