// SPDX-License-Identifier: GPL-3.0-or-later
// The tables of code page 932, generated at build time from ICU's "windows-31j" converter by
// cp932gen, so that a build without ICU writes and reads the same bytes.
#pragma once

#include <QtGlobal>

namespace qadora::cp932::tables {

constexpr quint16 kNoCode = 0xFFFF;
constexpr char16_t kNoChar = 0xFFFF;

// The code of each BMP code unit (ASCII as itself), or kNoCode.
extern const quint16 encode[65536];

// Decoding, one character at a time: a single byte (ASCII as itself), or kNoChar.
extern const char16_t single[256];
// Lead bytes of two-byte codes, and the bytes ICU accepts as their second byte.
extern const bool lead[256];
extern const bool trail[256];
// The character of lead byte L and trail byte T at [L * 256 + T], or kNoChar.
extern const char16_t pairs[65536];

// What ICU's converter reads for a single byte where a trail byte was refused, with its own
// substitutes (U+001A) and its exchange of 0x1A, 0x1C and 0x7F.
extern const char16_t substituted[256];

} // namespace qadora::cp932::tables
