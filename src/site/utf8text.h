// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 text written straight into the bytes of a page, escaped on the way: a modern page is
// built once as the bytes it is written as, not as UTF-16 text converted afterwards. Every
// append gives the bytes QString::toUtf8() gives of the same text escaped the same way (a lone
// surrogate as "?").
#pragma once

#include <QByteArray>
#include <QStringView>

#include <algorithm>
#include <cstring>

namespace qadora {

class Utf8Text {
public:
    enum class Escape {
        None,
        Html,      // as escapeHtml()
        Attribute, // as escapeAttribute()
        Json,      // as jsonString() without its quotes
    };

    explicit Utf8Text(qsizetype reserve = 0) { m_bytes.reserve(reserve); }

    template <qsizetype N>
    Utf8Text& operator<<(const char (&ascii)[N])
    {
        raw(ascii, N - 1);
        return *this;
    }
    Utf8Text& operator<<(const QByteArray& bytes)
    {
        raw(bytes.constData(), bytes.size());
        return *this;
    }
    Utf8Text& operator<<(char c)
    {
        raw(&c, 1);
        return *this;
    }
    Utf8Text& operator<<(QStringView text) { return add(text, Escape::None); }

    Utf8Text& html(QStringView text) { return add(text, Escape::Html); }
    // '"' + escapeAttribute(text) + '"'
    Utf8Text& attribute(QStringView text)
    {
        m_bytes.append('"');
        add(text, Escape::Attribute);
        m_bytes.append('"');
        return *this;
    }
    // jsonString(text)
    Utf8Text& json(QStringView text)
    {
        m_bytes.append('"');
        add(text, Escape::Json);
        m_bytes.append('"');
        return *this;
    }
    Utf8Text& number(int n)
    {
        const QByteArray digits = QByteArray::number(n);
        raw(digits.constData(), digits.size());
        return *this;
    }

    Utf8Text& add(QStringView text, Escape escape);

    // `n` bytes this text already holds, from `at`, once more at its end.
    Utf8Text& repeat(qsizetype at, qsizetype n)
    {
        const qsizetype end = m_bytes.size();
        room(n);
        m_bytes.resize(end + n);
        std::memcpy(m_bytes.data() + end, m_bytes.constData() + at, size_t(n));
        return *this;
    }

    qsizetype size() const { return m_bytes.size(); }
    const QByteArray& bytes() const { return m_bytes; }
    QByteArray take() { return std::move(m_bytes); }

private:
    // QByteArray::append() of a few bytes goes through its general insert(), several times
    // the cost of the copy: the page's parts are copied in here, the buffer grown by doubling.
    void raw(const char* data, qsizetype n)
    {
        const qsizetype at = m_bytes.size();
        room(n);
        m_bytes.resize(at + n);
        std::memcpy(m_bytes.data() + at, data, size_t(n));
    }
    void room(qsizetype n)
    {
        const qsizetype at = m_bytes.size();
        if (m_bytes.capacity() < at + n)
            m_bytes.reserve(std::max(at + n, 2 * m_bytes.capacity()));
    }

    QByteArray m_bytes;
};

namespace utf8text {

// Which ASCII characters each escape writes as something else.
struct Specials {
    bool html[128] = {};
    bool attribute[128] = {};
    bool json[128] = {};
    constexpr Specials()
    {
        for (const char c : {'&', '<', '>'})
            html[int(c)] = attribute[int(c)] = json[int(c)] = true;
        attribute[int('"')] = true;
        json[int('"')] = json[int('\\')] = true;
        for (int c = 0; c < 0x20; ++c)
            json[c] = true;
    }
};
inline constexpr Specials kSpecials;

} // namespace utf8text

inline Utf8Text& Utf8Text::add(QStringView text, Escape escape)
{
    // The worst case, a character of three bytes per UTF-16 unit or a six-byte escape, is
    // reserved once; the loop then writes through a plain pointer.
    const qsizetype start = m_bytes.size();
    m_bytes.resize(start + text.size() * 6);
    char* out = m_bytes.data() + start;
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    static constexpr char hex[] = "0123456789abcdef";
    static constexpr bool none[128] = {};
    const bool* const special = escape == Escape::Html     ? utf8text::kSpecials.html
        : escape == Escape::Attribute                      ? utf8text::kSpecials.attribute
        : escape == Escape::Json                           ? utf8text::kSpecials.json
                                                           : none;
    const bool markup = escape == Escape::Html || escape == Escape::Attribute;
    auto literal = [&out](const char* s) {
        while (*s)
            *out++ = *s++;
    };
    while (p < end) {
        const char16_t u = *p++;
        if (u < 0x80) {
            if (!special[u]) {
                *out++ = char(u);
                continue;
            }
            if (markup) {
                literal(u == u'&' ? "&amp;" : u == u'<' ? "&lt;" : u == u'>' ? "&gt;" : "&quot;");
                continue;
            }
            switch (u) {
            case u'"': literal("\\\""); break;
            case u'\\': literal("\\\\"); break;
            case u'\n': literal("\\n"); break;
            case u'\r': literal("\\r"); break;
            case u'\t': literal("\\t"); break;
            default:
                literal("\\u00");
                *out++ = hex[u >> 4];
                *out++ = hex[u & 15];
            }
        } else if (u < 0x800) {
            if (u == 0xa0 && markup) {
                literal("&nbsp;");
                continue;
            }
            *out++ = char(0xc0 | (u >> 6));
            *out++ = char(0x80 | (u & 0x3f));
        } else if (u >= 0xd800 && u <= 0xdfff) {
            if (u < 0xdc00 && p < end && *p >= 0xdc00 && *p <= 0xdfff) {
                const char32_t c = 0x10000 + ((char32_t(u) - 0xd800) << 10) + (char32_t(*p++) - 0xdc00);
                *out++ = char(0xf0 | (c >> 18));
                *out++ = char(0x80 | ((c >> 12) & 0x3f));
                *out++ = char(0x80 | ((c >> 6) & 0x3f));
                *out++ = char(0x80 | (c & 0x3f));
            } else {
                *out++ = '?';
            }
        } else {
            if (escape == Escape::Json && (u == 0x2028 || u == 0x2029)) {
                literal(u == 0x2028 ? "\\u2028" : "\\u2029");
                continue;
            }
            *out++ = char(0xe0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
            *out++ = char(0x80 | (u & 0x3f));
        }
    }
    m_bytes.resize(out - m_bytes.data());
    return *this;
}

} // namespace qadora
