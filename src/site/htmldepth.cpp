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
#include "htmllingering.h"
#include "htmltagnames.h"
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

class DepthLimit {
public:
    DepthLimit(const QByteArray& in, int maxDepth)
        : m_s(in.constData())
        , m_n(in.size())
        , m_max(maxDepth)
    {
    }

    QByteArray run(const QByteArray& in)
    {
        qsizetype i = 0;
        while (i < m_n) {
            const char* lt = static_cast<const char*>(std::memchr(m_s + i, '<', size_t(m_n - i)));
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

    qsizetype find(qsizetype from, const char* what) const
    {
        const std::string_view rest(m_s + from, size_t(m_n - from));
        const size_t at = rest.find(what);
        return at == std::string_view::npos ? m_n : from + qsizetype(at);
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

    qsizetype bogusComment(qsizetype at) const
    {
        const void* gt = std::memchr(m_s + at, '>', size_t(m_n - at));
        return gt ? static_cast<const char*>(gt) - m_s + 1 : m_n;
    }

    // The tag's name, lower-cased, from `at`; `at` is left after it.
    std::string tagName(qsizetype& at) const
    {
        std::string name;
        while (at < m_n && !isSpace(m_s[at]) && m_s[at] != '/' && m_s[at] != '>') {
            const char c = m_s[at++];
            name += c >= 'A' && c <= 'Z' ? char(c + 32) : c;
        }
        return name;
    }

    // Past a tag's attributes and its ">", or -1 where the input ends inside the tag (the
    // tokenizer then emits nothing more).
    qsizetype afterAttributes(qsizetype at, bool* selfClosing) const
    {
        *selfClosing = false;
        while (at < m_n) {
            const char c = m_s[at];
            if (isSpace(c)) {
                ++at;
                continue;
            }
            if (c == '>')
                return at + 1;
            if (c == '/') {
                *selfClosing = at + 1 < m_n && m_s[at + 1] == '>';
                ++at;
                continue;
            }
            ++at; // the name's first character may be any, "=" too
            while (at < m_n && !isSpace(m_s[at]) && m_s[at] != '/' && m_s[at] != '>' && m_s[at] != '=')
                ++at;
            while (at < m_n && isSpace(m_s[at]))
                ++at;
            if (at < m_n && m_s[at] == '=') {
                ++at;
                while (at < m_n && isSpace(m_s[at]))
                    ++at;
                if (at < m_n && (m_s[at] == '"' || m_s[at] == '\'')) {
                    const void* q = std::memchr(m_s + at + 1, m_s[at], size_t(m_n - at - 1));
                    if (!q)
                        return -1;
                    at = static_cast<const char*>(q) - m_s + 1;
                } else {
                    while (at < m_n && !isSpace(m_s[at]) && m_s[at] != '>')
                        ++at;
                }
            }
        }
        return -1;
    }

    // Where the text of raw-text element `name` ends: at its end tag, or at the end.
    qsizetype rawTextEnd(qsizetype from, const std::string& name) const
    {
        for (qsizetype k = find(from, "</"); k < m_n; k = find(k + 2, "</")) {
            const qsizetype after = k + 2 + qsizetype(name.size());
            if (after > m_n)
                break;
            bool same = true;
            for (size_t j = 0; j < name.size() && same; ++j) {
                const char c = m_s[k + 2 + qsizetype(j)];
                same = (c >= 'A' && c <= 'Z' ? char(c + 32) : c) == name[j];
            }
            if (same && (after == m_n || isSpace(m_s[after]) || m_s[after] == '/' || m_s[after] == '>'))
                return k;
        }
        return m_n;
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
        m_stack.resize(at);
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
            m_stack.pop_back();
        else if (name == "option" || name == "optgroup") {
            if (!m_stack.empty() && m_stack.back().name == "option")
                m_stack.pop_back();
            if (name == "optgroup" && !m_stack.empty() && m_stack.back().name == "optgroup")
                m_stack.pop_back();
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
        if (!deep && !htmlHere() && breaksOutOfForeign(name)) {
            while (!m_stack.empty() && m_stack.back().foreign)
                m_stack.pop_back();
        }
        const bool html = htmlHere();
        bool opens = html ? !neverOpen(name) : !selfClosing;
        if (!deep && html && opens)
            opens = closeBefore(name);
        if (!deep && html && name == "a" && !m_lingering.empty())
            m_lingering.end(name);
        const bool raw = html && isRawTextName(name);
        const qsizetype textEnd = name == "plaintext" && html ? m_n : raw ? rawTextEnd(end, name) : end;
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

    const char* m_s;
    qsizetype m_n;
    qsizetype m_max;
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
    // So deep a tree needs at least as many tags.
    if (utf8.count('<') < maxDepth)
        return utf8;
    return DepthLimit(utf8, maxDepth).run(utf8);
}

} // namespace qadora
