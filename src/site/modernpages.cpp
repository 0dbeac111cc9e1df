// SPDX-License-Identifier: GPL-3.0-or-later
#define QT_USE_QSTRINGBUILDER
#include "modernpages.h"

#include "htmlbalance.h"
#include "searchsite.h"

#include <QCryptographicHash>
#include <QHash>
#include <QMutex>
#include <QUrl>

namespace qadora {

namespace {

constexpr int kDescriptionLength = 120;

struct Crumb {
    QString href; // empty for the page itself
    QString text;
};

struct Head {
    QString title;
    QString description;
    QString ogTitle;
    QString ogType = QStringLiteral("website");
    QString fileName;
    QString jsonLd;
    QString styles; // the record's own
};

// The visible text of a title the run repeats on every page (the site's, the return link's, a
// kind's): parsed once, not once a page.
QString phrasingText(const QString& html)
{
    static QMutex mutex;
    static QHash<QString, QString> known;
    const QMutexLocker lock(&mutex);
    if (const auto it = known.constFind(html); it != known.cend())
        return *it;
    if (known.size() > 4096)
        known.clear();
    const QString text = balanceHtml(html, HtmlContext::Phrasing).text;
    known.insert(html, text);
    return text;
}

QString siteName(const PageStyle& style)
{
    const QString text = phrasingText(style.siteTitle);
    return text.isEmpty() ? QStringLiteral("よくある質問") : text;
}

// The return link's address, as the older styles decide it: only when longer than 10 characters.
QString returnAddress(const PageStyle& style)
{
    if (style.returnUrl.size() <= 10)
        return QString();
    return style.returnUrl.trimmed();
}

QString returnLabel(const PageStyle& style)
{
    const QString label = phrasingText(style.returnLabel);
    return label.isEmpty() ? QStringLiteral("HOME") : label;
}

QString shortened(const QString& text, int length)
{
    if (text.size() <= length)
        return text;
    int cut = length - 1;
    if (text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut) + u'…';
}

QString absoluteUrl(const PageStyle& style, const QString& fileName)
{
    const QString address = normalizedSiteAddress(style.siteAddress);
    return address.isEmpty() ? QString() : address + linkTo(fileName);
}

QString attribute(const QString& value)
{
    return u'"' + escapeAttribute(value) + u'"';
}

QString breadcrumb(const QList<Crumb>& crumbs)
{
    QString html = QStringLiteral("<nav class=\"breadcrumb\" aria-label=\"現在位置\"><ol>");
    for (const Crumb& c : crumbs) {
        if (c.href.isEmpty())
            html += QStringLiteral("<li aria-current=\"page\">") + escapeHtml(c.text) + QStringLiteral("</li>");
        else
            html += QStringLiteral("<li><a href=") + attribute(c.href) + u'>' + escapeHtml(c.text) + QStringLiteral("</a></li>");
    }
    return html + QStringLiteral("</ol></nav>\n");
}

QString searchForm(const QString& query = QString())
{
    Q_UNUSED(query)
    return QStringLiteral("<form class=\"search\" action=\"") + kSearchPage
        + QStringLiteral("\" role=\"search\">"
                         "<label class=\"visually-hidden\" for=\"q\">サイト内を検索</label>"
                         "<input type=\"search\" id=\"q\" name=\"q\" placeholder=\"サイト内を検索\" enterkeyhint=\"search\">"
                         "<button type=\"submit\">検索</button></form>");
}

QByteArray document(const PageStyle& style, const ModernContext& context, const Head& head, const QList<Crumb>& crumbs,
                    const QString& main, const QString& footer, const QString& tail = QString())
{
    const QString site = siteName(style);
    const QString url = absoluteUrl(style, head.fileName);
    QString html;
    html.reserve(4096 + main.size());
    html += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    html += QStringLiteral("<title>") + escapeHtml(head.title) + QStringLiteral("</title>\n");
    html += QStringLiteral("<meta name=\"description\" content=") + attribute(head.description) + QStringLiteral(">\n");
    if (!url.isEmpty())
        html += QStringLiteral("<link rel=\"canonical\" href=") + attribute(url) + QStringLiteral(">\n");
    html += QStringLiteral("<meta property=\"og:title\" content=") + attribute(head.ogTitle) + QStringLiteral(">\n");
    html += QStringLiteral("<meta property=\"og:description\" content=") + attribute(head.description) + QStringLiteral(">\n");
    html += QStringLiteral("<meta property=\"og:type\" content=") + attribute(head.ogType) + QStringLiteral(">\n");
    html += QStringLiteral("<meta property=\"og:site_name\" content=") + attribute(site) + QStringLiteral(">\n");
    html += QStringLiteral("<meta property=\"og:locale\" content=\"ja_JP\">\n");
    if (!url.isEmpty())
        html += QStringLiteral("<meta property=\"og:url\" content=") + attribute(url) + QStringLiteral(">\n");
    html += QStringLiteral("<link rel=\"icon\" href=\"") + kModernIcon + QStringLiteral("\">\n");
    // The sheet is the program's own, the same from run to run: its version changes only
    // with a new Qadora, so a rebuild rewrites no page for it.
    static const QString sheetLink = versionedLink(kModernStyleSheet, modernStyleSheet());
    html += QStringLiteral("<link rel=\"stylesheet\" href=") + attribute(sheetLink) + QStringLiteral(">\n");
    if (context.ownStyleSheet)
        html += QStringLiteral("<link rel=\"stylesheet\" href=\"") + kOwnStyleSheet + QStringLiteral("\">\n");
    if (!head.styles.isEmpty())
        html += head.styles + u'\n';
    if (!head.jsonLd.isEmpty())
        html += QStringLiteral("<script type=\"application/ld+json\">") + head.jsonLd + QStringLiteral("</script>\n");
    html += QStringLiteral("</head>\n<body>\n<a class=\"skip\" href=\"#main\">本文へ移動</a>\n<header class=\"site-header\">\n"
                           "<p class=\"site-title\"><a href=")
        + attribute(linkTo(style.indexName)) + u'>' + escapeHtml(site) + QStringLiteral("</a></p>\n") + searchForm()
        + QStringLiteral("\n</header>\n");
    html += breadcrumb(crumbs);
    html += QStringLiteral("<main id=\"main\">\n") + main + QStringLiteral("</main>\n");
    html += QStringLiteral("<footer class=\"site-footer\">") + footer + QStringLiteral("</footer>\n");
    html += tail;
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

QList<Crumb> crumbsToSite(const PageStyle& style, bool siteIsCurrent)
{
    QList<Crumb> crumbs;
    if (const QString home = returnAddress(style); !home.isEmpty())
        crumbs << Crumb{home, returnLabel(style)};
    crumbs << Crumb{siteIsCurrent ? QString() : linkTo(style.indexName), siteName(style)};
    return crumbs;
}

QString listOfLinks(const QList<Crumb>& links)
{
    QString html = QStringLiteral("<ul class=\"links\">\n");
    for (const Crumb& l : links)
        html += QStringLiteral("<li><a href=") + attribute(l.href) + u'>' + escapeHtml(l.text) + QStringLiteral("</a></li>\n");
    return html + QStringLiteral("</ul>\n");
}

QString backLink(const QString& href, const QString& text)
{
    return QStringLiteral("<p><a href=") + attribute(href) + u'>' + escapeHtml(text) + QStringLiteral("</a></p>");
}

QString summary(const QString& lead, const QList<Crumb>& links)
{
    QStringList parts;
    for (const Crumb& l : links)
        parts << l.text;
    const QString list = parts.join(QStringLiteral("、"));
    return shortened(list.isEmpty() ? lead : lead + QStringLiteral("：") + list, kDescriptionLength);
}

QString linkItem(const PageStyle& style, int position, const QString& name, const QString& fileName)
{
    QString item = QStringLiteral("{\"@type\":\"ListItem\",\"position\":") + QString::number(position)
        + QStringLiteral(",\"name\":") + jsonString(name);
    if (!fileName.isEmpty()) {
        const QString url = absoluteUrl(style, fileName);
        item += QStringLiteral(",\"item\":") + jsonString(url.isEmpty() ? linkTo(fileName) : url);
    }
    return item + u'}';
}

} // namespace

QString siteAddressProblem(const QString& address)
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
    // ":" encoded too: "a:b.html" would be read as a link of the scheme "a" (javascript: among them).
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName, QByteArrayLiteral("!$&'()*+,;=@")));
}

