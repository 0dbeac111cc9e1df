// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the tables of cp932tables.h from ICU's "windows-31j" converter.
// Usage: cp932gen OUTPUT.cpp
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr unsigned kNoCode = 0xFFFF;
constexpr unsigned kNoChar = 0xFFFF;

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "cp932gen: %s\n", why.c_str());
    std::exit(1);
}

UConverter* open(bool stop)
{
    UErrorCode err = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("windows-31j", &err);
    if (U_FAILURE(err))
        fail(std::string("ICU has no windows-31j converter: ") + u_errorName(err));
    // Round-trip mappings only: a fallback such as U+00A5 -> 0x5C would show a look-alike.
    ucnv_setFallback(cnv, false);
    if (stop) {
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    }
    return cnv;
}

// The UTF-16 units ICU reads from `len` bytes, or none on an error.
std::u16string toU(UConverter* cnv, const char* in, int len)
{
    UChar u[8];
    UErrorCode err = U_ZERO_ERROR;
    ucnv_resetToUnicode(cnv);
    const int32_t n = ucnv_toUChars(cnv, u, 8, in, len, &err);
    if (U_FAILURE(err))
        return {};
    return std::u16string(reinterpret_cast<const char16_t*>(u), size_t(n));
}

bool isLead(int b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

template <typename T, size_t N>
void write(FILE* f, const char* type, const char* name, const std::array<T, N>& values)
{
    std::fprintf(f, "const %s %s[%zu] = {", type, name, N);
    for (size_t i = 0; i < N; ++i)
        std::fprintf(f, "%s0x%X,", i % 16 == 0 ? "\n" : "", unsigned(values[i]));
    std::fprintf(f, "\n};\n\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        fail("usage: cp932gen OUTPUT.cpp");
    UConverter* stop = open(true);
    UConverter* substitute = open(false);

    static std::array<unsigned, 65536> encode;
    encode.fill(kNoCode);
    // ICU's converter exchanges 0x1A, 0x1C and 0x7F; ASCII is written as itself.
    for (int c = 0; c < 0x80; ++c)
        encode[c] = unsigned(c);
    for (int c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const UChar u = UChar(c);
        char out[8];
        UErrorCode err = U_ZERO_ERROR;
        const int32_t len = ucnv_fromUChars(stop, out, sizeof out, &u, 1, &err);
        // A length of 0 is ICU silently dropping a default-ignorable character.
        if (U_FAILURE(err) || len < 1 || len > 2)
            continue;
        encode[c] = len == 1 ? unsigned((unsigned char)(out[0])) : (unsigned((unsigned char)(out[0])) << 8) | unsigned((unsigned char)(out[1]));
    }
    // A private-use character that ICU maps one way only.
    encode[0xF86F] = kNoCode;

    std::array<unsigned, 256> single, lead, trail, substituted;
    single.fill(kNoChar);
    lead.fill(0);
    trail.fill(0);
    for (int b = 0; b < 0x100; ++b) {
        const char one[1] = {char(b)};
        const std::u16string s = toU(substitute, one, 1);
        if (s.size() != 1)
            fail("unexpected reading of a single byte");
        substituted[b] = s[0];
        if (b < 0x80) {
            single[b] = unsigned(b);
        } else {
            lead[b] = isLead(b);
            const std::u16string u = toU(stop, one, 1);
            if (!lead[b] && u.size() == 1)
                single[b] = u[0];
        }
    }
    static std::array<unsigned, 65536> pairs;
    pairs.fill(kNoChar);
    for (int b = 0x81; b < 0x100; ++b) {
        if (!lead[b])
            continue;
        for (int t = 0; t < 0x100; ++t) {
            const char two[2] = {char(b), char(t)};
            const std::u16string u = toU(stop, two, 2);
            if (u.size() == 1)
                pairs[b * 256 + t] = u[0];
            // With substitutes: one character for an accepted pair (U+FFFD when unassigned),
            // or U+001A for the lead byte and the trail byte read again on its own.
            const std::u16string s = toU(substitute, two, 2);
            const bool accepted = s.size() == 1;
            if (accepted && u.size() != 1 && s[0] != 0xFFFD)
                fail("a pair read with substitutes only");
            if (!accepted && (s.size() != 2 || s[0] != 0x1A || s[1] != substituted[t]))
                fail("unexpected reading of a refused pair");
            if (!accepted && isLead(t))
                fail("a refused trail byte that is a lead byte");
            if (b == 0x81)
                trail[t] = accepted;
            else if (bool(trail[t]) != accepted)
                fail("trail bytes differ between lead bytes");
        }
    }

    FILE* f = std::fopen(argv[1], "w");
    if (!f)
        fail(std::string("cannot write ") + argv[1]);
    std::fprintf(f, "// Generated by cp932gen from ICU %s; do not edit.\n", U_ICU_VERSION);
    std::fprintf(f, "#include \"site/cp932tables.h\"\n\nnamespace qadora::cp932::tables {\n\n");
    write(f, "quint16", "encode", encode);
    write(f, "char16_t", "single", single);
    write(f, "bool", "lead", lead);
    write(f, "bool", "trail", trail);
    write(f, "char16_t", "pairs", pairs);
    write(f, "char16_t", "substituted", substituted);
    std::fprintf(f, "} // namespace qadora::cp932::tables\n");
    if (std::fclose(f) != 0)
        fail(std::string("cannot write ") + argv[1]);
    ucnv_close(stop);
    ucnv_close(substitute);
    return 0;
}
