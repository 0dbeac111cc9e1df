// SPDX-License-Identifier: GPL-3.0-or-later
#include "importplanner.h"

#include "editing/linebreaks.h"
#include "store/kindstring.h"

namespace qadora::csv::detail {

namespace {

// The causes the preview groups the refused rows by.
const QString kDamagedCause = QStringLiteral("行が壊れています");
const QString kNoCommaCause = QStringLiteral("種類に半角カンマがありません");
const QString kPageCause = QStringLiteral("種類のページ名が使えません");
const QString kEmptyCause = QStringLiteral("質問が空です");
const QString kLengthCause = QStringLiteral("長すぎます");
const QString kNumberCause = QStringLiteral("番号が正しくないか、使われています");
const QString kQuestionCause = QStringLiteral("質問が重複しています");

} // namespace

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
        used = used || !kindPageProblem(proposal, m_options.indexName).isEmpty(); // the index may be named so
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
    if (const QString page = kindPageProblem(splitKind(r.record.kind).name, m_options.indexName); !page.isEmpty())
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
    questionLines.reserve(source.rowsHint());
    taken.reserve(source.rowsHint());
    takenLines.reserve(source.rowsHint());
    qint64 highest = m_existing.highestGiven;
    int used = 0;
    for (const int i : m_header.index)
        used = std::max(used, i + 1);
    source.keepColumns(used);
    TextRow row;
    while (source.next(row)) {
        if (blank(row))
            continue;
        ++plan.rows;
        RowResult r = readRow(row);
        if (r.problem.isEmpty() && !r.category.isEmpty()) {
            const QString name = pageNameFor(r.category, plan);
            r.record.kind = name + QLatin1Char(',') + r.category;
            if (const QString page = kindPageProblem(name, m_options.indexName); !page.isEmpty())
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

} // namespace qadora::csv::detail
