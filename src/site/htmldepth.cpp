// SPDX-License-Identifier: GPL-3.0-or-later
// Markup nested deeper than a browser builds, flattened before the parser sees it. Only the
// text of what lies deeper than kMaxDepth is written anyway, and the parser's time grows with
// the square of the depth of nested formatting (seconds for 100,000 unclosed <b>s).
//
// A light tokenizer follows the tags with a stack that is never deeper than the parser's stack
// of open elements: it closes generously (an end tag closes the nearest open element of its
// name wherever it stands, a new <p>, <li> or <td> the one before it) and leaves out what the
// parser ignores. Formatting elements closed by something else count too, as the parser
// opens them again (misnested <b><i class=1>x</b>, repeated, nests ever deeper). Only where
// that stack is kMaxDepth deep, and so the parser's tree too, are tags dropped, up to their
// ends; markup nested less deeply reaches the parser as stored.
//
// Formatting closed by something else is opened again wherever text or an inline tag follows,
// so distinct <b class=N>s left open in 700 list items make the parser's tree (and the page)
// grow with the square of the answer: megabytes for 20 KB. A browser builds the same, but no
// reader needs it, and leaving out only some of it would leave the parser's list in a state
// this tokenizer cannot follow. So the tokenizer adds up what the parser would open again;
// only where that is far beyond the answer's own size (carriedBudget()) are its formatting
// tags left out, links kept unless they alone are the cause: the text, its order, blocks and
// lists stay, and the page grows as the answer does.
#include "htmllingering.h"
#include "htmltagnames.h"
#include "htmltagreader.h"
#include "htmltree.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qadora {

namespace {

using namespace tagnames;

struct Open {
    std::string name;
    bool foreign = false; // an SVG or MathML element
    bool htmlInside = false; // its content is HTML again (foreignObject, mi …) or it is HTML
    std::string_view attributes; // of a formatting element: what makes two of them the same
};

// Which of the formatting tags reach the parser.
enum class Formatting { Kept, LinksOnly, None };

class DepthLimit : TagReader {
public:
    DepthLimit(const QByteArray& in, int maxDepth, Formatting formatting)
        : TagReader(in)
        , m_max(maxDepth)
        , m_formatting(formatting)
    {
    }

    // The markup the parser would write opening formatting again, all of it added up.
    qsizetype reopened() const { return m_reopened; }

    QByteArray run(const QByteArray& in)
    {
        qsizetype i = 0;
        while (i < m_n) {
            const char* lt = static_cast<const char*>(std::memchr(m_s + i, '<', size_t(m_n - i)));
            if (lt != m_s + i && m_dropped == 0 && htmlHere())
                reopen(); // text
            if (!lt)
                break;
            i = markup(lt - m_s);
        }
        if (m_out.isEmpty() && m_copied == 0)
            return in;
        m_out.append(m_s + m_copied, m_n - m_copied);
        return m_out;
    }

private:
    bool htmlHere() const
    {
        return m_stack.empty() || m_stack.back().htmlInside;
    }

    // Drops [from, to) from what the parser is given.
    void drop(qsizetype from, qsizetype to)
    {
        m_out.append(m_s + m_copied, from - m_copied);
        m_copied = to;
    }

    // After the end of the markup at `at` (a "<"); what it is decides how it is read.
    qsizetype markup(qsizetype at)
    {
        const qsizetype n = m_n;
        if (at + 1 >= n)
            return n;
        const char c = m_s[at + 1];
        if (c == '!') {
            if (n - at >= 4 && std::memcmp(m_s + at, "<!--", 4) == 0) {
                // <!--> and <!---> end at once; otherwise at "-->" or "--!>".
                for (qsizetype k = at + 4; k < n; ++k) {
                    if (k == at + 4 && m_s[k] == '>')
                        return k + 1;
                    if (k == at + 4 && k + 1 < n && m_s[k] == '-' && m_s[k + 1] == '>')
                        return k + 2;
                    if (m_s[k] == '-' && k + 2 < n && m_s[k + 1] == '-' && m_s[k + 2] == '>')
                        return k + 3;
                    if (m_s[k] == '-' && k + 3 < n && m_s[k + 1] == '-' && m_s[k + 2] == '!' && m_s[k + 3] == '>')
                        return k + 4;
                }
                return n;
            }
            if (!htmlHere() && n - at >= 9 && std::memcmp(m_s + at, "<![CDATA[", 9) == 0) {
                const qsizetype end = find(at + 9, "]]>");
                return end == n ? n : end + 3;
            }
            return bogusComment(at);
        }
        if (c == '?')
            return bogusComment(at);
        if (c == '/') {
            if (at + 2 < n && m_s[at + 2] == '>')
                return at + 3; // "</>" is nothing
            if (at + 2 < n && isLetter(m_s[at + 2]))
                return endTag(at);
            return bogusComment(at);
        }
        if (isLetter(c))
            return startTag(at);
        return at + 1;
    }

