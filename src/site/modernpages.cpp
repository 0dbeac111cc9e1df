// SPDX-License-Identifier: GPL-3.0-or-later
#define QT_USE_QSTRINGBUILDER
#include "modernpages.h"

#include "htmlbalance.h"
#include "searchsite.h"
#include "utf8text.h"

#include <QHash>
#include <QMutex>

#include <algorithm>
#include <type_traits>

namespace qadora {

namespace {

constexpr int kDescriptionLength = 120;

struct Crumb {
    QString href; // empty for the page itself
    QString text;
};

void writeCrumb(Utf8Text& out, const Crumb& c)
{
    if (c.href.isEmpty()) {
        out << "<li aria-current=\"page\">";
        out.html(c.text) << "</li>";
    } else {
        out << "<li><a href=";
        out.attribute(c.href) << '>';
        out.html(c.text) << "</a></li>";
    }
}

struct Head {
    QString title;
    bool titleWithSite = true; // followed by " | " and the site's name
    QString description;
    QString ogTitle;
    bool article = false; // og:type
    QString fileName;
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

QString searchForm()
{
    return QStringLiteral("<form class=\"search\" action=\"") + kSearchPage
        + QStringLiteral("\" role=\"search\">"
                         "<label class=\"visually-hidden\" for=\"q\">サイト内を検索</label>"
                         "<input type=\"search\" id=\"q\" name=\"q\" placeholder=\"サイト内を検索\" enterkeyhint=\"search\">"
                         "<button type=\"submit\">検索</button></form>");
}

QList<Crumb> crumbsToSite(const PageStyle& style, bool siteIsCurrent)
{
    QList<Crumb> crumbs;
    if (const QString home = returnAddress(style); !home.isEmpty())
        crumbs << Crumb{home, returnLabel(style)};
    crumbs << Crumb{siteIsCurrent ? QString() : linkTo(style.indexName), siteName(style)};
    return crumbs;
}

QByteArray linkItem(const PageStyle& style, int position, const QString& name, const QString& fileName)
{
    Utf8Text item;
    item << "{\"@type\":\"ListItem\",\"position\":";
    item.number(position) << ",\"name\":";
    item.json(name);
    if (!fileName.isEmpty()) {
        const QString url = absoluteUrl(style, fileName);
        item << ",\"item\":";
        item.json(url.isEmpty() ? linkTo(fileName) : url);
    }
    item << '}';
    return item.take();
}

// What every page of a run repeats, ready as the bytes it is written as: made once a style
// (and once a thread), not once a page.
struct Frame {
    QString site;
    QString address;        // the site's, normalized; empty for none
    QString homeAddress;    // the return link's; empty for none
    QString homeLabel;
    QByteArray headStart;   // up to "<title>"
    QByteArray titleSuffix; // " | " and the site's name, escaped
    QByteArray siteMeta;    // og:site_name and og:locale
    QByteArray links;       // the icon's and the sheets' lines
    QByteArray header;      // "</head>" to the end of the header
    QByteArray crumbsToSite;  // the breadcrumb's opening, the return link and the site's link
    QByteArray crumbsAtSite;  // the same on the index page, where the site is the page itself
    QByteArray jsonSiteItems; // the record page's ListItems of the return link and the site, each with its ","
    int nextPosition = 2;     // the position of the item after them
};

Frame makeFrame(const PageStyle& style, const ModernContext& context)
{
    Frame f;
    f.site = siteName(style);
    f.address = normalizedSiteAddress(style.siteAddress);
    f.homeAddress = returnAddress(style);
    f.homeLabel = returnLabel(style);
    f.headStart = QByteArrayLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>");
    Utf8Text suffix;
    suffix << " | ";
    suffix.html(f.site);
    f.titleSuffix = suffix.take();
    Utf8Text meta;
    meta << "<meta property=\"og:site_name\" content=";
    meta.attribute(f.site) << ">\n<meta property=\"og:locale\" content=\"ja_JP\">\n";
    f.siteMeta = meta.take();
    // The sheet is the program's own, the same from run to run: its version changes only
    // with a new Qadora, so a rebuild rewrites no page for it.
    static const QString sheetLink = versionedLink(kModernStyleSheet, modernStyleSheet());
    Utf8Text links;
    links << "<link rel=\"icon\" href=\"" << kModernIcon << "\">\n";
    links << "<link rel=\"stylesheet\" href=";
    links.attribute(sheetLink) << ">\n";
    if (context.ownStyleSheet)
        links << "<link rel=\"stylesheet\" href=\"" << kOwnStyleSheet << "\">\n";
    f.links = links.take();
    Utf8Text header;
    header << "</head>\n<body>\n<a class=\"skip\" href=\"#main\">本文へ移動</a>\n<header class=\"site-header\">\n"
              "<p class=\"site-title\"><a href=";
    header.attribute(linkTo(style.indexName)) << '>';
    header.html(f.site) << "</a></p>\n" << searchForm() << "\n</header>\n";
    f.header = header.take();
    for (const bool siteIsCurrent : {false, true}) {
        Utf8Text crumbs;
        crumbs << "<nav class=\"breadcrumb\" aria-label=\"現在位置\"><ol>";
        for (const Crumb& c : crumbsToSite(style, siteIsCurrent))
            writeCrumb(crumbs, c);
        (siteIsCurrent ? f.crumbsAtSite : f.crumbsToSite) = crumbs.take();
    }
    Utf8Text items;
    int position = 1;
    if (!f.homeAddress.isEmpty()) {
        items << "{\"@type\":\"ListItem\",\"position\":1,\"name\":";
        items.json(f.homeLabel) << ",\"item\":";
        items.json(f.homeAddress) << "},";
        ++position;
    }
    items << linkItem(style, position, f.site, style.indexName) << ',';
    f.jsonSiteItems = items.take();
    f.nextPosition = position + 1;
    return f;
}

// The page's address at the site's, as an attribute's value (with its quotes); empty when no
// address is set.
void absoluteUrlAttribute(Utf8Text& out, const Frame& frame, const QString& fileName)
{
    out.attribute(QString(frame.address + linkTo(fileName)));
}

// Where document() wrote the page's own part of the title: a record page's last crumb is the
// same text escaped the same way.
struct Written {
    qsizetype titleAt = 0;
    qsizetype titleLength = 0;
};

// A page: its head, with the structured data `json` writes (none for nullptr), the header
// every page shows, the breadcrumb (`siteCrumbs` opens it; `crumbs` writes the rest), main
// (`main` writes it) and the footer. One buffer of about the page's size, `size` bytes for
// what the callers write: a page is made for every record of every run.
template <typename Json, typename Crumbs, typename Main>
QByteArray document(const Frame& frame, const Head& head, qsizetype size, Json&& json, const QByteArray& siteCrumbs,
                    Crumbs&& crumbs, Main&& main, const QByteArray& footer, const QByteArray& tail = QByteArray())
{
    const qsizetype own = head.title.size() + 2 * head.description.size() + head.ogTitle.size() + head.styles.size()
        + 2 * (frame.address.size() + head.fileName.size());
    Utf8Text html(1024 + frame.headStart.size() + frame.titleSuffix.size() + frame.siteMeta.size() + frame.links.size()
                  + frame.header.size() + siteCrumbs.size() + footer.size() + tail.size() + 3 * own + size);
    Written written;
    html << frame.headStart;
    written.titleAt = html.size();
    html.html(head.title);
    written.titleLength = html.size() - written.titleAt;
    if (head.titleWithSite)
        html << frame.titleSuffix;
    html << "</title>\n";
    // The description and the address stand twice: escaped once, copied the second time.
    html << "<meta name=\"description\" content=";
    const qsizetype description = html.size();
    html.attribute(head.description);
    const qsizetype describeLength = html.size() - description;
    html << ">\n";
    const bool url = !frame.address.isEmpty();
    qsizetype address = 0, addressLength = 0;
    if (url) {
        html << "<link rel=\"canonical\" href=";
        address = html.size();
        absoluteUrlAttribute(html, frame, head.fileName);
        addressLength = html.size() - address;
        html << ">\n";
    }
    html << "<meta property=\"og:title\" content=";
    html.attribute(head.ogTitle) << ">\n";
    html << "<meta property=\"og:description\" content=";
    html.repeat(description, describeLength) << ">\n";
    html << (head.article ? "<meta property=\"og:type\" content=\"article\">\n"
                          : "<meta property=\"og:type\" content=\"website\">\n");
    html << frame.siteMeta;
    if (url) {
        html << "<meta property=\"og:url\" content=";
        html.repeat(address, addressLength) << ">\n";
    }
    html << frame.links;
    if (!head.styles.isEmpty())
        html << QStringView(head.styles) << '\n';
    if constexpr (!std::is_null_pointer_v<std::decay_t<Json>>) {
        html << "<script type=\"application/ld+json\">";
        json(html);
        html << "</script>\n";
    }
    html << frame.header << siteCrumbs;
    crumbs(html, written);
    html << "</ol></nav>\n";
    html << "<main id=\"main\">\n";
    main(html);
    html << "</main>\n";
    html << "<footer class=\"site-footer\">" << footer << "</footer>\n";
    html << tail;
    html << "</body>\n</html>\n";
    return html.take();
}

// A document() whose crumbs after the site's are `more` and whose main is `main`.
QByteArray document(const Frame& frame, const Head& head, const QByteArray& siteCrumbs, const QList<Crumb>& more,
                    const QByteArray& main, const QByteArray& footer, const QByteArray& tail = QByteArray())
{
    qsizetype size = main.size();
    for (const Crumb& c : more)
        size += 64 + 3 * (c.href.size() + c.text.size());
    return document(
        frame, head, size, nullptr, siteCrumbs,
        [&](Utf8Text& out, const Written&) {
            for (const Crumb& c : more)
                writeCrumb(out, c);
        },
        [&](Utf8Text& out) { out << main; }, footer, tail);
}

void listOfLinks(Utf8Text& html, const QList<Crumb>& links)
{
    html << "<ul class=\"links\">\n";
    for (const Crumb& l : links) {
        html << "<li><a href=";
        html.attribute(l.href) << '>';
        html.html(l.text) << "</a></li>\n";
    }
    html << "</ul>\n";
}

QByteArray backLink(const QString& href, const QString& text)
{
    Utf8Text html;
    html << "<p><a href=";
    html.attribute(href) << '>';
    html.html(text) << "</a></p>";
    return html.take();
}

QString summary(const QString& lead, const QList<Crumb>& links)
{
    QStringList parts;
    for (const Crumb& l : links)
        parts << l.text;
    const QString list = parts.join(QStringLiteral("、"));
    return shortened(list.isEmpty() ? lead : lead + QStringLiteral("：") + list, kDescriptionLength);
}

// What a record page repeats of its kind: the kind's crumb, its ListItem and the footer.
struct KindFrame {
    QString kind; // the visible text of the kind's title
    QString link;
    QByteArray jsonItem; // with its ","
    QByteArray crumb;
    QByteArray footer;
};

} // namespace

// What a run repeats: the frame of the style its pages were last made in, the kinds' parts
// made in it, and the visible text of each record's question as its page showed it (the
// kind's list of links, made after the record pages, parses no question again). Pages may be
// made on more than one thread: each takes the parts it needs under the lock.
struct ModernParts {
    QMutex mutex;
    PageStyle style;
    bool ownStyleSheet = false;
    std::shared_ptr<const Frame> frame;
    QHash<std::pair<QString, QString>, std::shared_ptr<const KindFrame>> kinds;
    QHash<QString, QString> questionTexts;
};

std::shared_ptr<ModernParts> newModernParts()
{
    return std::make_shared<ModernParts>();
}

namespace {

std::shared_ptr<const Frame> frameFor(const PageStyle& style, const ModernContext& context)
{
    ModernParts& parts = *context.parts;
    const QMutexLocker lock(&parts.mutex);
    if (!parts.frame || parts.ownStyleSheet != context.ownStyleSheet || !(parts.style == style)) {
        parts.frame = std::make_shared<const Frame>(makeFrame(style, context));
        parts.style = style;
        parts.ownStyleSheet = context.ownStyleSheet;
        parts.kinds.clear(); // another style's kinds may link elsewhere
    }
    return parts.frame;
}

std::shared_ptr<const KindFrame> kindFrameFor(const PageStyle& style, const ModernContext& context, const Frame& frame,
                                              const QString& backFile, const QString& kindTitle)
{
    ModernParts& parts = *context.parts;
    const std::pair<QString, QString> key{backFile, kindTitle};
    {
        const QMutexLocker lock(&parts.mutex);
        if (const auto it = parts.kinds.constFind(key); it != parts.kinds.cend())
            return *it;
    }
    auto k = std::make_shared<KindFrame>();
    k->kind = phrasingText(kindTitle);
    k->link = linkTo(backFile);
    Utf8Text item;
    item << linkItem(style, frame.nextPosition, k->kind, backFile) << ',';
    k->jsonItem = item.take();
    Utf8Text crumb;
    writeCrumb(crumb, Crumb{k->link, k->kind});
    k->crumb = crumb.take();
    k->footer = backLink(k->link, QStringLiteral("戻る"));
    const QMutexLocker lock(&parts.mutex);
    if (parts.frame.get() == &frame)
        parts.kinds.insert(key, k);
    return k;
}

void rememberQuestion(const ModernContext& context, const QString& html, const QString& text)
{
    ModernParts& parts = *context.parts;
    const QMutexLocker lock(&parts.mutex);
    parts.questionTexts.insert(html, text);
}

QString questionText(const ModernContext& context, const QString& html)
{
    {
        ModernParts& parts = *context.parts;
        const QMutexLocker lock(&parts.mutex);
        if (const auto it = parts.questionTexts.constFind(html); it != parts.questionTexts.cend())
            return *it;
    }
    return balanceHtml(html, HtmlContext::Phrasing).text;
}

} // namespace

ModernQaPage modernQaPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                          const QString& atext, const QString& btext, const QString& backFile, const QString& kindTitle)
{
    const BalancedHtml question = balanceHtml(atext, HtmlContext::Phrasing);
    const BalancedHtml answer = balanceHtml(btext, HtmlContext::Flow);
    rememberQuestion(context, atext, question.text);
    const std::shared_ptr<const Frame> kept = frameFor(style, context);
    const Frame& frame = *kept;
    const std::shared_ptr<const KindFrame> keptKind = kindFrameFor(style, context, frame, backFile, kindTitle);
    const KindFrame& kind = *keptKind;

    Head head;
    head.title = question.text;
    head.ogTitle = question.text;
    head.article = true;
    head.description = shortened(answer.text.isEmpty() ? question.text : answer.text, kDescriptionLength);
    head.fileName = fileName;
    head.styles = answer.styles;
    // One question with its answer, as the page shows them, and the way to it.
    auto json = [&](Utf8Text& out) {
        out << "{\"@context\":\"https://schema.org\",\"@graph\":["
               "{\"@type\":\"FAQPage\",\"mainEntity\":[{\"@type\":\"Question\",\"name\":";
        const qsizetype name = out.size();
        out.json(question.text);
        const qsizetype nameLength = out.size() - name; // the last crumb's name too
        out << ",\"acceptedAnswer\":{\"@type\":\"Answer\",\"text\":";
        out.json(answer.text) << "}}]}";
        out << ",{\"@type\":\"BreadcrumbList\",\"itemListElement\":[" << frame.jsonSiteItems << kind.jsonItem;
        out << "{\"@type\":\"ListItem\",\"position\":";
        out.number(frame.nextPosition + 1) << ",\"name\":";
        out.repeat(name, nameLength) << "}]}]}";
    };
    auto crumbs = [&](Utf8Text& out, const Written& written) {
        out << kind.crumb << "<li aria-current=\"page\">";
        out.repeat(written.titleAt, written.titleLength) << "</li>";
    };
    auto main = [&](Utf8Text& out) {
        out << "<article class=\"qa\">\n<h1>" << QStringView(question.html) << "</h1>\n<h2>答え</h2>\n<div class=\"answer-body\">"
            << QStringView(answer.html) << "</div>\n</article>\n";
    };
    const qsizetype size = 512 + frame.jsonSiteItems.size() + kind.jsonItem.size() + kind.crumb.size()
        + 3 * (3 * question.text.size() + answer.text.size() + question.html.size() + answer.html.size());
    return {document(frame, head, size, json, frame.crumbsToSite, crumbs, main, kind.footer), question.text, answer.text};
}

QByteArray modernIndexPage(const PageStyle& style, const ModernContext& context, const QList<ModernKind>& kinds)
{
    const BalancedHtml title = balanceHtml(style.siteTitle, HtmlContext::Phrasing);
    const std::shared_ptr<const Frame> kept = frameFor(style, context);
    const Frame& frame = *kept;
    const QString& site = frame.site;
    QList<Crumb> links;
    for (const ModernKind& k : kinds)
        links << Crumb{linkTo(k.file), balanceHtml(k.title, HtmlContext::Phrasing).text};
    Head head;
    head.title = site;
    head.titleWithSite = false;
    head.ogTitle = site;
    head.description = summary(site, links);
    head.fileName = style.indexName;
    Utf8Text main;
    main << "<h1>";
    if (title.text.isEmpty())
        main.html(site);
    else
        main << QStringView(title.html);
    main << "</h1>\n";
    listOfLinks(main, links);
    QByteArray footer;
    if (frame.homeAddress.isEmpty()) {
        Utf8Text text;
        text << "<p>";
        text.html(site) << "</p>";
        footer = text.take();
    } else {
        footer = backLink(frame.homeAddress, frame.homeLabel);
    }
    return document(frame, head, frame.crumbsAtSite, {}, main.bytes(), footer);
}

QByteArray modernSubIndexPage(const PageStyle& style, const ModernContext& context, const QString& fileName,
                              const QString& tit, const QStringList& questions, const QStringList& numbers)
{
    const BalancedHtml title = balanceHtml(tit, HtmlContext::Phrasing);
    const std::shared_ptr<const Frame> kept = frameFor(style, context);
    const Frame& frame = *kept;
    QList<Crumb> links;
    links.reserve(questions.size());
    for (qsizetype i = 0; i < questions.size() && i < numbers.size(); ++i)
        links << Crumb{linkTo(qaFileName(numbers[i])), questionText(context, questions[i])};
    Head head;
    head.title = title.text;
    head.ogTitle = title.text;
    head.description = summary(title.text, links);
    head.fileName = fileName;
    Utf8Text main(links.size() * 160);
    main << "<h1>" << QStringView(title.html) << "</h1>\n";
    listOfLinks(main, links);
    return document(frame, head, frame.crumbsToSite, {Crumb{QString(), title.text}}, main.bytes(),
                    backLink(linkTo(style.indexName), QStringLiteral("戻る")));
}

QByteArray modernSearchPage(const PageStyle& style, const ModernContext& context, const QString& scriptLink,
                            const QString& metaLink)
{
    const std::shared_ptr<const Frame> kept = frameFor(style, context);
    const Frame& frame = *kept;
    Head head;
    head.title = QStringLiteral("サイト内検索");
    head.ogTitle = QStringLiteral("サイト内検索");
    head.description = frame.site + QStringLiteral("の質問と答えを検索します。");
    head.fileName = kSearchPage;
    head.styles = QStringLiteral("<style>") + QString::fromUtf8(modernSearchStyle()).trimmed() + QStringLiteral("</style>");
    const QByteArray main = QByteArrayLiteral(
        "<h1>サイト内検索</h1>\n"
        "<p id=\"search-status\" class=\"search-status\" role=\"status\">上の検索欄に言葉を入れて下さい。</p>\n"
        "<ol id=\"search-results\" class=\"results\"></ol>\n"
        "<p><button type=\"button\" id=\"search-more\" class=\"more\" hidden>さらに表示</button></p>\n"
        "<noscript><p>検索にはJavaScriptを有効にして下さい。</p></noscript>\n");
    Utf8Text tail;
    tail << "<script src=";
    tail.attribute(scriptLink) << " data-index=";
    tail.attribute(metaLink) << " defer></script>\n";
    return document(frame, head, frame.crumbsToSite, {Crumb{QString(), QStringLiteral("サイト内検索")}}, main,
                    backLink(linkTo(style.indexName), QStringLiteral("戻る")), tail.bytes());
}

} // namespace qadora
