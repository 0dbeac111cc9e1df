// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvformat.h"

#include "site/cp932.h"

#include <QStringDecoder>

namespace qadora::csv {

namespace {

constexpr char16_t kMark = u'¶';

// Characters a spreadsheet reads as part of a number, a date or a time (with the digits of any
// script: LibreOffice reads "１２３" as 123).
bool numberPart(QChar c)
{
    static const QString parts = QStringLiteral(".,:/-+%()eE$¥￥．，：／－＋％（）−年月日時分秒午前後");
    return c.isDigit() || c.isSpace() || parts.contains(c);
}

bool numberLike(QStringView s)
{
    bool digit = false;
    for (QChar c : s) {
        if (!numberPart(c))
            return false;
        digit = digit || c.isDigit();
    }
    return digit;
}

// A cell a spreadsheet would not keep as this text.
bool readAsOther(QStringView s)
{
    if (s.isEmpty())
        return false;
    if (QStringLiteral("=+-@\t\r\n").contains(s.front()))
        return true;
    if (s.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0
        || s.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        return true;
    return numberLike(s);
}

// Whether a cell body gets the apostrophe: it is read as something else, after any
// apostrophes of its own.
bool guarded(QStringView body)
{
    qsizetype i = 0;
    while (i < body.size() && body[i] == u'\'')
        ++i;
    return readAsOther(body.mid(i));
}

// What a cell changes of its text: line breaks and the mark.
inline bool special(QChar c)
{
    return c == u'\r' || c == u'\n' || c == kMark;
}

// Skips one line break at `i` (CR LF, LF or CR), if there is one.
qsizetype afterBreak(QStringView s, qsizetype i)
{
    if (i < s.size() && s[i] == u'\r')
        return i + 1 < s.size() && s[i + 1] == u'\n' ? i + 2 : i + 1;
    if (i < s.size() && s[i] == u'\n')
        return i + 1;
    return i;
}

} // namespace

Separator separatorFor(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".tsv"), Qt::CaseInsensitive) ? Separator::Tab : Separator::Comma;
}

char separatorChar(Separator separator)
{
    return separator == Separator::Tab ? '\t' : ',';
}

QString toCell(const QString& text, bool apostrophe)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && !special(text[i]))
        ++i;
    if (i == n) // most texts: the cell is the text, shared
        return apostrophe && guarded(text) ? QLatin1Char('\'') + text : text;
    QString body;
    body.reserve(n + 16);
    qsizetype from = 0;
    while (i < n) {
        body += QStringView(text).mid(from, i - from);
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            body += u'\n';
            ++i;
        } else if (c == u'\r') {
            body += QStringLiteral("¶r\n");
        } else if (c == u'\n') {
            body += QStringLiteral("¶n\n");
        } else {
            body += QStringLiteral("¶¶");
        }
        from = ++i;
        while (i < n && !special(text[i]))
            ++i;
    }
    body += QStringView(text).mid(from);
    return apostrophe && guarded(body) ? QLatin1Char('\'') + body : body;
}

QString fromCell(const QString& cell, bool apostrophe)
{
    QStringView s(cell);
    if (apostrophe && s.startsWith(u'\'') && guarded(s.mid(1)))
        s = s.mid(1);
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n && !special(s[i]))
        ++i;
    if (i == n)
        return s.size() == cell.size() ? cell : s.toString();
    QString text;
    text.reserve(n + 16);
    qsizetype from = 0;
    while (i < n) {
        text += s.mid(from, i - from);
        const QChar c = s[i];
        if (c == kMark && i + 1 < n && s[i + 1] == kMark) {
            text += kMark;
            i += 2;
        } else if (c == kMark && i + 1 < n && (s[i + 1] == u'n' || s[i + 1] == u'r')) {
            text += s[i + 1] == u'n' ? u'\n' : u'\r';
            i = afterBreak(s, i + 2);
        } else if (c == kMark) {
            text += c; // not one of ours: kept as it is
            ++i;
        } else {
            text += QStringLiteral("\r\n");
            i = afterBreak(s, i);
        }
        from = i;
        while (i < n && !special(s[i]))
            ++i;
    }
    text += s.mid(from);
    return text;
}