    // Closes up to and with the nearest open element named as one of `names`, unless one that
    // `stops` stands above it. The stops are never more than the parser's own, so that this
    // closes whatever the parser closes.
    template<typename Stop>
    void closeNearest(std::initializer_list<Name> names, Stop stops)
    {
        for (size_t k = m_stack.size(); k > 0; --k) {
            const Name name = m_stack[k - 1].name;
            if (oneOf(name, names)) {
                closeFrom(k - 1);
                return;
            }
            if (stops(name))
                return;
        }
    }

    void closeNearest(std::initializer_list<Name> names, std::initializer_list<Name> stops = {})
    {
        closeNearest(names, [stops](Name n) { return oneOf(n, stops); });
    }

    static bool isMarker(const Open& o) { return !o.foreign && putsMarker(o.name); }
    static bool isFormattingElement(const Open& o) { return !o.foreign && isFormatting(o.name); }

    // Closes the element at `at` and all above it. The formatting elements above it stay
    // active, unless a marker between goes with them; a marker that goes takes with it what
    // stayed active after it.
    void closeFrom(size_t at)
    {
        size_t firstMarker = m_stack.size();
        for (size_t j = at; j < m_stack.size(); ++j) {
            if (isMarker(m_stack[j])) {
                firstMarker = j;
                break;
            }
        }
        qsizetype marker = -1;
        for (size_t j = at; j > 0; --j) {
            if (isMarker(m_stack[j - 1])) {
                marker = qsizetype(j - 1);
                break;
            }
        }
        if (firstMarker < m_stack.size())
            m_lingering.endAfterMarkersFrom(qsizetype(at));
        for (size_t j = at + 1; j < firstMarker; ++j)
            if (isFormattingElement(m_stack[j]))
                m_lingering.add(m_stack[j].name, m_stack[j].attributes, marker);
        m_lingering.closedFrom(qsizetype(at));
        m_stack.resize(at);
    }

    void reopen() { m_reopened += m_lingering.reopen(qsizetype(m_stack.size())); }

    void pop()
    {
        m_lingering.closedFrom(qsizetype(m_stack.size() - 1));
        m_stack.pop_back();
    }

    bool leftOut(Name name) const
    {
        return m_formatting != Formatting::Kept && isFormatting(name) && (m_formatting == Formatting::None || name != "a");
    }

    bool isOpen(Name name) const
    {
        for (const Open& o : m_stack)
            if (o.name == name)
                return true;
        return false;
    }

    // What a start tag closes first, and whether the parser ignores it there.
    bool closeBefore(Name name)
    {
        const bool inSelect = !m_stack.empty()
            && (m_stack.back().name == "select" || m_stack.back().name == "option" || m_stack.back().name == "optgroup");
        if (inSelect && !oneOf(name, {"option", "optgroup", "select", "input", "keygen", "textarea", "script", "template"}))
            return false;
        if (oneOf(name, {"select", "input", "keygen", "textarea"}) && isOpen("select")) {
            closeNearest({"select"});
            if (name == "select")
                return false; // a select in a select only ends it
        }
        const auto item = [](Name n) { return isSpecial(n) && n != "address" && n != "div" && n != "p"; };
        if (closesParagraph(name))
            closeNearest({"p"}, [](Name n) { return n == "button" || endsScope(n); });
        if (name == "li")
            closeNearest({"li"}, item);
        else if (name == "dd" || name == "dt")
            closeNearest({"dd", "dt"}, item);
        else if (isHeading(name) && !m_stack.empty() && isHeading(m_stack.back().name))
            pop();
        else if (name == "option" || name == "optgroup") {
            if (!m_stack.empty() && m_stack.back().name == "option")
                pop();
            if (name == "optgroup" && !m_stack.empty() && m_stack.back().name == "optgroup")
                pop();
        }
        else if (name == "nobr" || name == "button")
            closeNearest({Name(name)}, endsScope);
        else if (name == "a")
            closeNearest({"a"}, {"applet", "object", "marquee", "template", "td", "th", "caption"});
        else if (isTablePart(name) && !isOpen("table"))
            return false; // outside a table the parser ignores them
        if (name == "td" || name == "th")
            closeNearest({"td", "th"}, {"tr", "table"});
        else if (name == "tr")
            closeNearest({"tr"}, {"table"});
        else if (oneOf(name, {"tbody", "thead", "tfoot"}))
            closeNearest({"tbody", "thead", "tfoot"}, {"table"});
        else if (name == "caption" || name == "colgroup")
            closeNearest({"caption", "colgroup"}, {"table"});
        else if (name == "table")
            closeNearest({"table"}, {"td", "th", "caption"});
        return true;
    }

