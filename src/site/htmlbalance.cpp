// SPDX-License-Identifier: GPL-3.0-or-later
// An answer's markup through the HTML5 parser: the parser's tree taken as ours, its elements
// moved to where they may stand (htmlnesting.cpp), and written back balanced.
#include "htmlbalance.h"
#include "htmltree.h"

#include <QByteArray>
#include <cstddef>
#include <cstdlib>

#include <utility>
#include <vector>

namespace qadora {

// Text-level elements a heading may hold.
bool isPhrasing(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_B: case GUMBO_TAG_I: case GUMBO_TAG_EM: case GUMBO_TAG_STRONG: case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SUB: case GUMBO_TAG_SUP: case GUMBO_TAG_CODE: case GUMBO_TAG_MARK: case GUMBO_TAG_U:
    case GUMBO_TAG_S: case GUMBO_TAG_BR: case GUMBO_TAG_WBR: case GUMBO_TAG_SPAN: case GUMBO_TAG_Q:
    case GUMBO_TAG_ABBR: case GUMBO_TAG_CITE: case GUMBO_TAG_DFN: case GUMBO_TAG_KBD: case GUMBO_TAG_SAMP:
    case GUMBO_TAG_VAR: case GUMBO_TAG_BDI: case GUMBO_TAG_BDO: case GUMBO_TAG_RUBY: case GUMBO_TAG_RT:
    case GUMBO_TAG_RP: case GUMBO_TAG_TIME: case GUMBO_TAG_DATA:
        return true;
    default:
        return false;
    }
}

// HTML's white space (not the ideographic space, which is text) collapsed as a browser shows it.
QString collapseSpaces(const QString& text)
{
    auto isSpace = [](char16_t u) { return u == u' ' || u == u'\t' || u == u'\n' || u == u'\f' || u == u'\r'; };
    const QStringView in(text);
    const qsizetype n = in.size();
    QString out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        if (isSpace(in[i].unicode())) {
            ++i;
            continue;
        }
        // A word, copied whole, after the one space that stands for the white space before it.
        qsizetype end = i + 1;
        while (end < n && !isSpace(in[end].unicode()))
            ++end;
        if (!out.isEmpty())
            out += u' ';
        out += in.sliced(i, end - i);
        i = end;
    }
    return out;
}

namespace {

bool isVoid(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_AREA: case GUMBO_TAG_BASE: case GUMBO_TAG_BR: case GUMBO_TAG_COL: case GUMBO_TAG_EMBED:
    case GUMBO_TAG_HR: case GUMBO_TAG_IMG: case GUMBO_TAG_INPUT: case GUMBO_TAG_LINK: case GUMBO_TAG_META:
    case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK: case GUMBO_TAG_WBR:
    case GUMBO_TAG_BASEFONT: case GUMBO_TAG_BGSOUND: case GUMBO_TAG_FRAME: case GUMBO_TAG_KEYGEN:
        return true;
    default:
        return false;
    }
}

// Elements whose text the parser took literally: it is written back literally.
bool isRawText(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_NOSCRIPT:
        return true;
    default:
        return false;
    }
}

// Nothing of these is seen on the page.
bool isHidden(GumboTag tag)
{
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_NOSCRIPT;
}

// Elements that start a line of their own: their edges separate words in the text.
bool isInlineForText(GumboTag tag)
{
    return isPhrasing(tag) ? tag != GUMBO_TAG_BR : tag == GUMBO_TAG_A || tag == GUMBO_TAG_FONT || tag == GUMBO_TAG_LABEL || tag == GUMBO_TAG_UNKNOWN;
}

bool plainAttributeName(const char* name)
{
    if (!*name)
        return false;
    for (const char* p = name; *p; ++p) {
        const unsigned char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' || c == '.'))
            return false;
    }
    return true;
}

QString tagName(const GumboElement& e)
{
    if (e.tag != GUMBO_TAG_UNKNOWN) {
        if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
            GumboStringPiece piece = e.original_tag;
            gumbo_tag_from_original_text(&piece);
            if (const char* adjusted = gumbo_normalize_svg_tagname(&piece))
                return QString::fromLatin1(adjusted);
        }
        return QString::fromLatin1(gumbo_normalized_tagname(e.tag));
    }
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    QByteArray name(piece.data, qsizetype(piece.length));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '/') {
            name.truncate(i);
            break;
        }
    }
    return QString::fromUtf8(name).toLower();
}

