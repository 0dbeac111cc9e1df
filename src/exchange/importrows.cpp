// SPDX-License-Identifier: GPL-3.0-or-later
#include "importrows.h"

namespace qadora::csv::detail {

namespace {

const QString kColumnNames[] = {QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"), QStringLiteral("回答")};

} // namespace

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
    return row.damage.isEmpty() && !row.textBeyond;
}

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

} // namespace qadora::csv::detail
