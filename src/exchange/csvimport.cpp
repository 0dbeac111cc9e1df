// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvimport.h"

#include "store/kindstring.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>

namespace qadora::csv {

namespace {

constexpr qint64 kHighestNumber = std::numeric_limits<qint32>::max();
constexpr qint64 kMaxImportBytes = qint64(256) << 20;

enum Column { No, Kind, Quest, Anser, ColumnCount };

// The column a header cell names: the names export writes (in any case) or their Japanese words.
int columnNamed(const QString& cell)
{
    const QString name = cell.trimmed();
    const QStringList japanese = {QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"),
                                  QStringLiteral("答え")};
    for (int c = 0; c < ColumnCount; ++c) {
        if (name.compare(kColumns[c], Qt::CaseInsensitive) == 0 || name == japanese[c])
            return c;
    }
    return -1;
}

struct Header {
    QString problem;
    int width = 0;              // cells in the header row
    int index[ColumnCount] = {-1, -1, -1, -1}; // cell of each column, -1 when absent
};

Header readHeader(const RawRow& row, Encoding encoding)
{
    Header h;
    h.width = int(row.fields.size());
    const QString expected = QStringLiteral("1 行目は見出し（No,kind,quest,anser）にして下さい");
    if (!row.damage.isEmpty()) {
        h.problem = QStringLiteral("1 行目の見出しが壊れています（%1）").arg(row.damage);
        return h;
    }
    for (int i = 0; i < h.width; ++i) {
        QString cell;
        // No name is that long; a file that is no table may have a cell of gigabytes.
        if (row.fields[i].size() > 64 || !decodeCell(row.fields[i], encoding, cell))
            continue;
        const int c = columnNamed(cell);
        if (c < 0)
            continue;
        if (h.index[c] >= 0) {
            h.problem = QStringLiteral("1 行目の見出しに %1 の列が二つあります").arg(kColumns[c]);
            return h;
        }
        h.index[c] = i;
    }
    if (h.index[Kind] < 0 || h.index[Quest] < 0 || h.index[Anser] < 0)
        h.problem = QStringLiteral("見出しに kind, quest, anser の列がありません") + QLatin1Char('\r') + expected;
    return h;
}

bool blank(const RawRow& row)
{
    for (const QByteArray& f : row.fields) {
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

QString encodingName(Encoding encoding)
{
    return encoding == Encoding::ShiftJis ? QStringLiteral("Shift_JIS") : QStringLiteral("UTF-8");
}

// One row read: its record, or why it cannot be taken.
struct RowResult {
    Record record;
    bool numbered = false; // the row gives its number
    QString problem;
};

RowResult readRow(const RawRow& row, const Header& h, Encoding encoding)
{
    RowResult r;
    if (!row.damage.isEmpty()) {
        r.problem = QStringLiteral("行が壊れています（%1）").arg(row.damage);
        return r;
    }
    const int cells = int(row.fields.size());
    for (int i = h.width; i < cells; ++i) {
        if (!row.fields[i].isEmpty()) {
            r.problem = QStringLiteral("行が壊れています（項目が %1 個あります。見出しは %2 個です）").arg(cells).arg(h.width);
            return r;
        }
    }
    QString texts[ColumnCount];
    for (int c = 0; c < ColumnCount; ++c) {
        const int i = h.index[c];
        if (i < 0)
            continue;
        if (i >= cells) {
            r.problem = QStringLiteral("行が壊れています（項目が %1 個しかありません。見出しは %2 個です）").arg(cells).arg(h.width);
            return r;
        }
        if (!decodeCell(row.fields[i], encoding, texts[c])) {
            r.problem = QStringLiteral("行が壊れています（%1 として読めない文字があります）").arg(encodingName(encoding));
            return r;
        }
    }
    if (!texts[No].trimmed().isEmpty()) {
        r.record.no = numberIn(texts[No]);
        if (r.record.no == 0) {
            r.problem = QStringLiteral("番号「%1」が正しくありません（1 から %2 までの整数）").arg(texts[No], QString::number(kHighestNumber));
            return r;
        }
        r.numbered = true;
    }
    r.record.kind = fromCell(texts[Kind]);
    r.record.quest = fromCell(texts[Quest]);
    r.record.anser = fromCell(texts[Anser]);
    if (!r.record.kind.contains(QLatin1Char(',')))
        r.problem = QStringLiteral("種類「%1」に半角カンマがありません").arg(r.record.kind);
    else if (r.record.quest.isEmpty())
        r.problem = QStringLiteral("質問が空です");
    else if (const StoreStatus lengths = checkLengths(r.record); !lengths.ok())
        r.problem = lengths.message;
    return r;
}

} // namespace

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
        return true;
    });
    if (!status.ok())
        return status;
    return store->highestNumberGiven(&out->highestGiven);
}