// Code points a document may not hold as text: C0 and C1 controls other than white space.
QString withoutControls(QString text)
{
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\f') || (u >= 0x7f && u < 0xa0);
    });
    return text;
}

// The text a reader sees of a subtree, in order, gathered without recursion.
void appendTextOf(const GumboNode* top, GumboTag parent, QList<HtmlNode>& out)
{
    std::vector<const GumboNode*> pending{top};
    while (!pending.empty()) {
        const GumboNode* n = pending.back();
        pending.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA) {
            HtmlNode node;
            node.text = withoutControls(QString::fromUtf8(n->v.text.text));
            node.tag = parent;
            out.append(std::move(node));
        } else if ((n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) && !isHidden(n->v.element.tag)
                   && !isRawText(n->v.element.tag)) {
            const GumboVector& children = n->v.element.children;
            for (unsigned i = children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
        }
    }
}

// The parser's tree as ours: names as written, attributes that can be written back, text
// without the controls a document may not hold; comments dropped (they are not seen, and
// their text could end them early when written back).
QList<HtmlNode> treeOf(const GumboVector& nodes, GumboTag parent, int depth = 0)
{
    QList<HtmlNode> out;
    for (unsigned i = 0; i < nodes.length; ++i) {
        const auto& n = *static_cast<const GumboNode*>(nodes.data[i]);
        if (depth >= kMaxDepth && (n.type == GUMBO_NODE_ELEMENT || n.type == GUMBO_NODE_TEMPLATE)) {
            appendTextOf(&n, parent, out);
            continue;
        }
        HtmlNode node;
        switch (n.type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            node.text = withoutControls(QString::fromUtf8(n.v.text.text));
            node.raw = isRawText(parent);
            node.tag = parent;
            break;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            const GumboElement& e = n.v.element;
            node.element = true;
            node.tag = e.tag;
            node.html = e.tag_namespace == GUMBO_NAMESPACE_HTML;
            node.name = tagName(e);
            for (unsigned k = 0; k < e.attributes.length; ++k) {
                const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[k]);
                if (!plainAttributeName(a->name))
                    continue;
                QString attr = QString::fromUtf8(a->name);
                if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_XLINK)
                    attr = QStringLiteral("xlink:") + attr.section(u':', -1);
                node.attributes.append({attr, withoutControls(QString::fromUtf8(a->value))});
            }
            node.children = treeOf(e.children, e.tag, depth + 1);
            break;
        }
        default:
            continue;
        }
        out.append(std::move(node));
    }
    return out;
}

void takeStyles(QList<HtmlNode>& nodes, QList<HtmlNode>& styles)
{
    for (qsizetype i = 0; i < nodes.size();) {
        if (nodes[i].element && nodes[i].html && nodes[i].tag == GUMBO_TAG_STYLE) {
            styles.append(nodes.takeAt(i));
            continue;
        }
        if (nodes[i].html)
            takeStyles(nodes[i].children, styles);
        ++i;
    }
}

class Writer {
public:
    explicit Writer(HtmlContext context)
        : m_context(context)
    {
    }

    void children(const QList<HtmlNode>& nodes, GumboTag parent)
    {
        for (const HtmlNode& n : nodes) {
            if (n.element) {
                element(n);
            } else {
                m_html += n.raw ? n.text : escapeHtml(n.text);
                if (!isHidden(parent))
                    m_text += n.text;
            }
        }
    }

    BalancedHtml result()
    {
        return {m_html, collapseSpaces(m_text), {}};
    }

private:
    void element(const HtmlNode& e)
    {
        const bool separate = !isInlineForText(e.tag);
        if (m_context == HtmlContext::Phrasing && !isPhrasing(e.tag)) {
            if (isHidden(e.tag))
                return;
            if (separate)
                m_text += u' ';
            children(e.children, e.tag);
            if (separate)
                m_text += u' ';
            return;
        }
        m_html += u'<' + e.name;
        for (const auto& [name, value] : e.attributes)
            m_html += u' ' + name + QStringLiteral("=\"") + escapeAttribute(value) + u'"';
        m_html += u'>';
        if (separate)
            m_text += u' ';
        if (isVoid(e.tag) && e.html)
            return;
        // A new line right after these start tags is dropped by the parser: one more keeps the first.
        if ((e.tag == GUMBO_TAG_PRE || e.tag == GUMBO_TAG_TEXTAREA || e.tag == GUMBO_TAG_LISTING) && !e.children.isEmpty()
            && !e.children.first().element && e.children.first().text.startsWith(u'\n'))
            m_html += u'\n';
        children(e.children, e.tag);
        m_html += QStringLiteral("</") + e.name + u'>';
        if (separate)
            m_text += u' ';
    }

