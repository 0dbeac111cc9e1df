// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvimport.h"

#include "editing/linebreaks.h"
#include "kindpages.h"
#include "store/kindstring.h"
#include "store/wholefile.h"
#include "workbook/workbookreader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>
#include <memory>

namespace qadora::csv {

namespace {

constexpr qint64 kHighestNumber = std::numeric_limits<qint32>::max();
constexpr qint64 kMaxImportBytes = qint64(256) << 20;
constexpr int kHeaderRows = 10;

const QString kColumnNames[] = {QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"), QStringLiteral("回答")};

// One row of a file or a sheet, its cells as text.
struct TextRow {
    int line = 0;
    QStringList cells;
    QList<int> undecodable; // cells whose bytes are not text in the file's encoding
    QString damage;
};

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual bool next(TextRow& row) = 0;
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
    bool next(TextRow& row) override
    {
        if (m_at >= m_sheet.rows.size())
            return false;
        const workbook::SheetRow& r = m_sheet.rows[m_at++];
        row.line = r.number;
        row.cells = r.cells;
        return true;
    }

private:
    const workbook::Sheet& m_sheet;
    qsizetype m_at = 0;
};

struct Header {
    QString problem;
    int width = 0;
    int index[ColumnCount] = {-1, -1, -1, -1}; // cell of each column, -1 when absent
    QList<int> columns;                         // column of each cell
};

Header readHeader(const TextRow& row, const QList<int>& chosen)
{
    Header h;
    h.width = int(row.cells.size());
    for (int i = 0; i < h.width; ++i) {
        const QString& cell = row.cells[i];
        // No name is that long; a file that is no table may have a cell of gigabytes.
        int c = kIgnored;
        if (!chosen.isEmpty())
            c = i < chosen.size() ? chosen[i] : kIgnored;
        else if (cell.size() <= 64 && !row.undecodable.contains(i))
            c = columnNamed(cell);
        if (c != kIgnored && h.index[c] >= 0) {
            if (chosen.isEmpty() && h.problem.isEmpty())
                h.problem = QStringLiteral("%1 行目の見出しに%2の列が二つあります").arg(row.line).arg(kColumnNames[c]);
            c = kIgnored;
        }
        if (c != kIgnored)
            h.index[c] = i;
        h.columns << c;
    }
    if (h.problem.isEmpty() && (h.index[KindColumn] < 0 || h.index[QuestColumn] < 0 || h.index[AnserColumn] < 0))
        h.problem = QStringLiteral("見出しに種類・質問・回答の列がありません");
    return h;
}

bool blank(const TextRow& row)
{
    for (const QString& f : row.cells) {
        if (!f.isEmpty())
            return false;
    }
    return row.damage.isEmpty();
}

// A number as typed in a spreadsheet: decimal digits, spaces around allowed; 0 when it is not one.
qint64 numberIn(const QString& cell)
{
    const QString digits = cell.trimmed();
    if (digits.isEmpty() || digits.size() > 10)
        return 0;
    qint64 n = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n <= kHighestNumber ? n : 0;
}

// Where a text holds a control character that no cell of a table holds (NUL, ESC …: other
// tools cut the text there), or -1. Tab and line breaks are text.
int controlAt(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if ((c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F)
            return int(i);
    }
    return -1;
}

QString encodingName(Encoding encoding)
{
    return encoding == Encoding::ShiftJis ? QStringLiteral("Shift_JIS") : QStringLiteral("UTF-8");
}

// The causes the preview groups the refused rows by.
const QString kDamagedCause = QStringLiteral("行が壊れています");
const QString kNoCommaCause = QStringLiteral("種類に半角カンマがありません");
const QString kPageCause = QStringLiteral("種類のページ名が使えません");
const QString kEmptyCause = QStringLiteral("質問が空です");
const QString kLengthCause = QStringLiteral("長すぎます");
const QString kNumberCause = QStringLiteral("番号が正しくないか、使われています");
const QString kQuestionCause = QStringLiteral("質問が重複しています");

// One row read: its record, or why it cannot be taken.
struct RowResult {
    Record record;
    bool numbered = false; // the row gives its number
    QString category;      // the kind cell, when it names a plain category
    QString problem;
    QString cause;
    void refuse(const QString& why, const QString& kind)
    {
        problem = why;
        cause = kind;
    }
};

class Planner {
public:
    Planner(const ImportOptions& options, const ExistingRecords& existing, bool csv)
        : m_options(options)
        , m_existing(existing)
        , m_csv(csv)
        , m_pageNames(existing.pageNames)
    {
    }
    void run(RowSource& source, ImportPlan& plan);
    // Finds the header among the first rows; false when there is none.
    bool findHeader(RowSource& source, ImportPlan& plan, QString* firstProblem);

private:
    RowResult readRow(const TextRow& row);
    QString pageNameFor(const QString& category, ImportPlan& plan);

