// SPDX-License-Identifier: GPL-3.0-or-later
// The parser gives every markup a tree, but not always one a document may hold: it keeps a
// <div> inside a <b>, a <table> inside a <span>, a link inside a table inside a link, an <li>
// with no list. A browser shows such a tree anyway; a checker reports it. This pass rewrites
// the tree the way the parser itself repairs a <p>: text-level markup is closed before a
// block and opened again inside it, so everything still reads and looks the same.
#include "htmltree.h"

#include <algorithm>

namespace qadora {

namespace {

// Elements that are never text-level content: they need a parent that takes blocks.
bool isBlock(const HtmlNode& n)
{
    if (!n.element || !n.html)
        return false;
    switch (n.tag) {
    case GUMBO_TAG_ADDRESS: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_ASIDE: case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER: case GUMBO_TAG_DETAILS: case GUMBO_TAG_DIR: case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL: case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE: case GUMBO_TAG_FOOTER: case GUMBO_TAG_FORM: case GUMBO_TAG_HEADER: case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR: case GUMBO_TAG_MAIN: case GUMBO_TAG_MENU: case GUMBO_TAG_NAV: case GUMBO_TAG_OL: case GUMBO_TAG_P:
    case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY: case GUMBO_TAG_TABLE: case GUMBO_TAG_CAPTION: case GUMBO_TAG_COLGROUP: case GUMBO_TAG_COL:
    case GUMBO_TAG_TBODY: case GUMBO_TAG_THEAD: case GUMBO_TAG_TFOOT: case GUMBO_TAG_TR: case GUMBO_TAG_TD:
    case GUMBO_TAG_TH: case GUMBO_TAG_UL: case GUMBO_TAG_LI: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3:
    case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_LEGEND: case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
        return true;
    default:
        return false;
    }
}

// Blocks that hold only text-level content: a block inside one ends it.
bool holdsOnlyText(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_P: case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3:
    case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_SUMMARY: case GUMBO_TAG_LEGEND:
        return true;
    default:
        return false;
    }
}

// Containers whose children are their own parts (items, rows, cells), never loose text.
bool holdsParts(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR: case GUMBO_TAG_DL: case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TBODY: case GUMBO_TAG_THEAD: case GUMBO_TAG_TFOOT: case GUMBO_TAG_TR: case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_HGROUP:
        return true;
    default:
        return false;
    }
}

bool isInteractive(GumboTag tag)
{
    return tag == GUMBO_TAG_A || tag == GUMBO_TAG_BUTTON || tag == GUMBO_TAG_LABEL || tag == GUMBO_TAG_SELECT
        || tag == GUMBO_TAG_TEXTAREA || tag == GUMBO_TAG_DETAILS || tag == GUMBO_TAG_IFRAME || tag == GUMBO_TAG_EMBED;
}

bool blank(const QList<HtmlNode>& nodes)
{
    for (const HtmlNode& n : nodes)
        if (n.element || !n.text.trimmed().isEmpty())
            return false;
    return true;
}

// A copy of `e` holding `children`; copies after the first lose the id, which must stay unique.
HtmlNode copyOf(const HtmlNode& e, QList<HtmlNode> children, bool first)
{
    HtmlNode c = e;
    if (!first)
        c.attributes.removeIf([](const auto& a) { return a.first.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0; });
    c.children = std::move(children);
    return c;
}

qsizetype markupSize(const HtmlNode& e)
{
    qsizetype size = 2 * e.name.size() + 5;
    for (const auto& [name, value] : e.attributes)
        size += name.size() + value.size() + 4;
    return size;
}

// Block `b` with the text-level `e` opened again inside it, around each run of its text.
// Text-level elements nested in a chain, each holding a block, are opened again the square of
// their number of times: past `*carryLeft` (of markup), the text stays without them.
HtmlNode carryInto(const HtmlNode& e, HtmlNode b, qsizetype* carryLeft)
{
    if (!b.html || holdsOnlyText(e.tag))
        return b; // a heading or paragraph is not carried into another block
    const qsizetype size = markupSize(e);
    QList<HtmlNode> children;
    QList<HtmlNode> run;
    auto flush = [&] {
        if (blank(run) || *carryLeft < size) {
            children += run;
        } else {
            *carryLeft -= size;
            children += copyOf(e, run, false);
        }
        run.clear();
    };
    for (HtmlNode& k : b.children) {
        if (isBlock(k) || holdsParts(b.tag)) {
            flush();
            children += k.element ? carryInto(e, std::move(k), carryLeft) : k;
        } else {
            run += k;
        }
    }
    flush();
    b.children = std::move(children);
    return b;
}

struct Nesting {
    bool textOnly = false; // the parent takes text-level content only
    bool interactive = false; // inside a link or a button
    qsizetype* carryLeft = nullptr; // of text-level markup to open again inside blocks
};

QList<HtmlNode> nest(const QList<HtmlNode>& nodes, Nesting where);

