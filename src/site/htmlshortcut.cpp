// SPDX-License-Identifier: GPL-3.0-or-later
// The balancer's shortcuts: text and simple markup whose tree the parser would give as it is
// written, balanced without the parser.
#include "htmltree.h"

#include <optional>
#include <utility>

namespace qadora {

namespace {

// A code unit the parser reads as the same character: not a control (but white space), nor a
// noncharacter, nor half of a character (`next` is the unit after it).
bool keptAsIs(char16_t u, char16_t next)
{
    if (u < 0x20 ? u != u'\n' && u != u'\t' : u >= 0x7f && u < 0xa0)
        return false;
    if ((u >= 0xfdd0 && u <= 0xfdef) || u >= 0xfffe)
        return false;
    if (QChar::isLowSurrogate(u))
        return false;
    // A character outside the BMP, but not one of its noncharacters (U+xFFFE, U+xFFFF).
    return !QChar::isHighSurrogate(u) || (QChar::isLowSurrogate(next) && next < 0xdffe);
}

// Text without markup, references, carriage returns or controls reads back from the parser
// as itself: most questions and titles need no parse.
bool plainText(const QString& html)
{
    const qsizetype n = html.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = html[i].unicode();
        if (u == u'<' || u == u'&' || !keptAsIs(u, i + 1 < n ? html[i + 1].unicode() : 0))
            return false;
        if (QChar::isHighSurrogate(u))
            ++i;
    }
    return true;
}

// The one character reference of `ref` (after its "&") that the shortcut reads, with its length.
std::pair<char16_t, qsizetype> simpleReference(QStringView ref)
{
    static constexpr std::pair<const char16_t*, char16_t> known[] = {
        {u"amp;", u'&'}, {u"lt;", u'<'}, {u"gt;", u'>'}, {u"quot;", u'"'}, {u"nbsp;", 0xa0}};
    for (const auto& [name, c] : known) {
        const QStringView n(name);
        if (ref.startsWith(n))
            return {c, n.size()};
    }
    return {0, 0};
}

// Text-level elements with no rule of their own in the parser: written in order and closed,
// they read back as themselves.
bool simpleElement(GumboTag tag)
{
    return isPhrasing(tag) && tag != GUMBO_TAG_RUBY && tag != GUMBO_TAG_RT && tag != GUMBO_TAG_RP;
}

// Markup of only such elements, without attributes, each closed in the order opened, in text
// with no controls, lone surrogates or noncharacters and with only the commonest references:
// the parser's tree of it is the markup itself, so it is balanced as it stands, exactly as the
// parser and the writer would give it. Most answers (a <b>, a <br>) are of this kind. Empty
// when the markup is not, or needs the parser to say.
// A character written as it is and read back as itself, whatever follows it.
bool ordinary(char16_t u)
{
    return u >= 0x20 && u != u'<' && u != u'&' && u != u'>' && (u < 0x7f || u > 0xa0)
        && !QChar::isSurrogate(u) && !(u >= 0xfdd0 && u <= 0xfdef) && u < 0xfffe;
}

std::optional<BalancedHtml> simpleMarkup(const QString& html)
{
    QString out;
    QString text;
    out.reserve(html.size() + 16);
    text.reserve(html.size());
    GumboTag open[16];
    int depth = 0;
    const QStringView in(html);
    const qsizetype n = in.size();
    auto letter = [](char16_t u) { return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'); };
    auto nameChar = [&](char16_t u) { return letter(u) || (u >= u'0' && u <= u'9'); };
    for (qsizetype i = 0; i < n;) {
        const char16_t u = in[i].unicode();
        if (u == u'<') {
            const bool end = i + 1 < n && in[i + 1] == u'/';
            qsizetype at = i + (end ? 2 : 1);
            if (at >= n || !letter(in[at].unicode()))
                return std::nullopt;
            const qsizetype start = at;
            char name[16];
            while (at < n && nameChar(in[at].unicode())) {
                if (at - start >= qsizetype(sizeof name) - 1)
                    return std::nullopt;
                name[at - start] = char(in[at].unicode());
                ++at;
            }
            const auto length = unsigned(at - start);
            const GumboTag tag = gumbo_tagn_enum(name, length);
            if (tag == GUMBO_TAG_UNKNOWN || !simpleElement(tag))
                return std::nullopt;
            const bool isVoidTag = tag == GUMBO_TAG_BR || tag == GUMBO_TAG_WBR;
            if (!end && isVoidTag) {
                while (at < n && in[at] == u' ')
                    ++at;
                if (at < n && in[at] == u'/')
                    ++at;
            }
            if (at >= n || in[at] != u'>')
                return std::nullopt;
            i = at + 1;
            const QLatin1StringView normalized(gumbo_normalized_tagname(tag));
            if (end) {
                if (depth == 0 || open[depth - 1] != tag)
                    return std::nullopt;
                --depth;
                out += QLatin1StringView("</") + normalized + u'>';
                continue;
            }
            out += u'<' + normalized + u'>';
            if (tag == GUMBO_TAG_BR) {
                text += u' '; // a line's end parts words
                continue;
            }
            if (isVoidTag)
                continue;
            if (depth == int(std::size(open)))
                return std::nullopt;
            open[depth++] = tag;
            continue;
        }
        if (u == u'&') {
            const auto [c, length] = simpleReference(in.sliced(i + 1));
            if (!c)
                return std::nullopt;
            i += 1 + length;
            text += QChar(c);
            switch (c) {
            case u'&': out += QLatin1StringView("&amp;"); break;
            case u'<': out += QLatin1StringView("&lt;"); break;
            case u'>': out += QLatin1StringView("&gt;"); break;
            case 0xa0: out += QLatin1StringView("&nbsp;"); break;
            default: out += QChar(c);
            }
            continue;
        }
        // A run of characters that are written as they are, copied whole.
        if (ordinary(u)) {
            qsizetype end = i + 1;
            while (end < n && ordinary(in[end].unicode()))
                ++end;
            out += in.sliced(i, end - i);
            text += in.sliced(i, end - i);
            i = end;
            continue;
        }
        ++i;
        if (u == u'\r')
            continue; // a control: dropped, as before the parser
        if (!keptAsIs(u, i < n ? in[i].unicode() : 0))
            return std::nullopt;
        if (QChar::isHighSurrogate(u)) {
            out += QChar(u);
            text += QChar(u);
            out += in[i];
            text += in[i];
            ++i;
            continue;
        }
        if (u == u'>')
            out += QLatin1StringView("&gt;");
        else if (u == 0xa0)
            out += QLatin1StringView("&nbsp;");
        else
            out += QChar(u);
        text += QChar(u);
    }
    if (depth != 0)
        return std::nullopt;
    return BalancedHtml{out, collapseSpaces(text), {}};
}

} // namespace

BalancedHtml balanceHtml(const QString& html, HtmlContext context)
{
    if (plainText(html))
        return {escapeHtml(html), collapseSpaces(html), {}};
    if (std::optional<BalancedHtml> simple = simpleMarkup(html))
        return *std::move(simple);
    return balanceHtmlByParser(html, context);
}

} // namespace qadora
