// SPDX-License-Identifier: GPL-3.0-or-later
// Escaping shared by the parser-balanced writer and its stand-in.
#include "htmlbalance.h"

namespace qadora {

QString escapeHtml(const QString& text)
{
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
    return escapeHtml(text).replace(u'"', QLatin1String("&quot;"));
}

} // namespace qadora