    HtmlContext m_context;
    QString m_html;
    QString m_text;
};

// The parser's memory, given back all at once. Its own way of freeing the tree recurses once
// for every level, and a tree some tens of thousands deep overflows a thread's stack (1 MB on
// Windows); each block is linked in here instead, so that none is left behind.
//
// The memory is zeroed: the parser leaves the document's quirks mode unset when it parses a
// fragment, and reads it at a <table> (which closes an open <p> unless the document is in
// quirks mode): with memory as malloc leaves it, the same answer would give different trees
// from run to run and on Windows. Zeroed memory reads as no quirks, as a page with
// <!DOCTYPE html> is.
class ParserMemory {
public:
    ParserMemory() = default;
    ParserMemory(const ParserMemory&) = delete;
    ParserMemory& operator=(const ParserMemory&) = delete;
    ~ParserMemory()
    {
        while (m_first.next != &m_first)
            release(m_first.next + 1);
    }

    void use(GumboOptions& options)
    {
        options.allocator = &ParserMemory::allocate;
        options.deallocator = &ParserMemory::deallocate;
        options.userdata = this;
    }

private:
    // Before each block; its size keeps the block as aligned as malloc's.
    struct alignas(std::max_align_t) Link {
        Link* prev;
        Link* next;
    };

    static void* allocate(void* self, size_t size)
    {
        auto* link = static_cast<Link*>(std::calloc(1, sizeof(Link) + size));
        if (!link)
            std::abort(); // the parser reads no failure

        Link& first = static_cast<ParserMemory*>(self)->m_first;
        link->prev = &first;
        link->next = first.next;
        first.next->prev = link;
        first.next = link;
        return link + 1;
    }

    static void deallocate(void*, void* memory)
    {
        if (memory)
            release(memory);
    }

    static void release(void* memory)
    {
        Link* link = static_cast<Link*>(memory) - 1;
        link->prev->next = link->next;
        link->next->prev = link->prev;
        std::free(link);
    }

    Link m_first{&m_first, &m_first};
};

} // namespace

BalancedHtml balanceHtmlByParser(const QString& html, HtmlContext context)
{
    // The parser would turn control characters into U+FFFD; a document may hold neither.
    const QByteArray utf8 = withinDepth(withoutControls(html).toUtf8(), kMaxDepth);
    QList<HtmlNode> tree;
    {
        GumboOptions options = kGumboDefaultOptions;
        ParserMemory memory;
        memory.use(options);
        options.fragment_context = GUMBO_TAG_DIV;
        options.fragment_namespace = GUMBO_NAMESPACE_HTML;
        options.max_errors = 0;
        const GumboOutput* output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
        // A fragment's nodes are the children of the root element the parser makes for it.
        if (output->root->type == GUMBO_NODE_ELEMENT)
            tree = treeOf(output->root->v.element.children, GUMBO_TAG_DIV);
    } // the parser's tree goes with its memory (gumbo_destroy_output() would recurse)
    // Inside a heading only text-level elements stay (the writer drops the others), so only a
    // block's content needs its elements moved to where they may stand.
    QList<HtmlNode> styles;
    if (context == HtmlContext::Flow) {
        // A style sheet in the body applies to the whole page as one in the head does; there
        // it is where a document may hold it.
        takeStyles(tree, styles);
        tree = nestValidly(tree, carriedBudget(utf8.size()));
    }
    Writer writer(context);
    writer.children(tree, GUMBO_TAG_DIV);
    BalancedHtml balanced = writer.result();
    if (!styles.isEmpty()) {
        Writer head(HtmlContext::Flow);
        head.children(styles, GUMBO_TAG_HEAD);
        balanced.styles = head.result().html;
    }
    return balanced;
}

} // namespace qadora
