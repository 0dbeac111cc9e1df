// SPDX-License-Identifier: GPL-3.0-or-later
// Windows code page 932 (Shift_JIS as Windows writes it). A character without a code is
// written as an HTML decimal character reference of its code point, so a page always reads
// back as typed: never "?", never dropped, never a look-alike.
#pragma once

#include <QByteArray>
#include <QStringView>

namespace qadora::cp932 {

// Appends the encoded text to `out`.
void encodeInto(QByteArray& out, QStringView text);
QByteArray encode(QStringView text);

// The code of one BMP character (one or two bytes, the lead byte in the high half), or -1.
int codeOf(char16_t c);

// Decodes CP932 bytes (for files the program itself reads back, such as the list file).
// Bytes that are not CP932 are skipped; `clean`, when given, says whether there were none
// and the text does not look like another encoding (a BOM, NUL bytes, multi-byte UTF-8).
QString decode(const QByteArray& bytes, bool* clean = nullptr);

// Valid UTF-8 with at least one multi-byte sequence: CP932 text practically never is, since
// its lead bytes 0x81-0x9F cannot start a UTF-8 sequence.
bool looksLikeUtf8(const QByteArray& bytes);

// Decodes CP932 bytes and appends them to `out`; false at the first byte that is not part of
// a character (`out` then holds what came before it). Text encoded without references reads
// back exactly as it was.
bool decodeStrict(QByteArrayView bytes, QString& out);

// The first character of `text` that has no code (a code point), or -1. Plain text files
// such as the list file cannot hold such a character; only web pages have references.
qint64 firstWithoutCode(QStringView text);

// "「〜」（U+301C）": a character for a message.
QString describeCharacter(char32_t codePoint);

} // namespace qadora::cp932