    const ImportOptions& m_options;
    const ExistingRecords& m_existing;
    bool m_csv;
    Header m_header;
    PageNames m_pageNames;
    QHash<QString, int> m_categoryIndex;
    QSet<QString> m_proposed; // case-folded page names proposed or chosen so far
    int m_nextProposal = 10;
};

bool Planner::findHeader(RowSource& source, ImportPlan& plan, QString* firstProblem)
{
    QList<TextRow> above;
    TextRow row;
    const bool chosen = !m_options.columns.isEmpty() && m_options.headerLine > 0;
    for (int read = 0; read < kHeaderRows && source.next(row); ++read) {
        if (blank(row) || (chosen && row.line < m_options.headerLine)) {
            if (!blank(row))
                above << row;
            continue;
        }
        if (row.damage.isEmpty()) {
            Header h = readHeader(row, chosen ? m_options.columns : QList<int>{});
            if (chosen && !h.problem.isEmpty()) {
                *firstProblem = h.problem;
                return false;
            }
            if (h.problem.isEmpty()) {
                m_header = h;
                plan.headerLine = row.line;
                plan.headerCells = row.cells;
                plan.columns = h.columns;
                for (const TextRow& r : above) {
                    // A title merged across the columns is shown once.
                    QStringList texts;
                    for (const QString& c : r.cells) {
                        if (!c.isEmpty() && (texts.isEmpty() || texts.last() != c))
                            texts << c;
                    }
                    QString text = texts.join(QLatin1Char(' ')).simplified();
                    if (text.size() > 40)
                        text = text.left(40) + QStringLiteral("…");
                    plan.skipped << QStringLiteral("%1 行目：%2").arg(r.line).arg(text);
                }
                return true;
            }
            if (firstProblem->isEmpty() || h.problem.contains(QStringLiteral("二つ")))
                *firstProblem = h.problem;
        } else if (firstProblem->isEmpty()) {
            *firstProblem = QStringLiteral("%1 行目が壊れています（%2）").arg(row.line).arg(row.damage);
        }
        above << row;
    }
    return false;
}

QString Planner::pageNameFor(const QString& category, ImportPlan& plan)
{
    if (const auto it = m_categoryIndex.constFind(category); it != m_categoryIndex.cend()) {
        ++plan.categories[*it].rows;
        return plan.categories[*it].pageName;
    }
    QString name = m_options.chosenPageNames.value(category);
    if (name.isEmpty())
        name = m_existing.titlePages.value(category); // the page this title already has
    // The n-th category's proposal stays sub(n×10) whatever names the others are given, so
    // that typing one name does not move the rest.
    m_nextProposal = std::max(m_nextProposal, int(plan.categories.size() + 1) * 10);
    while (name.isEmpty()) {
        const QString proposal = QStringLiteral("sub%1").arg(m_nextProposal, 3, 10, QLatin1Char('0'));
        m_nextProposal += 10;
        const QString folded = proposal.toCaseFolded();
        bool used = m_proposed.contains(folded);
        for (const QString& existing : m_existing.pageNames)
            used = used || existing.toCaseFolded() == folded;
        for (const QString& chosen : m_options.chosenPageNames)
            used = used || chosen.toCaseFolded() == folded;
        if (!used)
            name = proposal;
    }
    m_proposed.insert(name.toCaseFolded());
    m_categoryIndex.insert(category, int(plan.categories.size()));
    plan.categories.append({category, name, 1});
    return name;
}

RowResult Planner::readRow(const TextRow& row)
{
    RowResult r;
    if (!row.damage.isEmpty()) {
        r.refuse(QStringLiteral("行が壊れています（%1）").arg(row.damage), kDamagedCause);
        return r;
    }
    const int cells = int(row.cells.size());
    if (m_csv) {
        for (int i = m_header.width; i < cells; ++i) {
            if (!row.cells[i].isEmpty()) {
                r.refuse(QStringLiteral("行が壊れています（項目が %1 個あります。見出しは %2 個です）").arg(cells).arg(m_header.width),
                         kDamagedCause);
                return r;
            }
        }
    }
    QString texts[ColumnCount];
    for (int c = 0; c < ColumnCount; ++c) {
        const int i = m_header.index[c];
        if (i < 0)
            continue;
        if (i >= cells) {
            if (!m_csv)
                continue; // a sheet's row ends at its last cell with text
            r.refuse(QStringLiteral("行が壊れています（項目が %1 個しかありません。見出しは %2 個です）").arg(cells).arg(m_header.width),
                     kDamagedCause);
            return r;
        }
        if (row.undecodable.contains(i)) {
            r.refuse(QStringLiteral("行が壊れています（%1 として読めない文字があります）").arg(encodingName(m_options.encoding.value_or(Encoding::ShiftJis))),
                     kDamagedCause);
            return r;
        }
        texts[c] = row.cells[i];
        if (const int at = controlAt(texts[c]); at >= 0) {
            r.refuse(QStringLiteral("行が壊れています（%1 列目に制御文字（U+%2）があります）")
                         .arg(i + 1)
                         .arg(texts[c][at].unicode(), 4, 16, QLatin1Char('0'))
                         .toUpper(),
                     kDamagedCause);
            return r;
        }
    }
    if (!texts[NoColumn].trimmed().isEmpty()) {
        r.record.no = numberIn(texts[NoColumn]);
        if (r.record.no == 0) {
            r.refuse(QStringLiteral("番号「%1」が正しくありません（1 から %2 までの整数）").arg(texts[NoColumn], QString::number(kHighestNumber)),
                     kNumberCause);
            return r;
        }
        r.numbered = true;
    }
    // A file's cells keep spreadsheets' marks (an apostrophe, "¶n"); a sheet's only the marks.
    r.record.kind = fromCell(texts[KindColumn], m_csv);
    r.record.quest = fromCell(texts[QuestColumn], m_csv);
    r.record.anser = fromCell(texts[AnserColumn], m_csv);
    if (m_options.lineBreakMarks)
        r.record.anser = storedAnswer(answerParts(r.record.anser, false), true);
    if (!r.record.kind.contains(QLatin1Char(','))) {
        if (!m_options.pageNames || r.record.kind.trimmed().isEmpty()) {
            r.refuse(QStringLiteral("種類「%1」に半角カンマがありません").arg(r.record.kind), kNoCommaCause);
            return r;
        }
        r.category = r.record.kind;
    }
    if (!r.category.isEmpty())
        return r; // its kind is made once the page name is known
    if (const QString page = kindPageProblem(splitKind(r.record.kind).name); !page.isEmpty())
        r.refuse(QStringLiteral("種類「%1」：%2").arg(r.record.kind, page), kPageCause);
    else if (r.record.quest.isEmpty())
        r.refuse(QStringLiteral("質問が空です"), kEmptyCause);
    else if (const StoreStatus lengths = checkLengths(r.record); !lengths.ok())
        r.refuse(lengths.message, kLengthCause);
    return r;
}

void Planner::run(RowSource& source, ImportPlan& plan)
{
    // Taken rows by question and by number, with their lines, for the rows after them.
    QHash<QString, int> questionLines;
    QHash<qint64, int> numberLines;
    QList<RowResult> taken;
    QList<int> takenLines;
    qint64 highest = m_existing.highestGiven;
    TextRow row;
    while (source.next(row)) {
        if (blank(row))
            continue;
        ++plan.rows;
        RowResult r = readRow(row);
        if (r.problem.isEmpty() && !r.category.isEmpty()) {
            const QString name = pageNameFor(r.category, plan);
            r.record.kind = name + QLatin1Char(',') + r.category;
            if (const QString page = kindPageProblem(name); !page.isEmpty())
                r.refuse(QStringLiteral("種類「%1」のページ名「%2」：%3").arg(r.category, name, page), kPageCause);
            else if (r.record.quest.isEmpty())
                r.refuse(QStringLiteral("質問が空です"), kEmptyCause);
            else if (const StoreStatus lengths = checkLengths(r.record); !lengths.ok())
                r.refuse(lengths.message, kLengthCause);
        }
        if (r.problem.isEmpty())
            r.refuse(m_pageNames.clash(splitKind(r.record.kind).name), kPageCause);
        if (r.problem.isEmpty() && r.numbered) {
            if (m_existing.numbers.contains(r.record.no))
                r.refuse(QStringLiteral("番号 %1 のデータがすでにあります").arg(r.record.no), kNumberCause);
            else if (const int at = numberLines.value(r.record.no); at > 0)
                r.refuse(QStringLiteral("番号 %1 は %2 行目にもあります").arg(r.record.no).arg(at), kNumberCause);
        }
        if (r.problem.isEmpty()) {
            if (const auto it = m_existing.questions.constFind(r.record.quest); it != m_existing.questions.cend())
                r.refuse(QStringLiteral("同じ質問がすでにあります（No.%1）").arg(*it), kQuestionCause);
            else if (const int at = questionLines.value(r.record.quest); at > 0)
                r.refuse(QStringLiteral("同じ質問が %1 行目にもあります").arg(at), kQuestionCause);
        }
        if (!r.problem.isEmpty()) {
            plan.problems.append({row.line, r.problem, r.cause});
            continue;
        }
        m_pageNames.add(splitKind(r.record.kind).name);
        questionLines.insert(r.record.quest, row.line);
        if (r.numbered) {
            numberLines.insert(r.record.no, row.line);
            highest = std::max(highest, r.record.no);
        }
        taken.append(std::move(r));
        takenLines.append(row.line);
    }

    // Numbers for the rows without one, in the file's order, as an add would give them.
    QList<ImportProblem> unnumbered;
    plan.additions.reserve(taken.size());
    plan.additionLines.reserve(taken.size());
    for (qsizetype i = 0; i < taken.size(); ++i) {
        Record& record = taken[i].record;
        if (!taken[i].numbered) {
            if (highest >= kHighestNumber) {
                unnumbered.append({takenLines[i], QStringLiteral("これ以上番号を付けられません"), kNumberCause});
                continue;
            }
            record.no = ++highest;
        }
        plan.additions.append({std::nullopt, record});
        plan.additionLines.append(takenLines[i]);
    }
    if (!unnumbered.isEmpty()) {
        plan.problems += unnumbered;
        std::stable_sort(plan.problems.begin(), plan.problems.end(),
                         [](const ImportProblem& a, const ImportProblem& b) { return a.line < b.line; });
    }
}

const QString kNoHeaderMessage = QStringLiteral("最初の %1 行に見出し（種類・質問・回答の列の名前）がありません").arg(kHeaderRows)
    + QLatin1Char('\r')
    + QStringLiteral("見出しの名前：番号（No）、種類（カテゴリ・分類・kind）、質問（Q・quest）、回答（答え・A・anser）");

} // namespace

int columnNamed(const QString& cell)
{
    static const QList<QStringList> names = {
        {QStringLiteral("番号"), QStringLiteral("no"), QStringLiteral("id"), QStringLiteral("no.")},
        {QStringLiteral("種類"), QStringLiteral("カテゴリ"), QStringLiteral("カテゴリー"), QStringLiteral("分類"),
         QStringLiteral("category"), QStringLiteral("kind")},
        {QStringLiteral("質問"), QStringLiteral("q"), QStringLiteral("question"), QStringLiteral("quest")},
        {QStringLiteral("回答"), QStringLiteral("答え"), QStringLiteral("答"), QStringLiteral("a"), QStringLiteral("answer"),
         QStringLiteral("anser")},
    };
    // Full-width letters and half-width katakana are the same names.
    const QString name = cell.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
    for (int c = 0; c < ColumnCount; ++c) {
        if (names[c].contains(name))
            return c;
    }
    return kIgnored;
}

StoreStatus readExisting(const QString& database, ExistingRecords* out)
{
    *out = {};
    const ReadSnapshot snapshot(database);
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store)
        return status;
    WalkOptions withoutAnswers;
    withoutAnswers.withAnswer = false;
    status = store->walk(withoutAnswers, [&](const Record& r) {
        if (!out->questions.contains(r.quest)) // walked in ascending No
            out->questions.insert(r.quest, r.no);
        out->numbers.insert(r.no);
        if (const KindParts parts = splitKind(r.kind); parts.ok) {
            out->pageNames.insert(parts.name);
            if (!out->titlePages.contains(parts.title))
                out->titlePages.insert(parts.title, parts.name);
        }
        return true;
    });
    if (!status.ok())
        return status;
    return store->highestNumberGiven(&out->highestGiven);
}