    qsizetype startTag(qsizetype at)
    {
        qsizetype k = at + 1;
        std::string name = tagName(k);
        bool selfClosing = false;
        const qsizetype end = afterAttributes(k, &selfClosing);
        if (end < 0)
            return m_n;
        const bool deep = m_dropped > 0 || qsizetype(m_stack.size() + m_lingering.size()) >= m_max;
        if (leftOut(name)) {
            drop(at, end);
            if (deep || htmlHere() || !breaksOutOfForeign(name))
                return end;
            // It still ends the SVG or MathML it stands in, as a span does.
            m_out += "<span>";
            name = "span";
        }
        if (!deep && !htmlHere() && breaksOutOfForeign(name)) {
            while (!m_stack.empty() && m_stack.back().foreign)
                pop();
        }
        const bool html = htmlHere();
        bool opens = html ? !neverOpen(name) : !selfClosing;
        if (!deep && html && opens)
            opens = closeBefore(name);
        if (!deep && html && name == "a" && !m_lingering.empty())
            m_lingering.end(name);
        const bool raw = html && isRawTextName(name);
        const qsizetype textEnd = name == "plaintext" && html ? m_n : raw ? rawTextEnd(end, name) : end;
        if (!deep && html && (opens || neverOpen(name)) && reopensFormatting(name))
            reopen();
        if (!deep) {
            if (opens) {
                Open o;
                o.foreign = !html || name == "svg" || name == "math";
                o.htmlInside = !o.foreign
                    || oneOf(name, {"foreignobject", "desc", "title", "mi", "mo", "mn", "ms", "mtext", "annotation-xml"});
                o.name = std::move(name);
                if (isFormattingElement(o))
                    o.attributes = std::string_view(m_s + k, size_t(end - k));
                m_stack.push_back(std::move(o));
            }
            return textEnd;
        }
        // Deeper than a browser builds: the tag goes, its text stays, a hidden element's goes.
        drop(at, end);
        if (opens) {
            ++m_names[name];
            ++m_dropped;
        }
        if (raw && (name == "textarea" || name == "title")) {
            // Its text was text, markup and all: written so it stays so.
            for (qsizetype j = end; j < textEnd; ++j) {
                if (m_s[j] == '<') {
                    drop(j, j + 1);
                    m_out += "&lt;";
                }
            }
        } else if (raw || name == "plaintext") {
            drop(end, textEnd);
        }
        return textEnd;
    }

    qsizetype endTag(qsizetype at)
    {
        qsizetype k = at + 2;
        const std::string name = tagName(k);
        bool selfClosing = false;
        const qsizetype end = afterAttributes(k, &selfClosing);
        if (end < 0)
            return m_n;
        if (leftOut(name)) {
            drop(at, end);
            return end;
        }
        if (m_dropped > 0) {
            if (auto it = m_names.find(name); it != m_names.end() && it->second > 0) {
                --it->second;
                --m_dropped;
                drop(at, end);
                return end;
            }
        }
        if (!m_lingering.empty() && !isOpen(name) && m_lingering.end(name))
            return end;
        if (m_dropped > 0) {
            if (!isOpen(name)) {
                drop(at, end);
                return end;
            }
            // Closes an element the parser has, and all that was dropped inside it.
            m_names.clear();
            m_dropped = 0;
        }
        closeNearest({Name(name)});
        return end;
    }

    qsizetype m_max;
    Formatting m_formatting;
    qsizetype m_reopened = 0;
    std::vector<Open> m_stack;
    LingeringFormatting m_lingering;
    std::unordered_map<std::string, qsizetype> m_names; // dropped elements still open, by name
    qsizetype m_dropped = 0;
    QByteArray m_out;
    qsizetype m_copied = 0;
};

} // namespace

QByteArray withinDepth(const QByteArray& utf8, int maxDepth)
{
    const qsizetype budget = carriedBudget(utf8.size());
    for (const Formatting formatting : {Formatting::Kept, Formatting::LinksOnly}) {
        DepthLimit limit(utf8, maxDepth, formatting);
        QByteArray out = limit.run(utf8);
        if (limit.reopened() <= budget)
            return out;
    }
    return DepthLimit(utf8, maxDepth, Formatting::None).run(utf8);
}

} // namespace qadora
