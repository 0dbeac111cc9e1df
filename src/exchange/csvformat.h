// SPDX-License-Identifier: GPL-3.0-or-later
// The file format of the records' exchange with spreadsheets: RFC 4180 CSV (or the same with
// tabs), header "No,kind,quest,anser", in Shift_JIS (code page 932) or UTF-8 with a BOM.
//
// A text is written so that Excel and LibreOffice show it as the text it is, and so that the
// file they save back reads as the same text:
// - Spreadsheets keep one kind of line break inside a cell, LF (Excel shows a CR as a box; both
//   turn a CR LF into LF when they read it). A CR LF is written as LF, and any line break read
//   in a cell is a CR LF. The rare lone LF and lone CR are written as "¶n" and "¶r" followed by
//   a line break, and a "¶" of the text as "¶¶".
// - A cell that a spreadsheet would take as a formula (it starts with = + - @, a tab or a line
//   break) or as a number, date or truth value ("007", "1/2", "１２３", "TRUE") is written with a
//   leading apostrophe, which keeps it text; reading drops that apostrophe again. A text that
//   itself starts with apostrophes before such a cell gets one more.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace qadora::csv {

enum class Encoding { ShiftJis, Utf8 };
enum class Separator { Comma, Tab };

// Tab for a name ending in ".tsv" (any case), else comma.
Separator separatorFor(const QString& fileName);
char separatorChar(Separator separator);

inline const QStringList kColumns = {QStringLiteral("No"), QStringLiteral("kind"), QStringLiteral("quest"),
                                     QStringLiteral("anser")};

// A text as its cell, and a cell as its text: fromCell(toCell(t)) == t for every text.
// Without `apostrophe` (a workbook's text cell, which no spreadsheet takes for a number) only
// the line breaks and the mark are written.
QString toCell(const QString& text, bool apostrophe = true);
QString fromCell(const QString& cell, bool apostrophe = true);

// Appends a cell to a line, in double quotes when it holds the separator, a quote, a line
// break or leading or trailing white space (doubling its quotes).
void appendField(QString& line, const QString& cell, Separator separator);

// One row of a file: the cells as they stand in it (quotes removed, bytes not yet decoded).
struct RawRow {
    int line = 0;             // the line of the file the row starts on, from 1
    QList<QByteArray> fields;
    QString damage;           // why the row cannot be read; empty when it can
};

// Reads a file's rows one at a time, so that no more than a row is held besides the bytes.
// Rows end at CR LF, LF or CR; a quoted cell may hold any of them. A UTF-8 BOM is skipped.
// Every row is returned, damaged ones with their reason; an unclosed quote makes the rest of
// the file one damaged row. The cells may share `bytes`' memory: `bytes` must outlive the
// reader and the rows.
class RowReader {
public:
    RowReader(const QByteArray& bytes, Separator separator);

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    RawRow next();

private:
    char peek() const { return m_pos < m_bytes.size() ? m_bytes[m_pos] : '\0'; }
    bool atBreak() const { return peek() == '\r' || peek() == '\n'; }
    void endLine();
    QByteArray raw(qsizetype from, qsizetype to) const;
    void quoted(QByteArray& field, RawRow& row);
    void unquoted(QByteArray& field, RawRow& row);
    void skipToLineEnd();
    void countLines(qsizetype from, qsizetype to);

    const QByteArray& m_bytes;
    char m_sep;
    qsizetype m_pos;
    int m_line = 1;
};

// Whether the bytes start with a UTF-8 BOM.
bool hasBom(const QByteArray& bytes);
// A guess for a file without a BOM: UTF-8 when it is valid UTF-8 with a character beyond
// ASCII, else Shift_JIS.
Encoding guessEncoding(const QByteArray& bytes);

// Decodes one cell; false when its bytes are not text in `encoding`.
bool decodeCell(const QByteArray& bytes, Encoding encoding, QString& out);

} // namespace qadora::csv
