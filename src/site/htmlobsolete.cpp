// SPDX-License-Identifier: GPL-3.0-or-later
// Elements and attributes the language no longer has (<font>, <center>, align, bgcolor …),
// written as the current elements and the style they stood for, so that they look the same.
#include "htmltree.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace qadora {

HtmlNode renamed(HtmlNode n, GumboTag tag, const QString& name, const QString& style)
{
    n.tag = tag;
    n.name = name;
    if (style.isEmpty())
        return n;
    // Before the element's own style, which keeps the last word as it had.
    for (auto& [attribute, value] : n.attributes) {
        if (attribute.compare(QLatin1String("style"), Qt::CaseInsensitive) == 0) {
            value = (style.endsWith(u';') ? style : style + u';') + value;
            return n;
        }
    }
    n.attributes.append({QStringLiteral("style"), style.endsWith(u';') ? style.chopped(1) : style});
    return n;
}

namespace {

// Values taken into a style only when plainly well formed; anything else is dropped rather
// than let into a declaration.
bool asciiLetters(const QString& v, int max)
{
    if (v.isEmpty() || v.size() > max)
        return false;
    return std::all_of(v.cbegin(), v.cend(), [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); });
}

// "#rgb", "#rrggbb" (also without "#", as old pages wrote it) or a colour's name.
QString cssColor(const QString& value)
{
    QString v = value.trimmed();
    static const QRegularExpression hex(QStringLiteral("^#?([0-9A-Fa-f]{3}|[0-9A-Fa-f]{6})$"));
    if (const auto m = hex.match(v); m.hasMatch())
        return u'#' + m.captured(1).toLower();
    return asciiLetters(v, 24) ? v.toLower() : QString();
}

// "12" as 12px, "50%" as it is; nothing else.
QString cssLength(const QString& value)
{
    static const QRegularExpression length(QStringLiteral("^([0-9]{1,4})(px|%)?$"));
    const auto m = length.match(value.trimmed());
    if (!m.hasMatch())
        return QString();
    return QString::number(m.captured(1).toInt()) + (m.captured(2) == u'%' ? QStringLiteral("%") : QStringLiteral("px"));
}

// Font names: letters of any script, digits, spaces and hyphens, each name quoted.
QString cssFontFamily(const QString& value)
{
    QStringList names;
    for (const QString& part : value.split(u',')) {
        const QString name = part.trimmed();
        if (name.isEmpty() || name.size() > 64)
            continue;
        if (!std::all_of(name.cbegin(), name.cend(), [](QChar c) {
                return c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_' || c == u'\u3000';
            }))
            return QString();
        names << u'\'' + name + u'\'';
    }
    return names.join(u',');
}

QString keyword(const QString& value, std::initializer_list<const char*> allowed)
{
    const QString v = value.trimmed().toLower();
    for (const char* a : allowed)
        if (v == QLatin1String(a))
            return v;
    return QString();
}

