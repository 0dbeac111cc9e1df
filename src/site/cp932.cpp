// SPDX-License-Identifier: GPL-3.0-or-later
#include "cp932.h"

#include <QString>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <memory>

namespace qadora::cp932 {

namespace {

constexpr quint16 kNoCode = 0xFFFF;

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter()
{
    UErrorCode err = U_ZERO_ERROR;
    Converter cnv(ucnv_open("windows-31j", &err));
    if (U_FAILURE(err))
        qFatal("ICU has no windows-31j converter: %s", u_errorName(err));
    // Round-trip mappings only: a fallback such as U+00A5 -> 0x5C would show a look-alike.
    ucnv_setFallback(cnv.get(), false);
    return cnv;
}

// Built once from ICU: 65,536 entries, one per BMP code unit.
struct Table {
    std::array<quint16, 65536> codes{};

    Table()
    {
        codes.fill(kNoCode);
        // ICU's converter swaps 0x1A, 0x1C and 0x7F; ASCII is written as itself.
        for (int c = 0; c < 0x80; ++c)
            codes[c] = quint16(c);
        Converter cnv = openConverter();
        UErrorCode err = U_ZERO_ERROR;
        ucnv_setFromUCallBack(cnv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        for (int c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const UChar u = UChar(c);
            char out[8];
            err = U_ZERO_ERROR;
            const int32_t len = ucnv_fromUChars(cnv.get(), out, sizeof out, &u, 1, &err);
            // A length of 0 is ICU silently dropping a default-ignorable character.
            if (U_FAILURE(err) || len < 1 || len > 2)
                continue;
            codes[c] = len == 1 ? quint8(out[0]) : quint16((quint8(out[0]) << 8) | quint8(out[1]));
        }
        // A private-use character that ICU maps one way only.
        codes[0xF86F] = kNoCode;
    }
};

const Table& table()
{
    static const Table t;
    return t;
}

} // namespace

int codeOf(char16_t c)
{
    const quint16 code = table().codes[c];
    return code == kNoCode ? -1 : code;
}

void encodeInto(QByteArray& out, QStringView text)
{
    const auto& codes = table().codes;
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

namespace {

// Every character of the code page by its bytes, built once from ICU: single bytes, and pairs
// of a lead byte (0x81-0x9F, 0xE0-0xFC) and a trail byte.
struct DecodeTable {
    std::array<char16_t, 256> single{};
    std::array<bool, 256> lead{};
    std::array<std::array<char16_t, 256>, 256> pairs{};

    DecodeTable()
    {
        single.fill(kNoChar);
        for (auto& row : pairs)
            row.fill(kNoChar);
        for (int b = 0; b < 0x80; ++b)
            single[b] = char16_t(b);
        Converter cnv = openConverter();
        UErrorCode err = U_ZERO_ERROR;
        ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        const auto toU = [&](const char* in, int len) -> char16_t {
            UChar u[4];
            err = U_ZERO_ERROR;
            ucnv_resetToUnicode(cnv.get());
            const int32_t n = ucnv_toUChars(cnv.get(), u, 4, in, len, &err);
            return U_SUCCESS(err) && n == 1 ? char16_t(u[0]) : kNoChar;
        };
        for (int b = 0x80; b < 0x100; ++b) {
            lead[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            const char one[1] = {char(b)};
            if (!lead[b])
                single[b] = toU(one, 1);
            for (int t = 0x40; lead[b] && t < 0x100; ++t) {
                const char two[2] = {char(b), char(t)};
                pairs[b][t] = toU(two, 2);
            }
        }
    }
    static constexpr char16_t kNoChar = 0xFFFF;
};

const DecodeTable& decodeTable()
{
    static const DecodeTable t;
    return t;
}

} // namespace

bool decodeStrict(QByteArrayView bytes, QString& out)
{
    const DecodeTable& t = decodeTable();
    const auto* p = reinterpret_cast<const quint8*>(bytes.data());
    const auto* end = p + bytes.size();
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    char16_t* o = reinterpret_cast<char16_t*>(out.data()) + start;
    bool ok = true;
    while (p < end) {
        const quint8 b = *p;
        char16_t c = DecodeTable::kNoChar;
        if (!t.lead[b]) {
            c = t.single[b];
            ++p;
        } else if (p + 1 < end) {
            c = t.pairs[b][p[1]];
            p += 2;
        }
        if (c == DecodeTable::kNoChar) {
            ok = false;
            break;
        }
        *o++ = c;
    }
    out.truncate(o - reinterpret_cast<const char16_t*>(out.constData()));
    return ok;
}

QString decode(const QByteArray& bytes, bool* clean)
{
    // ASCII bytes are taken as themselves (see the table); the runs between go through ICU.
    Converter cnv = openConverter();
    bool ok = !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")
        && !bytes.contains('\0') && !looksLikeUtf8(bytes);
    QString result;
    result.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (quint8(bytes[i]) < 0x80) {
            result += QLatin1Char(bytes[i++]);
            continue;
        }
        qsizetype j = i;
        // A trail byte may be ASCII-range, so a run ends only after a complete character.
        while (j < bytes.size() && quint8(bytes[j]) >= 0x80) {
            const quint8 b = quint8(bytes[j]);
            const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            j += (lead && j + 1 < bytes.size()) ? 2 : 1;
        }
        UErrorCode err = U_ZERO_ERROR;
        QString part(2 * (j - i) + 1, Qt::Uninitialized);
        ucnv_resetToUnicode(cnv.get());
        const int32_t len = ucnv_toUChars(cnv.get(), reinterpret_cast<UChar*>(part.data()), int32_t(part.size()),
                                          bytes.constData() + i, int32_t(j - i), &err);
        if (U_SUCCESS(err)) {
            const QStringView decoded = QStringView(part).left(len);
            // ICU marks what it could not map with U+FFFD or U+001A.
            if (decoded.contains(QChar(0xFFFD)) || decoded.contains(QChar(0x1A)))
                ok = false;
            result += decoded;
        } else {
            ok = false;
        }
        i = j;
    }
    if (clean)
        *clean = ok;
    return result;
}

qint64 firstWithoutCode(QStringView text)
{
    const auto& codes = table().codes;
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
