// SPDX-License-Identifier: GPL-3.0-or-later
// What the modern style's pages and files say about addresses and names: the site's address,
// links to files, versions by content, JSON strings, the sitemap, robots.txt and the icon.
#include "modernpages.h"
#include "pagefile.h"

#include "utf8text.h"

#include <QMutex>
#include <QUrl>

#include <algorithm>

namespace qadora {

namespace {

QString addressProblem(const QString& address);

} // namespace

QString siteAddressProblem(const QString& address)
{
    // Asked for every page of a run, about the same address.
    static QMutex mutex;
    static QString known;
    static QString problem = addressProblem(known);
    const QMutexLocker lock(&mutex);
    if (address != known) {
        problem = addressProblem(address);
        known = address;
    }
    return problem;
}

namespace {

QString addressProblem(const QString& address)
{
    const QString a = address.trimmed();
    if (a.isEmpty())
        return {};
    // A line break would add lines of its own to robots.txt; without a scheme and host every
    // canonical link would be taken as a path of the page's own site.
    for (const QChar c : a) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return kSiteAddressMessage;
    }
    const QUrl url(a, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty() || url.hasQuery()
        || url.hasFragment() || !url.userInfo().isEmpty())
        return kSiteAddressMessage;
    return {};
}

} // namespace

QString normalizedSiteAddress(const QString& address)
{
    QString a = address.trimmed();
    if (a.isEmpty())
        return a;
    if (!a.endsWith(u'/'))
        a += u'/';
    return a;
}

QString linkTo(const QString& fileName)
{
    // Most names ("qa12.html", "k3.html") need no encoding: handed back as they are.
    const auto plain = [](char16_t u) {
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-' || u == u'.'
            || u == u'_' || u == u'~' || u == u'!' || u == u'$' || u == u'&' || u == u'\'' || u == u'(' || u == u')'
            || u == u'*' || u == u'+' || u == u',' || u == u';' || u == u'=' || u == u'@';
    };
    if (std::all_of(fileName.utf16(), fileName.utf16() + fileName.size(), plain))
        return fileName;
    // ":" encoded too: "a:b.html" would be read as a link of the scheme "a" (javascript: among them).
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName, QByteArrayLiteral("!$&'()*+,;=@")));
}

QString contentVersion(const QByteArray& bytes)
{
    // Only a change has to show, and the search files are large: the manifest's quick hash.
    return QString::fromLatin1(pageHash(bytes).left(8));
}

QString versionedLink(const QString& fileName, const QByteArray& bytes)
{
    return linkTo(fileName) + QStringLiteral("?v=") + contentVersion(bytes);
}

QString jsonString(const QString& text)
{
    const auto plain = [](char16_t u) {
        return u >= 0x20 && u != u'"' && u != u'\\' && u != u'<' && u != u'>' && u != u'&' && u != 0x2028 && u != 0x2029;
    };
    if (std::all_of(text.utf16(), text.utf16() + text.size(), plain))
        return u'"' + text + u'"';
    QString out = QStringLiteral("\"");
    out.reserve(text.size() + 16);
    const char16_t* const s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        // What needs no escape, a run at a time.
        const qsizetype run = std::find_if_not(s + i, s + n, plain) - (s + i);
        if (run > 0) {
            out.append(text.constData() + i, run);
            i += run;
            continue;
        }
        const char16_t u = s[i++];
        switch (u) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
        }
    }
    return out + u'"';
}
QByteArray sitemap(const QString& siteAddress, const QStringList& pages)
{
    const QString address = normalizedSiteAddress(siteAddress);
    Utf8Text xml(256 + pages.size() * (address.size() + 40));
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const QString& page : pages) {
        xml << "<url><loc>";
        xml.add(address, Utf8Text::Escape::Attribute).add(linkTo(page), Utf8Text::Escape::Attribute) << "</loc></url>\n";
    }
    xml << "</urlset>\n";
    return xml.take();
}

QByteArray robots(const QString& siteAddress)
{
    return (QStringLiteral("User-agent: *\nAllow: /\nSitemap: ") + normalizedSiteAddress(siteAddress) + kSitemap
            + QStringLiteral("\n"))
        .toUtf8();
}

QByteArray modernIcon()
{
    return QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 32 32\">"
        "<rect width=\"32\" height=\"32\" rx=\"7\" fill=\"#0b57d0\"/>"
        "<circle cx=\"15\" cy=\"15\" r=\"8\" fill=\"none\" stroke=\"#fff\" stroke-width=\"3.5\"/>"
        "<path d=\"M19 19l6 6\" stroke=\"#fff\" stroke-width=\"3.5\" stroke-linecap=\"round\"/></svg>\n");
}

} // namespace qadora