// The declaration an obsolete presentational attribute stood for on `tag`, or an empty
// string (the attribute is then dropped all the same, when it is obsolete: `obsolete`).
QString declarationFor(GumboTag tag, const QString& name, const QString& value, bool* obsolete)
{
    *obsolete = true;
    const bool cell = tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH;
    const bool tablePart = cell || tag == GUMBO_TAG_TR || tag == GUMBO_TAG_TBODY || tag == GUMBO_TAG_THEAD
        || tag == GUMBO_TAG_TFOOT || tag == GUMBO_TAG_COL || tag == GUMBO_TAG_COLGROUP;
    const bool floated = tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_IFRAME || tag == GUMBO_TAG_TABLE || tag == GUMBO_TAG_EMBED
        || tag == GUMBO_TAG_OBJECT || tag == GUMBO_TAG_HR || tag == GUMBO_TAG_INPUT;
    if (name == QLatin1String("align")) {
        if (floated) {
            const QString v = keyword(value, {"left", "right", "center", "middle", "top", "bottom", "baseline"});
            if (v == QLatin1String("left") || v == QLatin1String("right"))
                return tag == GUMBO_TAG_HR ? (v == QLatin1String("left") ? QStringLiteral("margin-right:auto") : QStringLiteral("margin-left:auto"))
                                           : QStringLiteral("float:") + v;
            if (v == QLatin1String("center"))
                return tag == GUMBO_TAG_IMG ? QString() : QStringLiteral("margin-left:auto;margin-right:auto");
            if (!v.isEmpty() && tag == GUMBO_TAG_IMG)
                return QStringLiteral("vertical-align:") + v;
            return QString();
        }
        if (tag == GUMBO_TAG_CAPTION || tag == GUMBO_TAG_LEGEND) {
            const QString v = keyword(value, {"left", "right", "center", "justify"});
            return v.isEmpty() ? QString() : QStringLiteral("text-align:") + v;
        }
        const QString v = keyword(value, {"left", "right", "center", "justify"});
        return v.isEmpty() ? QString() : QStringLiteral("text-align:") + v;
    }
    if (name == QLatin1String("valign") && tablePart) {
        const QString v = keyword(value, {"top", "middle", "bottom", "baseline"});
        return v.isEmpty() ? QString() : QStringLiteral("vertical-align:") + v;
    }
    if (name == QLatin1String("bgcolor") && (tablePart || tag == GUMBO_TAG_TABLE)) {
        const QString c = cssColor(value);
        return c.isEmpty() ? QString() : QStringLiteral("background-color:") + c;
    }
    if (name == QLatin1String("color") && tag == GUMBO_TAG_HR) {
        const QString c = cssColor(value);
        return c.isEmpty() ? QString() : QStringLiteral("color:") + c + QStringLiteral(";background-color:") + c;
    }
    if ((name == QLatin1String("width") && (cell || tag == GUMBO_TAG_TABLE || tag == GUMBO_TAG_HR || tag == GUMBO_TAG_COL
                                           || tag == GUMBO_TAG_COLGROUP || tag == GUMBO_TAG_PRE))
        || (name == QLatin1String("height") && (tablePart || tag == GUMBO_TAG_TABLE))) {
        const QString l = cssLength(value);
        return l.isEmpty() ? QString() : name + u':' + l;
    }
    if (name == QLatin1String("size") && tag == GUMBO_TAG_HR) {
        const QString l = cssLength(value);
        return l.isEmpty() || l.endsWith(u'%') ? QString() : QStringLiteral("height:") + l;
    }
    if (name == QLatin1String("nowrap") && cell)
        return QStringLiteral("white-space:nowrap");
    if (name == QLatin1String("border") && (tag == GUMBO_TAG_TABLE || tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_OBJECT)) {
        const QString l = cssLength(value.isEmpty() ? QStringLiteral("1") : value);
        if (l.isEmpty() || l.endsWith(u'%'))
            return QString();
        return l == QLatin1String("0px") ? QStringLiteral("border:0") : QStringLiteral("border:") + l + QStringLiteral(" solid");
    }
    if ((name == QLatin1String("hspace") || name == QLatin1String("vspace")) && (tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_OBJECT)) {
        const QString l = cssLength(value);
        if (l.isEmpty() || l.endsWith(u'%'))
            return QString();
        return name == QLatin1String("hspace") ? QStringLiteral("margin-left:%1;margin-right:%1").arg(l)
                                               : QStringLiteral("margin-top:%1;margin-bottom:%1").arg(l);
    }
    if (name == QLatin1String("clear") && tag == GUMBO_TAG_BR) {
        const QString v = keyword(value, {"left", "right", "all", "both"});
        return v.isEmpty() ? QString() : QStringLiteral("clear:") + (v == QLatin1String("all") ? QStringLiteral("both") : v);
    }
    if (name == QLatin1String("noshade") && tag == GUMBO_TAG_HR)
        return QStringLiteral("border-style:solid");
    if (name == QLatin1String("type") && (tag == GUMBO_TAG_UL || tag == GUMBO_TAG_LI)) {
        const QString v = keyword(value, {"disc", "circle", "square"});
        if (!v.isEmpty())
            return QStringLiteral("list-style-type:") + v;
        if (tag == GUMBO_TAG_LI) {
            // An item of a numbered list: its number's form, as the list's own type gives it.
            static const QHash<QString, QString> forms = {{"1", "decimal"}, {"a", "lower-alpha"}, {"A", "upper-alpha"},
                                                          {"i", "lower-roman"}, {"I", "upper-roman"}};
            const QString form = forms.value(value.trimmed());
            return form.isEmpty() ? QString() : QStringLiteral("list-style-type:") + form;
        }
        return QString();
    }
    if (tag == GUMBO_TAG_A && (name == QLatin1String("charset") || name == QLatin1String("coords") || name == QLatin1String("shape")
                               || name == QLatin1String("rev") || name == QLatin1String("methods") || name == QLatin1String("urn")))
        return QString();
    if (tag == GUMBO_TAG_SCRIPT && name == QLatin1String("type")) {
        // JavaScript's own types say nothing a browser needs; any other type stays.
        static const QRegularExpression javascript(QStringLiteral("^\\s*(text|application)/(x-)?(java|ecma)script\\s*$"),
                                                   QRegularExpression::CaseInsensitiveOption);
        *obsolete = javascript.match(value).hasMatch();
        return QString();
    }
    // Obsolete and without a current equivalent worth keeping: dropped.
    static const QSet<QString> dropped = {"cellpadding", "cellspacing", "frame", "rules", "summary", "background", "compact",
                                          "char", "charoff", "axis", "abbr", "scope", "frameborder", "marginheight",
                                          "marginwidth", "scrolling", "longdesc", "lowsrc", "language", "allowtransparency",
                                          "datapagesize", "datasrc", "datafld", "dataformatas", "archive", "classid", "codebase",
                                          "codetype", "declare", "standby"};
    if (!dropped.contains(name))
        *obsolete = false;
    else if ((name == QLatin1String("abbr") || name == QLatin1String("scope")) && tag == GUMBO_TAG_TH)
        *obsolete = false; // a heading cell's own
    else if (name == QLatin1String("summary") && tag == GUMBO_TAG_DETAILS)
        *obsolete = false;
    if (*obsolete && tag == GUMBO_TAG_TABLE && name == QLatin1String("cellspacing")) {
        const QString l = cssLength(value);
        return l.isEmpty() || l.endsWith(u'%') ? QString() : QStringLiteral("border-spacing:") + l;
    }
    return QString();
}

