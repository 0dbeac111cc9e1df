// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-in for a build without the HTML5 parser (a cross toolchain that could not build
// Gumbo): text without markup reads as itself, as with the parser; markup is shown as
// text, escaped, so a page never holds an unbalanced element. The configure step warns.
#include "htmlbalance.h"

namespace qadora {

namespace {

bool plainText(const QString& html)
{
    for (const QChar c : html) {
        const char16_t u = c.unicode();
        if ((u == u'<' || u == u'&' || u < 0x20 || (u >= 0x7f && u < 0xa0)) && u != u'\n' && u != u'\t')
            return false;
    }
    return true;
}

QString collapsed(const QString& text)
{
    QString out;
    bool space = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n' || u == u'\f' || u == u'\r') {
            space = !out.isEmpty();
            continue;
        }
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            continue;
        if (space)
            out += u' ';
        space = false;
        out += c;
    }
    return out;
}

} // namespace

BalancedHtml balanceHtml(const QString& html, HtmlContext)
{
    const QString text = collapsed(html);
    return {plainText(html) ? escapeHtml(html) : escapeHtml(text), text, {}}; // markup is shown as text: no <style> to lift
}

} // namespace qadora