ImportPlan planImport(const QByteArray& file, const ImportOptions& options, const ExistingRecords& existing)
{
    ImportPlan plan;
    // A zip archive is taken for a workbook: one that is none is refused as such, not read as text.
    if (workbook::formatOf(file) != workbook::Format::None || file.startsWith("PK\x03\x04")) {
        plan.workbook = true;
        plan.encoding = Encoding::Utf8;
        const workbook::Sheet sheet = workbook::readSheet(file, options.sheet);
        plan.sheets = sheet.names;
        plan.sheet = sheet.name;
        if (!sheet.error.isEmpty()) {
            plan.fatal = sheet.error;
            return plan;
        }
        SheetRows rows(sheet);
        Planner planner(options, existing, false);
        QString problem;
        if (!planner.findHeader(rows, plan, &problem)) {
            plan.fatal = sheet.rows.isEmpty() ? QStringLiteral("シート「%1」にデータがありません").arg(sheet.name)
                : problem.contains(QStringLiteral("二つ")) || !options.columns.isEmpty() ? problem
                                                                                         : kNoHeaderMessage;
            return plan;
        }
        plan.numbered = plan.columns.contains(NoColumn);
        planner.run(rows, plan);
        return plan;
    }
    // Excel's "Unicode text" is UTF-16 with a BOM: it is read as the same text in UTF-8.
    plan.utf16 = file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF");
    QByteArray utf8;
    if (plan.utf16) {
        if (file.size() % 2 != 0) {
            plan.fatal = QStringLiteral("UTF-16 のファイルの長さが奇数のため読み込めません（最後の 1 バイトが半端です）");
            return plan;
        }
        QStringDecoder decoder(file.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString text = decoder.decode(QByteArrayView(file).sliced(2));
        if (decoder.hasError() || !text.isValidUtf16()) {
            plan.fatal = QStringLiteral("UTF-16 として読めない文字があります");
            return plan;
        }
        utf8 = "\xEF\xBB\xBF" + text.toUtf8();
    }
    const QByteArray& bytes = plan.utf16 ? utf8 : file;
    plan.encoding = hasBom(bytes) ? Encoding::Utf8 : options.encoding.value_or(guessEncoding(bytes));
    ImportOptions effective = options;
    effective.encoding = plan.encoding;
    if (RowReader(bytes, options.separator).atEnd()) {
        plan.fatal = QStringLiteral("ファイルにデータがありません");
        return plan;
    }
    // The header tells the separator: the rest is read once, a row at a time.
    QString problem;
    for (const Separator separator : {options.separator, options.separator == Separator::Comma ? Separator::Tab : Separator::Comma}) {
        ImportPlan attempt = plan;
        attempt.separator = separator;
        CsvRows rows(bytes, separator, plan.encoding);
        Planner planner(effective, existing, true);
        QString why;
        if (!planner.findHeader(rows, attempt, &why)) {
            if (problem.isEmpty())
                problem = why;
            continue;
        }
        attempt.numbered = attempt.columns.contains(NoColumn);
        planner.run(rows, attempt);
        return attempt;
    }
    plan.fatal = problem.contains(QStringLiteral("二つ")) || problem.contains(QStringLiteral("壊れて")) || !options.columns.isEmpty()
        ? problem
        : kNoHeaderMessage;
    return plan;
}

bool readImportFile(const QString& path, QByteArray* bytes, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("ファイルがありません") + QLatin1Char('\r') + path;
        return false;
    }
    // A FIFO or a device would never end.
    if (!info.isFile()) {
        *error = QStringLiteral("通常のファイルではないため読み込めません") + QLatin1Char('\r') + path;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("ファイルを読み込めません") + QLatin1Char('\r') + path + QLatin1Char('\r') + file.errorString();
        return false;
    }
    // The file is held whole while the preview is open; an image or an archive chosen by
    // mistake must not take the memory. 100,000 records with long answers fit many times over.
    // The size the file reports is not trusted: /proc files say 0 and never end.
    const WholeRead read = file.size() > kMaxImportBytes ? WholeRead::TooLarge : readAtMost(file, kMaxImportBytes, bytes);
    if (read == WholeRead::TooLarge) {
        *error = QStringLiteral("ファイルが大きすぎるため読み込めません（%1 MB まで）").arg(kMaxImportBytes >> 20)
            + QLatin1Char('\r') + path;
        return false;
    }
    if (read == WholeRead::Failed) {
        *error = QStringLiteral("ファイルを読み込めません") + QLatin1Char('\r') + path + QLatin1Char('\r') + file.errorString();
        return false;
    }
    return true;
}

} // namespace qadora::csv