QString contentVersion(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(8));
}

QString versionedLink(const QString& fileName, const QByteArray& bytes)
{
    return linkTo(fileName) + QStringLiteral("?v=") + contentVersion(bytes);
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            if (u < 0x20 || u == u'<' || u == u'>' || u == u'&' || u == 0x2028 || u == 0x2029)
                out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

ModernQaPage modernQaPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                          const QString& atext, const QString& btext, const QString& backFile, const QString& kindTitle)
{
    const BalancedHtml question = balanceHtml(atext, HtmlContext::Phrasing);
    const BalancedHtml answer = balanceHtml(btext, HtmlContext::Flow);
    const QString kind = phrasingText(kindTitle);
    const QString site = siteName(style);

    QList<Crumb> crumbs = crumbsToSite(style, false);
    crumbs << Crumb{linkTo(backFile), kind} << Crumb{QString(), question.text};

    Head head;
    head.title = question.text + QStringLiteral(" | ") + site;
    head.ogTitle = question.text;
    head.ogType = QStringLiteral("article");
    head.description = shortened(answer.text.isEmpty() ? question.text : answer.text, kDescriptionLength);
    head.fileName = fileName;
    head.styles = answer.styles;
    // One question with its answer, as the page shows them, and the way to it.
    const QString faq = QStringLiteral("{\"@type\":\"FAQPage\",\"mainEntity\":[{\"@type\":\"Question\",\"name\":")
        + jsonString(question.text) + QStringLiteral(",\"acceptedAnswer\":{\"@type\":\"Answer\",\"text\":")
        + jsonString(answer.text) + QStringLiteral("}}]}");
    const bool home = !returnAddress(style).isEmpty();
    int position = 1;
    QString items;
    if (home) {
        items += QStringLiteral("{\"@type\":\"ListItem\",\"position\":1,\"name\":") + jsonString(returnLabel(style))
            + QStringLiteral(",\"item\":") + jsonString(returnAddress(style)) + QStringLiteral("},");
        ++position;
    }
    items += linkItem(style, position, site, style.indexName) + u',' + linkItem(style, position + 1, kind, backFile) + u','
        + linkItem(style, position + 2, question.text, QString());
    head.jsonLd = QStringLiteral("{\"@context\":\"https://schema.org\",\"@graph\":[") + faq
        + QStringLiteral(",{\"@type\":\"BreadcrumbList\",\"itemListElement\":[") + items + QStringLiteral("]}]}");

    const QString main = QStringLiteral("<article class=\"qa\">\n<h1>") + question.html
        + QStringLiteral("</h1>\n<h2>答え</h2>\n<div class=\"answer-body\">") + answer.html
        + QStringLiteral("</div>\n</article>\n");
    return {document(style, context, head, crumbs, main, backLink(linkTo(backFile), QStringLiteral("戻る"))),
            question.text, answer.text};
}