void appendField(QString& line, const QString& cell, Separator separator)
{
    const QChar sep = QLatin1Char(separatorChar(separator));
    bool quote = !cell.isEmpty() && (cell.front().isSpace() || cell.back().isSpace());
    for (qsizetype i = 0; !quote && i < cell.size(); ++i) {
        const QChar c = cell[i];
        quote = c == sep || c == u'"' || c == u'\r' || c == u'\n';
    }
    if (!quote) {
        line += cell;
        return;
    }
    line += u'"';
    for (QChar c : cell) {
        if (c == u'"')
            line += u'"';
        line += c;
    }
    line += u'"';
}

bool hasBom(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

Encoding guessEncoding(const QByteArray& bytes)
{
    return cp932::looksLikeUtf8(bytes) ? Encoding::Utf8 : Encoding::ShiftJis;
}

bool decodeCell(const QByteArray& bytes, Encoding encoding, QString& out)
{
    out.clear();
    if (encoding == Encoding::ShiftJis)
        return cp932::decodeStrict(bytes, out);
    // A cell's own leading U+FEFF is text: only the file's BOM is skipped, by the reader.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    out = decoder.decode(bytes);
    return !decoder.hasError();
}

RowReader::RowReader(const QByteArray& bytes, Separator separator)
    : m_bytes(bytes)
    , m_sep(separatorChar(separator))
    , m_pos(hasBom(bytes) ? 3 : 0)
{
}

RawRow RowReader::next()
{
    RawRow row;
    row.line = m_line;
    for (;;) {
        QByteArray field;
        if (peek() == '"')
            quoted(field, row);
        else
            unquoted(field, row);
        row.fields.append(field);
        if (peek() == m_sep) {
            ++m_pos;
            continue;
        }
        if (!row.damage.isEmpty() && !atEnd() && !atBreak())
            skipToLineEnd();
        break;
    }
    endLine();
    return row;
}

// Consumes one line break; counts it.
void RowReader::endLine()
{
    if (peek() == '\r') {
        ++m_pos;
        if (peek() == '\n')
            ++m_pos;
        ++m_line;
    } else if (peek() == '\n') {
        ++m_pos;
        ++m_line;
    }
}

// A cell's bytes are the file's own unless a doubled quote must be undone.
QByteArray RowReader::raw(qsizetype from, qsizetype to) const
{
    return QByteArray::fromRawData(m_bytes.constData() + from, to - from);
}

void RowReader::quoted(QByteArray& field, RawRow& row)
{
    const qsizetype start = ++m_pos;
    bool copied = false;
    for (;;) {
        const qsizetype q = m_bytes.indexOf('"', m_pos);
        const qsizetype stop = q < 0 ? m_bytes.size() : q;
        countLines(m_pos, stop);
        if (copied)
            field.append(m_bytes.constData() + m_pos, stop - m_pos);
        m_pos = stop;
        if (q < 0) {
            if (!copied)
                field = raw(start, stop);
            row.damage = QStringLiteral("引用符（\"）が閉じられていません");
            return;
        }
        ++m_pos;
        if (peek() != '"') {
            if (!copied)
                field = raw(start, q);
            break;
        }
        if (!copied)
            field = QByteArray(m_bytes.constData() + start, q - start);
        copied = true;
        field.append('"');
        ++m_pos;
    }
    if (!atEnd() && peek() != m_sep && !atBreak() && row.damage.isEmpty())
        row.damage = QStringLiteral("引用符（\"）で囲まれた項目の後に文字があります");
}

void RowReader::unquoted(QByteArray& field, RawRow& row)
{
    const qsizetype start = m_pos;
    while (!atEnd() && peek() != m_sep && !atBreak()) {
        if (peek() == '"' && row.damage.isEmpty())
            row.damage = QStringLiteral("引用符で囲まれていない項目に引用符（\"）があります");
        ++m_pos;
    }
    field = raw(start, m_pos);
}

void RowReader::skipToLineEnd()
{
    while (!atEnd() && !atBreak())
        ++m_pos;
}

// Line breaks inside a quoted cell: CR LF counts once.
void RowReader::countLines(qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const char b = m_bytes[i];
        if (b == '\n' || (b == '\r' && (i + 1 >= m_bytes.size() || m_bytes[i + 1] != '\n')))
            ++m_line;
    }
}

} // namespace qadora::csv
