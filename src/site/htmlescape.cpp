// SPDX-License-Identifier: GPL-3.0-or-later
// Escaping shared by the parser-balanced writer and its stand-in.
#include "htmlbalance.h"

namespace qadora {

namespace {

bool needsEscape(const QString& text, bool quote)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'&' || u == u'<' || u == u'>' || u == 0xa0 || (quote && u == u'"'))
            return true;
    }
    return false;
}

} // namespace

QString escapeHtml(const QString& text)
{
    // Most text holds nothing to escape: it is handed back shared, not copied.
    if (!needsEscape(text, false))
        return text;
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case 0xa0: out += QLatin1String("&nbsp;"); break;
        default: out += c;
        }
    }
    return out;
}

QString escapeAttribute(const QString& text)
{
    if (!needsEscape(text, true))
        return text;
    return escapeHtml(text).replace(u'"', QLatin1String("&quot;"));
}

} // namespace qadora
