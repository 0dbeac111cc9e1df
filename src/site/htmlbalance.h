// SPDX-License-Identifier: GPL-3.0-or-later
// A record's HTML made safe to place inside a modern page: parsed as an HTML fragment by the
// HTML5 tree-construction algorithm (the one browsers use) and written back balanced, so the
// page shows what a browser would have shown of the stored markup, whatever it holds.
#pragma once

#include <QString>

namespace qadora {

struct BalancedHtml {
    QString html; // balanced markup, every element closed, attributes quoted
    QString text; // what a reader sees of it: white space collapsed, breaks and blocks as spaces
    QString styles; // the markup's <style> elements, which belong in the page's head
};

enum class HtmlContext {
    Flow,     // inside a block element: everything the markup holds is kept
    Phrasing, // inside a heading: only text-level elements; others give way to their content
};

BalancedHtml balanceHtml(const QString& html, HtmlContext context = HtmlContext::Flow);

// Text for HTML: "&", "<", ">" and, in attribute values, '"' as character references.
QString escapeHtml(const QString& text);
QString escapeAttribute(const QString& text);

} // namespace qadora
