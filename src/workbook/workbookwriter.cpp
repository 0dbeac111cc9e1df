// SPDX-License-Identifier: GPL-3.0-or-later
#include "workbookwriter.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <xlsxwriter.h>

namespace qadora::workbook {

namespace {

// Columns as wide as their longest line, counted as Excel counts: a wide (CJK) character is two.
double widthOf(const QString& text)
{
    int longest = 0;
    int line = 0;
    for (const QChar c : text) {
        if (c == u'\n') {
            longest = std::max(longest, line);
            line = 0;
        } else if (!c.isLowSurrogate()) {
            line += c.unicode() >= 0x1100 ? 2 : 1;
        }
    }
    return std::max(longest, line);
}

// Where `text` holds a character XML 1.0 cannot hold, or -1.
qsizetype outsideXml(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if ((c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            return i;
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return i;
    }
    return -1;
}

QString characterName(QChar c)
{
    const QString code = QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    if (c.unicode() < 0x20)
        return QStringLiteral("制御文字 ") + code;
    return c.isSurrogate() ? QStringLiteral("対になっていないサロゲート ") + code : QStringLiteral("非文字 ") + code;
}

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Whether what starts at `i` reads as an escape: Excel reads "_xHHHH_" as U+HHHH, LibreOffice
// also shorter forms ("_x1_").
bool escapeAt(const QString& s, qsizetype i)
{
    if (i + 3 >= s.size() || (s[i + 1] != u'x' && s[i + 1] != u'X'))
        return false;
    qsizetype j = i + 2;
    while (j < s.size() && j < i + 6 && isHex(s[j]))
        ++j;
    return j > i + 2 && j < s.size() && s[j] == u'_';
}

// The underscore of each such escape written as the escape of an underscore, "_x005F_".
QString escapedCell(const QString& text)
{
    qsizetype i = text.indexOf(u'_');
    if (i < 0)
        return text;
    QString cell = text;
    for (; i >= 0; i = cell.indexOf(u'_', i + 1)) {
        if (escapeAt(cell, i)) {
            cell.insert(i + 1, QStringLiteral("x005F_"));
            i += 6;
        }
    }
    return cell;
}

} // namespace

struct XlsxWriter::State {
    lxw_workbook* book = nullptr;
    lxw_worksheet* sheet = nullptr;
    lxw_format* wrapped = nullptr;
    QList<double> widths;
    lxw_row_t row = 0;
    QByteArray tmpdir;
};

XlsxWriter::XlsxWriter(const QString& path, const QString& sheetName, const QStringList& header)
    : m(std::make_unique<State>())
{
    // A row at a time: the rows are written to a temporary file, not kept in memory.
    // Paths as the library opens them: narrow ones, which on Windows hold only the code page.
    m->tmpdir = platform::libraryPath(QDir::tempPath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m->tmpdir.data();
    m->book = workbook_new_opt(platform::libraryPath(path).constData(), &options);
    if (!m->book)
        return;
    m->sheet = workbook_add_worksheet(m->book, sheetName.toUtf8().constData());
    m->wrapped = workbook_add_format(m->book);
    format_set_text_wrap(m->wrapped);
    format_set_align(m->wrapped, LXW_ALIGN_VERTICAL_TOP);
    lxw_format* bold = workbook_add_format(m->book);
    format_set_bold(bold);
    format_set_align(bold, LXW_ALIGN_VERTICAL_TOP);
    for (int c = 0; c < header.size(); ++c) {
        worksheet_write_string(m->sheet, 0, lxw_col_t(c), header[c].toUtf8().constData(), bold);
        m->widths << widthOf(header[c]) + 2;
    }
    worksheet_freeze_panes(m->sheet, 1, 0);
    m->row = 1;
}

XlsxWriter::~XlsxWriter()
{
    if (m->book) // never closed: nothing is written, its temporary files go
        workbook_close(m->book);
}

QString XlsxWriter::addRow(const QStringList& cells, int* column)
{
    if (!m->sheet)
        return QStringLiteral("ブックを作成できません");
    for (int c = 0; c < cells.size(); ++c) {
        if (column)
            *column = c;
        if (const qsizetype at = outsideXml(cells[c]); at >= 0)
            return QStringLiteral("Excel のブックに入れられない文字（%1）があるため、書き出せませんでした").arg(characterName(cells[c][at]));
        if (cells[c].size() > kMaxCellLength)
            return QStringLiteral("Excel の一つのセルに入る %1 文字を超えるため、書き出せませんでした（%2 文字）")
                .arg(kMaxCellLength)
                .arg(cells[c].size());
    }
    if (column)
        *column = -1;
    for (int c = 0; c < cells.size(); ++c) {
        const QByteArray utf8 = escapedCell(cells[c]).toUtf8();
        const lxw_error e = worksheet_write_string(m->sheet, m->row, lxw_col_t(c), utf8.constData(), m->wrapped);
        if (e != LXW_NO_ERROR)
            return QString::fromUtf8(lxw_strerror(e));
        if (c < m->widths.size())
            m->widths[c] = std::max(m->widths[c], widthOf(cells[c]) + 1);
    }
    ++m->row;
    return QString();
}

QString XlsxWriter::close()
{
    if (!m->book)
        return QStringLiteral("ブックを作成できません");
    for (int c = 0; c < m->widths.size(); ++c)
        worksheet_set_column(m->sheet, lxw_col_t(c), lxw_col_t(c), std::clamp(m->widths[c], 6.0, 80.0), nullptr);
    const lxw_error e = workbook_close(m->book);
    m->book = nullptr;
    return e == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(e));
}

} // namespace qadora::workbook