QList<HtmlNode> nestOne(const HtmlNode& original, Nesting where)
{
    if (!original.element || !original.html)
        return {original};
    const HtmlNode n = current(original);
    // A link in a link, or an element no one knows: its content without it.
    switch (n.tag) {
    // Obsolete, and shown by no browser of today (or, for noembed and noframes, only where
    // embeds or frames are not): nothing of them is written.
    case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_NOEMBED: case GUMBO_TAG_FRAME: case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_ISINDEX: case GUMBO_TAG_KEYGEN: case GUMBO_TAG_NEXTID: case GUMBO_TAG_PARAM: case GUMBO_TAG_MENUITEM:
        return {};
    default:
        break;
    }
    if ((where.interactive && isInteractive(n.tag)) || (n.tag == GUMBO_TAG_UNKNOWN && !n.name.contains(u'-'))
        || n.tag == GUMBO_TAG_MARQUEE || n.tag == GUMBO_TAG_BLINK || n.tag == GUMBO_TAG_BASEFONT || n.tag == GUMBO_TAG_BGSOUND
        || n.tag == GUMBO_TAG_SPACER || n.tag == GUMBO_TAG_APPLET || n.tag == GUMBO_TAG_MULTICOL) {
        // Text an iframe held literally is text once the iframe is gone: written escaped.
        QList<HtmlNode> content = n.children;
        for (HtmlNode& k : content)
            k.raw = false;
        return nest(content, where);
    }
    Nesting inner = where;
    // Only a link and a button may hold nothing interactive; details or a label may hold links.
    inner.interactive = where.interactive || n.tag == GUMBO_TAG_A || n.tag == GUMBO_TAG_BUTTON;
    // A link or an insertion is as its parent; other text-level elements and the blocks
    // that hold only text take text; every other block takes blocks.
    const bool transparent = n.tag == GUMBO_TAG_A || n.tag == GUMBO_TAG_INS || n.tag == GUMBO_TAG_DEL;
    inner.textOnly = transparent ? where.textOnly : (!isBlock(n) || holdsOnlyText(n.tag));
    HtmlNode e = n;
    e.children = nest(n.children, inner);
    if (!inner.textOnly)
        return {e};
    bool blocks = false;
    for (const HtmlNode& k : e.children)
        blocks = blocks || isBlock(k);
    if (!blocks)
        return {e};
    // Closed before each block and opened again after it (and inside it, for text-level markup).
    QList<HtmlNode> out;
    QList<HtmlNode> run;
    bool first = true;
    const qsizetype size = markupSize(e);
    auto flush = [&] {
        if (blank(run) || (!first && *where.carryLeft < size)) {
            out += run;
        } else {
            if (!first)
                *where.carryLeft -= size;
            out += copyOf(e, run, first);
            first = false;
        }
        run.clear();
    };
    for (const HtmlNode& k : e.children) {
        if (isBlock(k)) {
            flush();
            out += carryInto(e, k, where.carryLeft);
        } else {
            run += k;
        }
    }
    flush();
    return out;
}

// Items with no list around them get one.
QList<HtmlNode> listed(QList<HtmlNode> nodes, GumboTag parent)
{
    QList<HtmlNode> out;
    for (qsizetype i = 0; i < nodes.size();) {
        const GumboTag tag = nodes[i].element && nodes[i].html ? nodes[i].tag : GUMBO_TAG_UNKNOWN;
        const bool item = tag == GUMBO_TAG_LI && parent != GUMBO_TAG_UL && parent != GUMBO_TAG_OL && parent != GUMBO_TAG_MENU
            && parent != GUMBO_TAG_DIR;
        if ((tag == GUMBO_TAG_DT || tag == GUMBO_TAG_DD) && parent != GUMBO_TAG_DL) {
            // A term or description alone is no list: a block of its own.
            out += renamed(nodes[i++], GUMBO_TAG_DIV, QStringLiteral("div"));
            continue;
        }
        if (!item) {
            out += nodes[i++];
            continue;
        }
        HtmlNode list;
        list.element = true;
        list.tag = GUMBO_TAG_UL;
        list.name = QStringLiteral("ul");
        while (i < nodes.size()) {
            const HtmlNode& k = nodes[i];
            const bool same = k.element && k.html && k.tag == GUMBO_TAG_LI;
            if (!same && !(!k.element && k.text.trimmed().isEmpty()))
                break;
            list.children += k;
            ++i;
        }
        out += list;
    }
    return out;
}

QList<HtmlNode> fixLists(QList<HtmlNode> nodes, GumboTag parent)
{
    for (HtmlNode& n : nodes)
        if (n.element && n.html)
            n.children = fixLists(std::move(n.children), n.tag);
    return listed(std::move(nodes), parent);
}

QList<HtmlNode> nest(const QList<HtmlNode>& nodes, Nesting where)
{
    QList<HtmlNode> out;
    for (const HtmlNode& n : nodes)
        out += nestOne(n, where);
    return out;
}

} // namespace

QList<HtmlNode> nestValidly(const QList<HtmlNode>& nodes, qsizetype carried)
{
    return nest(fixLists(nodes, GUMBO_TAG_DIV), Nesting{false, false, &carried});
}

} // namespace qadora
