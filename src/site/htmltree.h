// SPDX-License-Identifier: GPL-3.0-or-later
// A record's markup as a tree between the parser and the writer (htmlbalance.cpp), and the
// pass that moves what the parser left where no element may stand: a block inside text-level
// markup, a link inside a link, a list item outside a list.
#pragma once

#include "htmlbalance.h"

#include <gumbo.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace qadora {

struct HtmlNode {
    bool element = false;
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    bool html = true;  // in the HTML namespace (not inside SVG or MathML)
    QString name;      // the element's name as written
    QList<std::pair<QString, QString>> attributes;
    QString text;      // a text node's text
    bool raw = false;  // text the parser took literally (inside script, style …)
    QList<HtmlNode> children;
};

// Elements nested deeper than this give way to their text, as a browser builds no deeper a
// tree; every pass over the tree recurses, and a record nested a hundred thousand deep would
// overflow the stack.
constexpr int kMaxDepth = 512;

// How much markup beyond its own an answer's page may hold of formatting opened again (by
// the parser after what closed it, and inside the blocks it holds): far more than an answer
// written by hand opens again, far less than the megabytes that take seconds to write.
inline qsizetype carriedBudget(qsizetype answerSize)
{
    return 64 * 1024 + 8 * answerSize;
}

// The markup as the parser is to read it: where it nests deeper than `maxDepth`, the tags
// further in left out (their text kept), and where the parser would open its formatting again
// far beyond carriedBudget(), its formatting tags left out; other markup as it is.
QByteArray withinDepth(const QByteArray& utf8, int maxDepth);

// Text-level elements a heading may hold.
bool isPhrasing(GumboTag tag);

// HTML's white space (not the ideographic space, which is text) collapsed as a browser shows it.
QString collapseSpaces(const QString& text);

// balanceHtml() always through the parser, which its shortcuts must equal.
BalancedHtml balanceHtmlByParser(const QString& html, HtmlContext context);

// `n` as element `tag` named `name`, with `style` before its own.
HtmlNode renamed(HtmlNode n, GumboTag tag, const QString& name, const QString& style = QString());

// Elements and attributes the language no longer has, as the style they stood for.
HtmlNode current(HtmlNode n);

// The same content with every element where its parent's content model allows it; text-level
// markup opened again inside blocks up to `carried` of it.
QList<HtmlNode> nestValidly(const QList<HtmlNode>& nodes, qsizetype carried);

} // namespace qadora
