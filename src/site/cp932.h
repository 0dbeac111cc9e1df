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
QString decode(const QByteArray& bytes);

} // namespace qadora::cp932