// The attributes the language no longer has, as the style they stood for (before the
// element's own style, which wins over them as it did); the others as they were.
void currentAttributes(HtmlNode& n)
{
    QString style;
    QString own;
    qsizetype ownAt = -1;
    QList<std::pair<QString, QString>> kept;
    bool hasId = false;
    QString anchorName;
    for (const auto& [name, value] : n.attributes) {
        const QString lower = name.toLower();
        if (lower == QLatin1String("style")) {
            own = value;
            ownAt = kept.size(); // where it stands, so that a second pass writes the same
            continue;
        }
        if (lower == QLatin1String("id"))
            hasId = true;
        if (lower == QLatin1String("name") && (n.tag == GUMBO_TAG_A || n.tag == GUMBO_TAG_IMG)) {
            anchorName = value; // a link's target: an id now
            continue;
        }
        bool obsolete = false;
        const QString declaration = declarationFor(n.tag, lower, value, &obsolete);
        if (!declaration.isEmpty())
            style += declaration + u';';
        if (!obsolete)
            kept.append({name, value});
    }
    static const QRegularExpression idLike(QStringLiteral("^[^\\s]{1,128}$"));
    if (!anchorName.isEmpty() && !hasId && idLike.match(anchorName).hasMatch())
        kept.append({QStringLiteral("id"), anchorName});
    const QString joined = own.trimmed().isEmpty() ? style : style + own;
    if (!joined.isEmpty()) {
        const std::pair<QString, QString> attribute{QStringLiteral("style"), joined.endsWith(u';') ? joined.chopped(1) : joined};
        if (ownAt >= 0)
            kept.insert(ownAt, attribute);
        else
            kept.append(attribute);
    }
    n.attributes = kept;
}

} // namespace

