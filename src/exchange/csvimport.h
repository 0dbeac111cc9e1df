// SPDX-License-Identifier: GPL-3.0-or-later
// Reads records from a CSV or TSV file for adding them to a database: which rows can be
// taken, with their numbers, and why each other row cannot. Nothing is written here.
#pragma once

#include "csvformat.h"
#include "store/recordstore.h"

#include <QHash>
#include <QSet>

#include <optional>

namespace qadora::csv {

// What a database already holds that an import must not repeat.
struct ExistingRecords {
    QHash<QString, qint64> questions; // each question with the lowest number that has it
    QSet<qint64> numbers;
    qint64 highestGiven = 0;          // no number above it was ever given
};
StoreStatus readExisting(const QString& database, ExistingRecords* out);

struct ImportOptions {
    std::optional<Encoding> encoding; // none: a BOM says UTF-8, else the bytes are looked at
    Separator separator = Separator::Comma; // the other one is taken when only it reads the header
};

struct ImportProblem {
    int line = 0; // where the row starts in the file, from 1
    QString reason;
    bool operator==(const ImportProblem&) const = default;
};

struct ImportPlan {
    QString fatal;         // why the file cannot be taken at all; empty when it can
    Encoding encoding = Encoding::ShiftJis;
    bool utf16 = false;    // the file is UTF-16 with a BOM, read as UTF-8
    Separator separator = Separator::Comma;
    bool numbered = false; // the file has a No column
    int rows = 0;          // rows of records read (the header and empty rows not counted)
    ChangeSet additions;   // the records to add, in the file's order, each with its number
    QList<ImportProblem> problems; // every row that cannot be taken, in the file's order
};

// Rows without a number, or with an empty one, are numbered as added records are: above every
// number the database ever gave and every number of the file. A row is refused when it is
// damaged, its kind has no half-width comma, its question is empty or already in the
// database or in a row taken before it, a text is too long for its column, or its number is
// not a positive 32-bit number or is taken.
ImportPlan planImport(const QByteArray& bytes, const ImportOptions& options, const ExistingRecords& existing);

// The bytes of an import file; only a regular file of at most 256 MiB is read. False with the reason.
bool readImportFile(const QString& path, QByteArray* bytes, QString* error);

} // namespace qadora::csv