ImportPlan planImport(const QByteArray& file, const ImportOptions& options, const ExistingRecords& existing)
{
    ImportPlan plan;
    // Excel's "Unicode text" is UTF-16 with a BOM: it is read as the same text in UTF-8.
    plan.utf16 = file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF");
    QByteArray utf8;
    if (plan.utf16) {
        QStringDecoder decoder(file.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(file).sliced(2));
        if (decoder.hasError() || !text.isValidUtf16()) {
            plan.fatal = QStringLiteral("UTF-16 として読めない文字があります");
            return plan;
        }
        utf8 = "\xEF\xBB\xBF" + text.toUtf8();
    }
    const QByteArray& bytes = plan.utf16 ? utf8 : file;
    plan.encoding = hasBom(bytes) ? Encoding::Utf8 : options.encoding.value_or(guessEncoding(bytes));
    plan.separator = options.separator;
    if (RowReader(bytes, plan.separator).atEnd()) {
        plan.fatal = QStringLiteral("ファイルにデータがありません");
        return plan;
    }
    // Only the first row tells the separator: the rest is read once, a row at a time.
    const auto headerWith = [&](Separator separator) { return readHeader(RowReader(bytes, separator).next(), plan.encoding); };
    Header header = headerWith(plan.separator);
    if (!header.problem.isEmpty()) {
        const Separator other = plan.separator == Separator::Comma ? Separator::Tab : Separator::Comma;
        if (Header otherHeader = headerWith(other); otherHeader.problem.isEmpty()) {
            plan.separator = other;
            header = otherHeader;
        }
    }
    if (!header.problem.isEmpty()) {
        plan.fatal = header.problem;
        return plan;
    }
    plan.numbered = header.index[No] >= 0;

    // Taken rows by question and by number, with their lines, for the rows after them.
    QHash<QString, int> questionLines;
    QHash<qint64, int> numberLines;
    QList<RowResult> taken;
    QList<int> takenLines;
    qint64 highest = existing.highestGiven;
    RowReader reader(bytes, plan.separator);
    reader.next(); // the header
    while (!reader.atEnd()) {
        const RawRow row = reader.next();
        if (blank(row))
            continue;
        ++plan.rows;
        RowResult r = readRow(row, header, plan.encoding);
        if (r.problem.isEmpty() && r.numbered) {
            if (existing.numbers.contains(r.record.no))
                r.problem = QStringLiteral("番号 %1 のデータがすでにあります").arg(r.record.no);
            else if (const int at = numberLines.value(r.record.no); at > 0)
                r.problem = QStringLiteral("番号 %1 は %2 行目にもあります").arg(r.record.no).arg(at);
        }
        if (r.problem.isEmpty()) {
            if (const auto it = existing.questions.constFind(r.record.quest); it != existing.questions.cend())
                r.problem = QStringLiteral("同じ質問がすでにあります（No.%1）").arg(*it);
            else if (const int at = questionLines.value(r.record.quest); at > 0)
                r.problem = QStringLiteral("同じ質問が %1 行目にもあります").arg(at);
        }
        if (!r.problem.isEmpty()) {
            plan.problems.append({row.line, r.problem});
            continue;
        }
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
    for (qsizetype i = 0; i < taken.size(); ++i) {
        Record& record = taken[i].record;
        if (!taken[i].numbered) {
            if (highest >= kHighestNumber) {
                unnumbered.append({takenLines[i], QStringLiteral("これ以上番号を付けられません")});
                continue;
            }
            record.no = ++highest;
        }
        plan.additions.append({std::nullopt, record});
    }
    if (!unnumbered.isEmpty()) {
        plan.problems += unnumbered;
        std::stable_sort(plan.problems.begin(), plan.problems.end(),
                         [](const ImportProblem& a, const ImportProblem& b) { return a.line < b.line; });
    }
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
    if (file.size() > kMaxImportBytes) {
        *error = QStringLiteral("ファイルが大きすぎるため読み込めません（%1 MB まで）").arg(kMaxImportBytes >> 20)
            + QLatin1Char('\r') + path;
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("ファイルを読み込めません") + QLatin1Char('\r') + path + QLatin1Char('\r') + file.errorString();
        return false;
    }
    return true;
}

} // namespace qadora::csv
