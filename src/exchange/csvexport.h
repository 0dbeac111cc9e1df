// SPDX-License-Identifier: GPL-3.0-or-later
// Writes every record of a database into a CSV or TSV file that spreadsheets open.
#pragma once

#include "csvformat.h"

#include <QString>

#include <functional>

namespace qadora::csv {

struct ExportOptions {
    Encoding encoding = Encoding::ShiftJis;
    Separator separator = Separator::Comma;
    bool workbook = false;       // an Excel workbook (.xlsx) instead; the encoding does not apply
    bool japaneseHeader = false; // 番号・種類・質問・答え instead of No,kind,quest,anser
};

inline const QStringList kJapaneseColumns = {QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"),
                                             QStringLiteral("答え")};
// True for a name ending in ".xlsx" (any case).
bool isWorkbookName(const QString& fileName);

struct ExportResult {
    bool ok = false;
    int records = 0;      // records written
    QString message;      // why nothing was written, ready to show
    bool notInEncoding = false; // a character has no code in the chosen encoding (Shift_JIS)
    bool cancelled = false;
};

// Told how many records are made so far; false stops the export (nothing is written).
using ExportTick = std::function<bool(int done)>;

// All records in store order, from one snapshot of the database. The file is replaced
// atomically (a link is followed); on any failure it is left as it was. A character the
// encoding cannot hold stops the export, naming the character and its record: a text is
// never written otherwise than as it is.
ExportResult exportRecords(const QString& database, const QString& file, const ExportOptions& options,
                           const ExportTick& tick = {});

} // namespace qadora::csv
