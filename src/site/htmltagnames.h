// SPDX-License-Identifier: GPL-3.0-or-later
// Tags by name, as the HTML parser's tree construction treats them: for the tokenizer that
// limits the depth of markup before the parser sees it (htmldepth.cpp). Names are lower case.
#pragma once

#include <initializer_list>
#include <string_view>

namespace qadora::tagnames {

using Name = std::string_view;

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool oneOf(Name name, std::initializer_list<Name> names)
{
    for (Name n : names)
        if (n == name)
            return true;
    return false;
}

// Never open: void elements (and a few the parser closes at once); taken generously, as
// counting one too few only lets the parser's own limit apply.
inline bool neverOpen(Name n)
{
    return oneOf(n, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                     "track", "wbr", "basefont", "bgsound", "frame", "keygen", "image", "isindex", "menuitem", "html",
                     "head", "body", "frameset"});
}

// Elements whose content the tokenizer takes as text up to their end tag.
inline bool isRawTextName(Name n)
{
    return oneOf(n, {"script", "style", "xmp", "iframe", "noembed", "noframes", "noscript", "textarea", "title"});
}

// Text-level and block elements that end SVG or MathML content.
inline bool breaksOutOfForeign(Name n)
{
    return oneOf(n, {"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt", "em", "embed",
                     "h1", "h2", "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li", "listing", "menu", "meta",
                     "nobr", "ol", "p", "pre", "ruby", "s", "small", "span", "strong", "strike", "sub", "sup", "table",
                     "tt", "u", "ul", "var", "font"});
}

inline bool closesParagraph(Name n)
{
    return oneOf(n, {"address", "article", "aside", "blockquote", "center", "details", "dialog", "dir", "div", "dl",
                     "fieldset", "figcaption", "figure", "footer", "header", "hgroup", "main", "menu", "nav", "ol", "p",
                     "section", "summary", "ul", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "listing", "form", "table",
                     "hr", "xmp", "plaintext", "li", "dd", "dt"});
}

// The parser's special elements that can be open; an item closes the one before it only if
// none of these but an address, div or p stands between them.
inline bool isSpecial(Name n)
{
    return oneOf(n, {"address", "applet", "article", "aside", "blockquote", "button", "caption", "center", "colgroup",
                     "dd", "details", "dir", "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form",
                     "h1", "h2", "h3", "h4", "h5", "h6", "header", "hgroup", "iframe", "li", "listing", "main",
                     "marquee", "menu", "nav", "noembed", "noframes", "noscript", "object", "ol", "p", "plaintext",
                     "pre", "script", "section", "select", "style", "summary", "table", "tbody", "td", "template",
                     "textarea", "tfoot", "th", "thead", "title", "tr", "ul", "xmp", "mi", "mo", "mn", "ms", "mtext",
                     "annotation-xml", "foreignobject", "desc"});
}

// Where the parser stops looking for an element "in scope".
inline bool endsScope(Name n)
{
    return oneOf(n, {"applet", "caption", "table", "td", "th", "marquee", "object", "template", "mi", "mo", "mn", "ms",
                     "mtext", "annotation-xml", "foreignobject", "desc", "title"});
}

// Formatting elements: the parser keeps them in its list of active formatting elements, and
// opens again those that something else closed, as soon as text or a tag follows.
inline bool isFormatting(Name n)
{
    return oneOf(n, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong", "tt", "u"});
}

// Elements that put a marker in that list: what stands after it goes when they close.
inline bool putsMarker(Name n)
{
    return oneOf(n, {"applet", "caption", "marquee", "object", "template", "td", "th"});
}

inline bool isHeading(Name n)
{
    return n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6';
}

inline bool isTablePart(Name n)
{
    return oneOf(n, {"caption", "colgroup", "tbody", "thead", "tfoot", "tr", "td", "th"});
}

// Start tags before which the parser opens again the formatting something else closed: all
// but blocks and table parts. Taken generously, as one too many only adds to an estimate.
inline bool reopensFormatting(Name n)
{
    return (!closesParagraph(n) || n == "xmp") && !isTablePart(n);
}

} // namespace qadora::tagnames