// Elements and attributes the language no longer has, as the style they stood for.
HtmlNode current(HtmlNode n)
{
    currentAttributes(n);
    switch (n.tag) {
    case GUMBO_TAG_FONT: {
        static const char* const sizes[] = {"x-small", "small", "medium", "large", "x-large", "xx-large", "xxx-large"};
        QString style;
        QList<std::pair<QString, QString>> kept;
        for (const auto& [name, value] : n.attributes) {
            const QString lower = name.toLower();
            bool ok = false;
            const int size = value.trimmed().toInt(&ok);
            if (lower == QLatin1String("color") && !cssColor(value).isEmpty())
                style += QStringLiteral("color:") + cssColor(value) + u';';
            else if (lower == QLatin1String("face") && !cssFontFamily(value).isEmpty())
                style += QStringLiteral("font-family:") + cssFontFamily(value) + u';';
            else if (lower == QLatin1String("size") && ok)
                style += QStringLiteral("font-size:") + QLatin1String(sizes[std::clamp(value.trimmed().startsWith(u'+') || value.trimmed().startsWith(u'-') ? 3 + size : size, 1, 7) - 1]) + u';';
            else if (lower != QLatin1String("color") && lower != QLatin1String("face") && lower != QLatin1String("size"))
                kept.append({name, value});
        }
        n.attributes = kept;
        return renamed(std::move(n), GUMBO_TAG_SPAN, QStringLiteral("span"), style);
    }
    case GUMBO_TAG_CENTER:
        return renamed(std::move(n), GUMBO_TAG_DIV, QStringLiteral("div"), QStringLiteral("text-align:center"));
    case GUMBO_TAG_BIG:
        return renamed(std::move(n), GUMBO_TAG_SPAN, QStringLiteral("span"), QStringLiteral("font-size:larger"));
    case GUMBO_TAG_NOBR:
        return renamed(std::move(n), GUMBO_TAG_SPAN, QStringLiteral("span"), QStringLiteral("white-space:nowrap"));
    case GUMBO_TAG_TT:
        return renamed(std::move(n), GUMBO_TAG_CODE, QStringLiteral("code"));
    case GUMBO_TAG_STRIKE:
        return renamed(std::move(n), GUMBO_TAG_S, QStringLiteral("s"));
    case GUMBO_TAG_ACRONYM:
        return renamed(std::move(n), GUMBO_TAG_ABBR, QStringLiteral("abbr"));
    case GUMBO_TAG_DIR:
        return renamed(std::move(n), GUMBO_TAG_UL, QStringLiteral("ul"));
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
        // The text of an xmp was taken literally; in a pre it is written escaped.
        for (HtmlNode& k : n.children)
            k.raw = false;
        return renamed(std::move(n), GUMBO_TAG_PRE, QStringLiteral("pre"));
    case GUMBO_TAG_IMG: {
        // An image must say what it shows; one that does not is taken for decoration.
        const bool alt = std::any_of(n.attributes.cbegin(), n.attributes.cend(), [](const auto& a) {
            return a.first.compare(QLatin1String("alt"), Qt::CaseInsensitive) == 0;
        });
        if (!alt)
            n.attributes.append({QStringLiteral("alt"), QString()});
        return n;
    }
    default:
        return n;
    }
}

} // namespace qadora