QByteArray modernIndexPage(const PageStyle& style, const ModernContext& context, const QList<ModernKind>& kinds)
{
    const BalancedHtml title = balanceHtml(style.siteTitle, HtmlContext::Phrasing);
    const QString site = siteName(style);
    QList<Crumb> links;
    for (const ModernKind& k : kinds)
        links << Crumb{linkTo(k.file), balanceHtml(k.title, HtmlContext::Phrasing).text};
    Head head;
    head.title = site;
    head.ogTitle = site;
    head.description = summary(site, links);
    head.fileName = style.indexName;
    const QString main = QStringLiteral("<h1>") + (title.text.isEmpty() ? escapeHtml(site) : title.html)
        + QStringLiteral("</h1>\n") + listOfLinks(links);
    const QString home = returnAddress(style);
    const QString footer = home.isEmpty() ? QStringLiteral("<p>") + escapeHtml(site) + QStringLiteral("</p>")
                                          : backLink(home, returnLabel(style));
    return document(style, context, head, crumbsToSite(style, true), main, footer);
}

QByteArray modernSubIndexPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                              const QString& tit, const QStringList& questions, const QStringList& numbers)
{
    const BalancedHtml title = balanceHtml(tit, HtmlContext::Phrasing);
    const QString site = siteName(style);
    QList<Crumb> links;
    for (qsizetype i = 0; i < questions.size() && i < numbers.size(); ++i)
        links << Crumb{linkTo(qaFileName(numbers[i])), balanceHtml(questions[i], HtmlContext::Phrasing).text};
    Head head;
    head.title = title.text + QStringLiteral(" | ") + site;
    head.ogTitle = title.text;
    head.description = summary(title.text, links);
    head.fileName = fileName;
    QList<Crumb> crumbs = crumbsToSite(style, false);
    crumbs << Crumb{QString(), title.text};
    const QString main = QStringLiteral("<h1>") + title.html + QStringLiteral("</h1>\n") + listOfLinks(links);
    return document(style, context, head, crumbs, main, backLink(linkTo(style.indexName), QStringLiteral("戻る")));
}

QByteArray modernSearchPage(const PageStyle& style, const ModernContext& context, const QString& scriptLink,
                            const QString& metaLink)
{
    Head head;
    head.title = QStringLiteral("サイト内検索 | ") + siteName(style);
    head.ogTitle = QStringLiteral("サイト内検索");
    head.description = siteName(style) + QStringLiteral("の質問と答えを検索します。");
    head.fileName = kSearchPage;
    head.styles = QStringLiteral("<style>") + QString::fromUtf8(modernSearchStyle()).trimmed() + QStringLiteral("</style>");
    QList<Crumb> crumbs = crumbsToSite(style, false);
    crumbs << Crumb{QString(), QStringLiteral("サイト内検索")};
    const QString main = QStringLiteral(
        "<h1>サイト内検索</h1>\n"
        "<p id=\"search-status\" class=\"search-status\" role=\"status\">上の検索欄に言葉を入れて下さい。</p>\n"
        "<ol id=\"search-results\" class=\"results\"></ol>\n"
        "<p><button type=\"button\" id=\"search-more\" class=\"more\" hidden>さらに表示</button></p>\n"
        "<noscript><p>検索にはJavaScriptを有効にして下さい。</p></noscript>\n");
    const QString tail = QStringLiteral("<script src=") + attribute(scriptLink) + QStringLiteral(" data-index=")
        + attribute(metaLink) + QStringLiteral(" defer></script>\n");
    return document(style, context, head, crumbs, main, backLink(linkTo(style.indexName), QStringLiteral("戻る")), tail);
}

QByteArray sitemap(const QString& siteAddress, const QStringList& pages)
{
    const QString address = normalizedSiteAddress(siteAddress);
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n");
    for (const QString& page : pages)
        xml += QStringLiteral("<url><loc>") + escapeAttribute(address + linkTo(page)) + QStringLiteral("</loc></url>\n");
    return (xml + QStringLiteral("</urlset>\n")).toUtf8();
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
