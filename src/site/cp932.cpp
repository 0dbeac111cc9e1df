// SPDX-License-Identifier: GPL-3.0-or-later
#include "cp932.h"

#include <QString>

#include "site/cp932tables.h"

namespace qadora::cp932 {

using tables::kNoCode;

int codeOf(char16_t c)
{
    const quint16 code = tables::encode[c];
    return code == kNoCode ? -1 : code;
}

void encodeInto(QByteArray& out, QStringView text)
{
    const auto& codes = tables::encode;
    const char16_t* p = text.utf16();
    const char16_t* end = p + text.size();
    // Room for the worst case, a reference of up to 10 bytes per code unit; written through
    // a pointer because this loop carries every byte of every page.
    const qsizetype start = out.size();
    out.resize(start + text.size() * 10);
    char* o = out.data() + start;
    auto reference = [&o](uint codePoint) {
        char digits[16];
        int n = 0;
        do {
            digits[n++] = char('0' + codePoint % 10);
            codePoint /= 10;
        } while (codePoint > 0);
        *o++ = '&';
        *o++ = '#';
        while (n > 0)
            *o++ = digits[--n];
        *o++ = ';';
    };
    while (p < end) {
        const char16_t c = *p++;
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
            reference(QChar::surrogateToUcs4(c, *p++));
            continue;
        }
        if (QChar::isSurrogate(c)) {
            reference(0xFFFD); // an unpaired half has no character to show
            continue;
        }
        const quint16 code = codes[c];
        if (code == kNoCode) {
            reference(c);
        } else if (code > 0xFF) {
            *o++ = char(code >> 8);
            *o++ = char(code & 0xFF);
        } else {
            *o++ = char(code);
        }
    }
    out.truncate(o - out.constData());
}

QByteArray encode(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    encodeInto(out, text);
    return out;
}

bool looksLikeUtf8(const QByteArray& bytes)
{
    bool multiByte = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        int extra = 0;
        if (b < 0x80)
            extra = 0;
        else if (b >= 0xC2 && b <= 0xDF)
            extra = 1;
        else if (b >= 0xE0 && b <= 0xEF)
            extra = 2;
        else if (b >= 0xF0 && b <= 0xF4)
            extra = 3;
        else
            return false;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
        }
        multiByte = multiByte || extra > 0;
        i += extra + 1;
    }
    return multiByte;
}

bool decodeStrict(QByteArrayView bytes, QString& out)
{
    const auto* p = reinterpret_cast<const quint8*>(bytes.data());
    const auto* end = p + bytes.size();
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    char16_t* o = reinterpret_cast<char16_t*>(out.data()) + start;
    bool ok = true;
    while (p < end) {
        const quint8 b = *p;
        char16_t c = tables::kNoChar;
        if (!tables::lead[b]) {
            c = tables::single[b];
            ++p;
        } else if (p + 1 < end) {
            c = tables::pairs[b * 256 + p[1]];
            p += 2;
        }
        if (c == tables::kNoChar) {
            ok = false;
            break;
        }
        *o++ = c;
    }
    out.truncate(o - reinterpret_cast<const char16_t*>(out.constData()));
    return ok;
}

namespace {

// Appends one run of bytes from 0x80 up as ICU's converter reads it, with its substitutes:
// U+FFFD for a pair without a character, U+001A for a lead byte whose second byte is refused
// (that byte is then read on its own) and for a single byte without a character.
void decodeRun(const quint8* p, const quint8* end, QString& out)
{
    while (p < end) {
        const quint8 b = *p++;
        if (!tables::lead[b]) {
            out += QChar(tables::substituted[b]);
        } else if (p == end) {
            out += QChar(0x1A);
        } else if (tables::trail[*p]) {
            const char16_t c = tables::pairs[b * 256 + *p++];
            out += QChar(c == tables::kNoChar ? char16_t(0xFFFD) : c);
        } else {
            out += QChar(0x1A);
            out += QChar(tables::substituted[*p++]);
        }
    }
}

} // namespace

QString decode(const QByteArray& bytes, bool* clean)
{
    // ASCII bytes are taken as themselves (see the table); the runs between are read as
    // ICU's converter reads them, so that a damaged file reads the same in every build.
    bool ok = !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")
        && !bytes.contains('\0') && !looksLikeUtf8(bytes);
    const auto* data = reinterpret_cast<const quint8*>(bytes.constData());
    QString result;
    result.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (data[i] < 0x80) {
            result += QLatin1Char(char(data[i++]));
            continue;
        }
        qsizetype j = i;
        // A trail byte may be ASCII-range, so a run ends only after a complete character.
        while (j < bytes.size() && data[j] >= 0x80)
            j += (tables::lead[data[j]] && j + 1 < bytes.size()) ? 2 : 1;
        const qsizetype from = result.size();
        decodeRun(data + i, data + j, result);
        // What could not be read is marked with U+FFFD or U+001A.
        const QStringView decoded = QStringView(result).mid(from);
        if (decoded.contains(QChar(0xFFFD)) || decoded.contains(QChar(0x1A)))
            ok = false;
        i = j;
    }
    if (clean)
        *clean = ok;
    return result;
}

qint64 firstWithoutCode(QStringView text)
{
    const auto& codes = tables::encode;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            return QChar::surrogateToUcs4(c, text[i + 1].unicode());
        if (QChar::isSurrogate(c) || codes[c] == kNoCode)
            return c;
    }
    return -1;
}

QString describeCharacter(char32_t codePoint)
{
    return QStringLiteral("「%1」（U+%2）")
        .arg(QString::fromUcs4(&codePoint, 1), QStringLiteral("%1").arg(uint(codePoint), 4, 16, QLatin1Char('0')).toUpper());
}

} // namespace qadora::cp932
