// SPDX-License-Identifier: GPL-3.0-or-later
// Reads records from a CSV or TSV file, or from a sheet of an Excel or LibreOffice workbook,
// for adding them to a database: which rows can be taken, with their numbers, and why each
// other row cannot. Nothing is written here.
#pragma once

#include "csvformat.h"
#include "store/recordstore.h"

#include <QHash>
#include <QSet>

#include <optional>

namespace qadora::workbook {
struct Sheet;
}

namespace qadora::csv {

// What a database already holds that an import must not repeat.
struct ExistingRecords {
    QHash<QString, qint64> questions; // each question with the lowest number that has it
    QSet<qint64> numbers;
    qint64 highestGiven = 0;          // no number above it was ever given
    QSet<QString> pageNames;          // the sub-index names of its kinds
    QHash<QString, QString> titlePages; // each kind title with the first page name it has
};
StoreStatus readExisting(const QString& database, ExistingRecords* out);

// The columns a file may have, and how a header cell names them.
enum Column { NoColumn, KindColumn, QuestColumn, AnserColumn, ColumnCount };
inline constexpr int kIgnored = -1;
// The column a header cell names (番号/No/ID, 種類/カテゴリ/kind, 質問/Q/quest, 回答/答え/A/anser
// …, in any case and width), or kIgnored.
int columnNamed(const QString& cell);

struct ImportOptions {
    std::optional<Encoding> encoding; // none: a BOM says UTF-8, else the bytes are looked at
    Separator separator = Separator::Comma; // the other one is taken when only it reads the header
    QString sheet{};                  // a workbook's sheet by name; empty: the first
    // The column of each cell of the header row `headerLine`, chosen by hand; empty: by the
    // names of the first row among the first 10 that names the columns.
    QList<int> columns{};
    int headerLine = 0;
    // A category without a half-width comma becomes the kind's title, with a page name given
    // here or proposed (sub010, sub020 … in the order the categories first appear); when
    // off, such a row is refused.
    bool pageNames = false;
    QHash<QString, QString> chosenPageNames{}; // category → page name, as edited
    bool lineBreakMarks = false;      // "<br>" before each line break of an answer, not doubled
    QString indexName = QStringLiteral("index.html"); // the site's index page: no kind's page may replace it
};

struct ImportProblem {
    int line = 0; // where the row starts in the file, or the sheet's row number, from 1
    QString reason;
    QString cause; // the kind of refusal, shared by the rows it groups
    bool operator==(const ImportProblem&) const = default;
};

// A category of the file without a comma, and the page its kind will have.
struct Category {
    QString title;
    QString pageName;
    int rows = 0;
    bool operator==(const Category&) const = default;
};

struct ImportPlan {
    QString fatal;         // why the file cannot be taken at all; empty when it can
    Encoding encoding = Encoding::ShiftJis;
    bool utf16 = false;    // the file is UTF-16 with a BOM, read as UTF-8
    bool workbook = false; // an Excel or LibreOffice workbook
    QStringList sheets;    // a workbook's sheets
    QString sheet;         // the sheet read
    Separator separator = Separator::Comma;
    int headerLine = 0;    // the row of the header
    QStringList skipped;   // the rows above the header, as "line：text"
    QStringList headerCells;
    QList<int> columns;    // the column of each header cell (kIgnored when not used)
    bool numbered = false; // the file has a No column
    int rows = 0;          // rows of records read (the header and empty rows not counted)
    QList<Category> categories; // in the order they first appear
    ChangeSet additions;   // the records to add, in the file's order, each with its number
    QList<int> additionLines;   // the row of each addition
    QList<ImportProblem> problems; // every row that cannot be taken, in the file's order
};

// Rows without a number, or with an empty one, are numbered as added records are: above every
// number the database ever gave and every number of the file. A row is refused when it is
// damaged, its kind has no half-width comma (unless page names are given) or names a page the
// site cannot have, its question is empty or already in the database or in a row taken before
// it, a text is too long for its column, or its number is not a positive 32-bit number or is
// taken. The header is the first of the first 10 rows that names the kind, question and answer
// columns; the rows above it are skipped.
ImportPlan planImport(const QByteArray& bytes, const ImportOptions& options, const ExistingRecords& existing);

// Whether planImport takes `bytes` for a workbook: one, or a zip archive that is none.
bool isWorkbookFile(const QByteArray& bytes);

// The same for a workbook's sheet already read (workbook::readSheet), so that a preview plans
// again without reading the workbook again; `options.sheet` is not looked at.
ImportPlan planSheetImport(const workbook::Sheet& sheet, const ImportOptions& options, const ExistingRecords& existing);

// The bytes of an import file; only a regular file of at most 256 MiB is read. False with the reason.
bool readImportFile(const QString& path, QByteArray* bytes, QString* error);

} // namespace qadora::csv
