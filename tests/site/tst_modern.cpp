// SPDX-License-Identifier: GPL-3.0-or-later
// The modern style: balanced answers, well-formed UTF-8 documents whatever the records hold,
// structured data equal to what the page shows, and the site's search answering as the
// page's own script answers (run in node when it is there).
#include "search/searchtext.h"
#include "site/htmlbalance.h"
#include "site/htmltree.h"
#include "site/modernpages.h"
#include "site/sitegeneration.h"
#include "site/utf8text.h"
#include "testenv.h"
#include "ui/folderpicker.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <gumbo.h>
#include <vector>

using namespace qadora;
using namespace qadora::test;

namespace {

// Records that try everything a stored answer can do to a page.
QList<Record> hostileRecords()
{
    return {
        {0, "pw,パスワード", "パスワード変更の方法は？", "設定画面で<b>パスワード変更</b>を選びます。<br>\r\n次に新しいパスワードを入れます。"},
        {0, "pw,パスワード", "ﾊﾟｽﾜｰﾄﾞを忘れた", "<p>ﾊﾟｽﾜｰﾄﾞ変更は</p></p>管理者へ。<hr>PASSWORD reset"},
        {0, "pw,パスワード", "ＰＡＳＳＷＯＲＤとは", "<b>unclosed <i>misnested</b> text</i> & more <table><tr><td>cell"},
        {0, "種類 1,記号\"<&>", "<質問>が文字のまま</script>", "<li>stray item<a href=\"x\">open link <div>block in a"},
        {0, "種類 1,記号\"<&>", "絵文字😀と\u2028区切り", "<script>var s = \"</scr\" + \"ipt>\";</script>見える文<style>p{}</style>"},
        {0, "etc,その他", "方法の変更", "変更の方法\x01（制御文字）<!-- note --> &amp; &lt;b&gt; done"},
    };
}

// What a reader sees of an element, as the pages promise it: white space collapsed, a line
// or block edge a space.
void collectText(GumboNode* node, QString& out)
{
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
        out += QString::fromUtf8(node->v.text.text);
        return;
    }
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    const GumboTag tag = node->v.element.tag;
    if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE)
        return;
    static const QList<GumboTag> inlineTags = {GUMBO_TAG_B, GUMBO_TAG_I, GUMBO_TAG_A, GUMBO_TAG_SPAN, GUMBO_TAG_EM,
                                               GUMBO_TAG_STRONG, GUMBO_TAG_FONT, GUMBO_TAG_U, GUMBO_TAG_SMALL};
    const bool block = !inlineTags.contains(tag);
    if (block)
        out += u' ';
    for (unsigned i = 0; i < node->v.element.children.length; ++i)
        collectText(static_cast<GumboNode*>(node->v.element.children.data[i]), out);
    if (block)
        out += u' ';
}

QString visibleText(GumboNode* node)
{
    QString raw;
    for (unsigned i = 0; i < node->v.element.children.length; ++i)
        collectText(static_cast<GumboNode*>(node->v.element.children.data[i]), raw);
    return raw.split(QRegularExpression(QStringLiteral("[ \t\n\r\f]+")), Qt::SkipEmptyParts).join(u' ');
}

QString attributeOf(GumboNode* node, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? QString::fromUtf8(a->value) : QString();
}

void elements(GumboNode* node, QList<GumboNode*>& out)
{
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    out << node;
    for (unsigned i = 0; i < node->v.element.children.length; ++i)
        elements(static_cast<GumboNode*>(node->v.element.children.data[i]), out);
}

struct Parsed {
    GumboOutput* output = nullptr;
    QList<GumboNode*> all;
    QByteArray bytes;
    explicit Parsed(QByteArray b)
        : bytes(std::move(b))
    {
        output = gumbo_parse_with_options(&kGumboDefaultOptions, bytes.constData(), size_t(bytes.size()));
        elements(output->root, all);
    }
    ~Parsed() { gumbo_destroy_output(&kGumboDefaultOptions, output); }
    QList<GumboNode*> byTag(GumboTag tag) const
    {
        QList<GumboNode*> found;
        for (GumboNode* n : all)
            if (n->v.element.tag == tag)
                found << n;
        return found;
    }
    GumboNode* byClass(const QString& cls) const
    {
        for (GumboNode* n : all)
            if (attributeOf(n, "class").split(u' ').contains(cls))
                return n;
        return nullptr;
    }
};

bool inside(GumboNode* node, GumboNode* ancestor)
{
    for (GumboNode* n = node; n; n = n->parent)
        if (n == ancestor)
            return true;
    return false;
}

} // namespace

class TestModern : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void balance_data();
    void balance();
    void balance_asTheParserGivesIt_data();
    void balance_asTheParserGivesIt();
    void balance_sameWhateverTheMemoryHeld();
    void balance_deepNestingKeepsItsText_data();
    void balance_deepNestingKeepsItsText();
    void balance_misnestedFormattingStaysWithinDepth();
    void balance_formattingOpenedAgainStaysInProportion_data();
    void balance_formattingOpenedAgainStaysInProportion();
    void balance_shallowMarkupReachesTheParserAsStored_data();
    void balance_shallowMarkupReachesTheParserAsStored();
    void linkTo_isAPathOfThisFolder_data();
    void linkTo_isAPathOfThisFolder();
    void utf8Text_givesTheBytesOfTheEscapedText_data();
    void utf8Text_givesTheBytesOfTheEscapedText();

    void hostileSite_everyPageIsAWellFormedDocument();
    void hostileSite_structuredDataIsWhatThePageShows();
    void hostileSite_sitemapAndRobots();
    void siteAddress_onlyAWholeHttpAddress_data();
    void siteAddress_onlyAWholeHttpAddress();
    void search_answersAsThePageScript_data();
    void search_answersAsThePageScript();
    void rebuild_writesOnlyWhatChanged_andPruneTakesTheSearchFiles();
    void window_chooseModernTypeAddress_rememberedPerFolder();

private:
    QString build(const QStringList& extra);
    QTemporaryDir m_dir;
    QString m_db;
    QString m_out;
};

void TestModern::initTestCase()
{
    isolateSettings();
    m_db = makeDatabase(m_dir.filePath("hostile.mdb"), hostileRecords());
    m_out = m_dir.filePath("site");
    QDir().mkpath(m_out);
    QVERIFY(writeBytes(m_dir.filePath("site/site.css"), "body { color: teal; }\n"));
    const QString error = build({"--site-url", "https://example.jp/faq"});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

QString TestModern::build(const QStringList& extra)
{
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE),
            QStringList{"--quiet", "--style", "modern", "--title", "サポート<b>窓口</b>", "--return-url", "https://example.jp/"}
                << extra << m_db << m_out);
    p.waitForFinished(60000);
    return p.exitCode() == 0 ? QString() : QString::fromUtf8(p.readAllStandardError());
}

void TestModern::siteAddress_onlyAWholeHttpAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("taken");
    QTest::newRow("https with a folder") << "https://example.jp/faq" << true;
    QTest::newRow("http, spaces around") << " http://example.jp " << true;
    QTest::newRow("a line of robots.txt of its own") << "https://e.jp/faq\nDisallow: /" << false;
    QTest::newRow("no scheme") << "e.jp/faq" << false;
    QTest::newRow("another scheme") << "javascript:alert(1)//" << false;
    QTest::newRow("ftp") << "ftp://e.jp/" << false;
    QTest::newRow("a query") << "https://e.jp/?a=1" << false;
    QTest::newRow("a space inside") << "https://e.jp/よくある 質問/" << false;
}

// The address stands before every canonical link and in robots.txt: one that would not name
// this site's pages stops the run before any page is written.
void TestModern::siteAddress_onlyAWholeHttpAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, taken);
    QTemporaryDir out;
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", "--style", "modern", "--site-url", address, m_db, out.path()});
    QVERIFY(p.waitForFinished(60000));
    const QString error = QString::fromUtf8(p.readAllStandardError());
    const QStringList written = QDir(out.path()).entryList({"*.html", "robots.txt"}, QDir::Files);
    if (taken) {
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(written.contains("robots.txt"));
    } else {
        QVERIFY(p.exitCode() != 0);
        QVERIFY2(error.contains(kSiteAddressMessage), qPrintable(error));
        QCOMPARE(written, QStringList());
    }
}

void TestModern::balance_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("phrasing");
    QTest::addColumn<QString>("balanced");
    QTest::addColumn<QString>("text");
    QTest::newRow("unclosed b") << "a <b>bold" << false << "a <b>bold</b>" << "a bold";
    QTest::newRow("stray end tag, hr") << "x</p>y<hr>z" << false << "x<p></p>y<hr>z" << "x y z";
    QTest::newRow("misnested") << "<b>1<i>2</b>3</i>" << false << "<b>1<i>2</i></b><i>3</i>" << "123";
    QTest::newRow("pseudo tag stays text") << "<質問>と<答え>" << false << "&lt;質問&gt;と&lt;答え&gt;" << "<質問>と<答え>";
    QTest::newRow("line-break markers stay") << "1行<br>\n2行<BR>" << false << "1行<br>\n2行<br>" << "1行 2行";
    QTest::newRow("attributes quoted") << "<a href=x title='a\"b'>l</a>" << false << "<a href=\"x\" title=\"a&quot;b\">l</a>" << "l";
    QTest::newRow("script kept, not text") << "<script>if (a<b) x();</script>t" << false << "<script>if (a<b) x();</script>t" << "t";
    QTest::newRow("entities") << "&amp;&lt;&nbsp;&copy;" << false << "&amp;&lt;&nbsp;©" << "&<\u00a0©";
    QTest::newRow("control characters dropped") << "a\x01" "b" << false << "ab" << "ab";
    QTest::newRow("block in text-level markup")
        << "<b>1<div>2</div>3</b>" << false << "<b>1</b><div><b>2</b></div><b>3</b>" << "1 2 3";
    QTest::newRow("table in a span, id once") << "<span id=s>x<table><tr><td>y</table></span>" << false
                                              << "<span id=\"s\">x</span><table><tbody><tr><td><span>y</span></td></tr></tbody></table>"
                                              << "x y";
    QTest::newRow("block ends a heading") << "<h3>見出し<div>塊</div></h3>" << false << "<h3>見出し</h3><div>塊</div>" << "見出し 塊";
    QTest::newRow("link in a link") << "<a href=x>1<table><tr><td><a href=y>2</a></table></a>" << false
                                    << "<a href=\"x\">1<table><tbody><tr><td>2</td></tr></tbody></table></a>" << "1 2";
    QTest::newRow("links in details and a label")
        << "<details><summary>開く</summary><a href=x>1</a></details><label><a href=y>2</a></label>" << false
        << "<details><summary>開く</summary><a href=\"x\">1</a></details><label><a href=\"y\">2</a></label>" << "開く 1 2";
    QTest::newRow("iframe in a link, its text escaped") << "<a href=x><iframe>a</div><!--</a>" << false
                                                        << "<a href=\"x\">a&lt;/div&gt;&lt;!--&lt;/a&gt;</a>" << "a</div><!--</a>";
    QTest::newRow("items without a list") << "<li>一<li>二" << false << "<ul><li>一</li><li>二</li></ul>" << "一 二";
    QTest::newRow("obsolete markup as style") << "<font color=red size=+1>赤</font><center>中</center><img src=x.png><dd>説明</dd>"
                                              << false
                                              << "<span style=\"color:red;font-size:large\">赤</span><div style=\"text-align:center\">中</div>"
                                                 "<img src=\"x.png\" alt=\"\"><div>説明</div>"
                                              << "赤 中 説明";
    // Obsolete attributes: their style before the element's own, values taken only when well formed.
    QTest::newRow("align and bgcolor") << "<p align=CENTER>p</p><table bgcolor=#FFeeDD border=1 cellpadding=3><tr><td align=right valign=top nowrap>c</table>"
                                       << false
                                       << "<p style=\"text-align:center\">p</p><table style=\"background-color:#ffeedd;border:1px solid\">"
                                          "<tbody><tr><td style=\"text-align:right;vertical-align:top;white-space:nowrap\">c</td></tr></tbody></table>"
                                       << "p c";
    QTest::newRow("own style wins") << "<div align=left style=\"color:blue\">d</div><font color=red style=\"color:green\">f</font>" << false
                                    << "<div style=\"text-align:left;color:blue\">d</div><span style=\"color:red;color:green\">f</span>"
                                    << "d f";
    QTest::newRow("unsafe values dropped")
        << "<font color=\"red;background:url(x)\" face=\"a;}b\">x</font><td width=\"1px;x\"><img src=i align=\"left;x\" border=\"0\" hspace=4>"
        << false << "<span>x</span><img src=\"i\" style=\"border:0;margin-left:4px;margin-right:4px\" alt=\"\">" << "x";
    QTest::newRow("font face, sizes, hr") << "<font face=\"ＭＳ ゴシック, Osaka\">f</font><hr align=left width=50% size=2 noshade color=gray>"
                                          << false
                                          << "<span style=\"font-family:'ＭＳ ゴシック','Osaka'\">f</span>"
                                             "<hr style=\"margin-right:auto;width:50%;height:2px;border-style:solid;color:gray;background-color:gray\">"
                                          << "f";
    QTest::newRow("lists, anchors, br clear") << "<dir><li type=square>一</dir><a name=top>t</a><br clear=all><ul type=circle compact><li>二</ul>"
                                              << false
                                              << "<ul><li style=\"list-style-type:square\">一</li></ul><a id=\"top\">t</a><br style=\"clear:both\">"
                                                 "<ul style=\"list-style-type:circle\"><li>二</li></ul>"
                                              << "一 t 二";
    QTest::newRow("marquee and xmp") << "<marquee>流れる</marquee><xmp>a<b</xmp>" << false << "流れる<pre>a&lt;b</pre>" << "流れる a<b";
    QTest::newRow("frames, plugins, script type")
        << "<noframes><b>x</b></noframes><applet>代わり</applet><img src=i name=pic><script type=\"text/javascript\">a()</script>"
        << false << "代わり<img src=\"i\" id=\"pic\" alt=\"\"><script>a()</script>" << "代わり";
    QTest::newRow("heading keeps text-level") << "<div>一</div><b>二</b><script>x</script>" << true << "一<b>二</b>" << "一 二";
}

void TestModern::balance()
{
    QFETCH(QString, html);
    QFETCH(bool, phrasing);
    const BalancedHtml b = balanceHtml(html, phrasing ? HtmlContext::Phrasing : HtmlContext::Flow);
    QTEST(b.html, "balanced");
    QTEST(b.text, "text");
    // Written back, it reads as itself.
    QCOMPARE(balanceHtml(b.html, phrasing ? HtmlContext::Phrasing : HtmlContext::Flow).html, b.html);
}

// Answers made at random of elements opened and closed and pieces between them: whatever way
// balanceHtml takes, it gives what the parser gives.
void TestModern::balance_asTheParserGivesIt_data()
{
    QTest::addColumn<QStringList>("elements"); // opened, and mostly closed in order, as spelt here
    QTest::addColumn<QStringList>("pieces");
    const QStringList text = {"答え", "ABC", " ", "\n", "\r\n", "\t", "ﾊﾟｽ", "😀", ">", "\"", "'", "\u00a0", "=", "/", "<br>"};
    QTest::newRow("text-level markup") << QStringList{"b", "B", "i", "span", "em", "strong", "small", "sub", "sup", "code", "q",
                                                      "time", "data", "bdo", "bdi", "u", "s", "mark", "kbd", "abbr", "Strong"}
                                       << text + QStringList{"<BR>", "<br/>", "<br />", "<wbr>", "<WBR/>"};
    QTest::newRow("elements with rules of their own")
        << QStringList{"b", "p", "ruby", "rt", "rp", "a", "font", "big", "tt", "nobr", "div", "li", "table", "pre", "script", "style",
                       "xmp", "textarea", "title", "h1", "svg", "math", "template", "noscript", "x-y", "blink"}
        << text;
    QTest::newRow("ruby") << QStringList{"ruby", "rt", "rp", "b"} << text;
    QTest::newRow("references") << QStringList{"b", "i"}
                                << text + QStringList{"&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&amp", "&lt", "&", "&copy;",
                                                      "&#60;", "&AMP;", "&nbsp", "&quot", "&ltx;"};
    QTest::newRow("near misses") << QStringList{"b", "i"}
                                 << text + QStringList{"<b >", "<b/>", "</b >", "< b>", "<1>", "<b1>", "<b-x>", "</br>", "<br/ >",
                                                       "<br  />", "<br / >", "<br x>", "<b x>", "<!-- c -->", "<", "</", "<b", "</i",
                                                       "<br", "<wbr></wbr>", "<br></br>", "</>", "<?x>"};
    QTest::newRow("characters") << QStringList{"b", "sub"}
                                << QStringList{"a", "<br>", "\x01", "\x7f", "\u0085", "\f", QString(QChar(0)),
                                               QString(QChar(0xd800)), QString(QChar(0xdc00)), "\ufffe", "\ufdd0", "\ufdef",
                                               "\U0001fffe", "\U0010ffff", "\U0001f600", "\ufffd", "\u2028", "\u3000", "\u00a0"};
}

void TestModern::balance_asTheParserGivesIt()
{
    QFETCH(QStringList, elements);
    QFETCH(QStringList, pieces);
    QRandomGenerator random(25);
    for (int round = 0; round < 3000; ++round) {
        QString html;
        QStringList open;
        for (int k = int(random.bounded(1, 24)); k > 0; --k) {
            const int what = int(random.bounded(10));
            if (what < 3 && open.size() < 6) {
                open << elements[random.bounded(int(elements.size()))];
                html += u'<' + open.last() + u'>';
            } else if (what < 5 && !open.isEmpty()) {
                html += QStringLiteral("</") + open.takeLast() + u'>';
            } else {
                html += pieces[random.bounded(int(pieces.size()))];
            }
        }
        while (!open.isEmpty() && random.bounded(4) > 0)
            html += QStringLiteral("</") + open.takeLast() + u'>';
        for (const HtmlContext context : {HtmlContext::Flow, HtmlContext::Phrasing}) {
            const BalancedHtml quick = balanceHtml(html, context);
            const BalancedHtml parsed = balanceHtmlByParser(html, context);
            const QByteArray what = html.toUtf8().toPercentEncoding("<>/ &;=\"!");
            QVERIFY2(quick.html == parsed.html, what + " → " + quick.html.toUtf8() + " ≠ " + parsed.html.toUtf8());
            QVERIFY2(quick.text == parsed.text, what + " → " + quick.text.toUtf8() + " ≠ " + parsed.text.toUtf8());
            QVERIFY2(quick.styles == parsed.styles, what.constData());
        }
    }
}

// The parser reads a setting of its own that it never sets for a fragment; memory freed just
// before, full of 32-bit ones, must not change how a <table> ends an open <p>.
void TestModern::balance_sameWhateverTheMemoryHeld()
{
    const QString answer = QStringLiteral("<p>前<table><tr><td>表</td></tr></table>後");
    const QString fresh = balanceHtmlByParser(answer, HtmlContext::Flow).html;
    QVERIFY2(fresh.startsWith(u"<p>前</p><table>"), qPrintable(fresh));
    for (int round = 0; round < 20; ++round) {
        std::vector<void*> blocks;
        for (size_t size = 8; size <= 1024; size += 8) {
            for (int k = 0; k < 4; ++k) {
                auto* block = static_cast<quint32*>(std::malloc(size));
                std::fill(block, block + size / 4, 1u);
                blocks.push_back(block);
            }
        }
        for (void* block : blocks)
            std::free(block);
        QCOMPARE(balanceHtmlByParser(answer, HtmlContext::Flow).html, fresh);
    }
}

void TestModern::balance_deepNestingKeepsItsText_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("close");
    QTest::newRow("text-level, unclosed") << "<b>" << "";
    QTest::newRow("spans, closed") << "<span>" << "</span>";
    QTest::newRow("svg") << "<svg><g>" << "";
    QTest::newRow("tables in cells") << "<table><tr><td>" << "";
    QTest::newRow("terms in articles") << "<dd><article>" << "";
}

// An answer nested a hundred thousand deep is written (not a crash) with all of its text,
// as a valid page: only so deep as a browser builds it.
void TestModern::balance_deepNestingKeepsItsText()
{
    QFETCH(QString, open);
    QFETCH(QString, close);
    const int depth = 100000;
    const QString html = open.repeated(depth) + QStringLiteral("底") + close.repeated(depth) + QStringLiteral("後");
    // The parser is given no more than a browser would build (it takes seconds for more).
    QVERIFY(withinDepth(html.toUtf8(), kMaxDepth).count('<') <= 2 * kMaxDepth);
    for (const HtmlContext context : {HtmlContext::Flow, HtmlContext::Phrasing}) {
        const BalancedHtml b = balanceHtml(html, context);
        QVERIFY(b.text.contains(QStringLiteral("底")));
        QVERIFY(b.text.endsWith(QStringLiteral("後")));
        QCOMPARE(balanceHtml(b.html, context).html, b.html);
    }
}

int depthOf(const GumboNode* n)
{
    if (n->type != GUMBO_NODE_ELEMENT)
        return 0;
    int deepest = 0;
    for (unsigned i = 0; i < n->v.element.children.length; ++i)
        deepest = std::max(deepest, depthOf(static_cast<const GumboNode*>(n->v.element.children.data[i])));
    return deepest + 1;
}

// Formatting that something else closes is opened again by the parser, one level deeper each
// time: given no deeper than a browser builds, with every word of it still there.
void TestModern::balance_misnestedFormattingStaysWithinDepth()
{
    QString html;
    for (int i = 0; i < 3000; ++i)
        html += QStringLiteral("<b><i class=%1>語</b>").arg(i);
    const Parsed parsed(withinDepth(html.toUtf8(), kMaxDepth));
    QVERIFY(depthOf(parsed.output->root) <= kMaxDepth + 3); // html, body and one more
    QCOMPARE(balanceHtml(html).text.count(QStringLiteral("語")), 3000);
}

void TestModern::balance_formattingOpenedAgainStaysInProportion_data()
{
    QTest::addColumn<QString>("html");
    auto numbered = [](const char* piece, int n) {
        QString out;
        for (int i = 0; i < n; ++i)
            out += QString::fromUtf8(piece).arg(i);
        return out;
    };
    QTest::newRow("items") << numbered("<ul><li><b class=%1>x<li>y</ul>", 200);
    QTest::newRow("paragraphs") << numbered("<p><i class=%1>x<p>y", 200);
    QTest::newRow("blocks") << numbered("<div><font color=#%1>x</div>y", 200);
    QTest::newRow("headings") << numbered("<h2><u title=%1>x</h2>y", 200);
    QTest::newRow("one long link in every paragraph")
        << "<p><a href='" + QString(4000, u'x') + "'>a</p>" + QStringLiteral("<p>y</p>").repeated(1000);
}

// Formatting that something else closes, opened again at every block after it: the page
// grows as the answer does (not with its square), with all of its text in order.
void TestModern::balance_formattingOpenedAgainStaysInProportion()
{
    QFETCH(QString, html);
    const BalancedHtml b = balanceHtml(html);
    const qsizetype size = html.toUtf8().size();
    QVERIFY2(b.html.toUtf8().size() < 2 * (size + carriedBudget(size)), QByteArray::number(b.html.size()));
    const QString text = visibleText(Parsed(html.toUtf8()).byTag(GUMBO_TAG_BODY).first());
    QCOMPARE(b.text, text);
    QCOMPARE(visibleText(Parsed(b.html.toUtf8()).byTag(GUMBO_TAG_BODY).first()), text);
    QCOMPARE(balanceHtml(b.html).html, b.html);
}

void TestModern::utf8Text_givesTheBytesOfTheEscapedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain ASCII") << "qa12.html";
    QTest::newRow("markup signs") << "<b class=\"x\">A&amp;B</b> 'q'";
    QTest::newRow("controls and JSON signs") << QString("tab\tline\r\nbell\x07 back\\slash \x01\x1f");
    QTest::newRow("no-break space, 2 bytes") << QString("a\u00a0b \u00e9 \u07ff");
    QTest::newRow("Japanese, line and paragraph separators") << QString("質問\u2028答え\u2029ｶﾅ\uffff");
    QTest::newRow("a pair of surrogates") << QString("絵文字😀と𠮷");
    QTest::newRow("lone surrogates") << (QString(QChar(0xd800)) + "a" + QChar(0xdc00) + QChar(0xdbff));
    QTest::newRow("a high surrogate last") << (QString("x") + QChar(0xd83d));
    QTest::newRow("name signs") << "a&b's(1)+~x_y-z;=@$!*,.html";
}

// The page writer's UTF-8 is the bytes of the text escaped as the escaping functions do it.
void TestModern::utf8Text_givesTheBytesOfTheEscapedText()
{
    QFETCH(QString, text);
    Utf8Text out;
    out << QStringView(text) << '|';
    out.html(text) << '|';
    out.attribute(text) << '|';
    out.json(text);
    const QString expected = text + u'|' + escapeHtml(text) + u'|' + u'"' + escapeAttribute(text) + u'"' + u'|'
        + jsonString(text);
    QCOMPARE(out.bytes(), expected.toUtf8());
    QCOMPARE(linkTo(text), QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("!$&'()*+,;=@"))));
}

void TestModern::balance_shallowMarkupReachesTheParserAsStored_data()
{
    QTest::addColumn<QString>("html");
    auto many = [](const char* piece, int n) { return QString::fromUtf8(piece).repeated(n); };
    QTest::newRow("unclosed items") << "<ul>" + many("<li>項目", 700);
    QTest::newRow("unclosed cells") << "<table>" + many("<tr><td>a<td>b", 400);
    QTest::newRow("cells outside a table") << many("<td>a<th>b<tr>", 400);
    QTest::newRow("unclosed paragraphs") << many("<p>段落<div>塊</div>", 400);
    QTest::newRow("terms") << "<dl>" + many("<dt>語<dd>意味", 400);
    QTest::newRow("options") << "<select>" + many("<option>一<optgroup>", 400);
    QTest::newRow("tags a select ignores") << "<select>" + many("<b>", 700);
    QTest::newRow("headings") << many("<h2>章<h3>節", 400);
    QTest::newRow("links in links") << many("<a href=1>一<a href=2>二", 400);
    QTest::newRow("closed and void") << many("<b>太</b><br><img src=x>", 400);
    QTest::newRow("misnested") << many("<b><i>x</b>y</i>", 400);
    auto numbered = [](const char* piece, int n) {
        QString out;
        for (int i = 0; i < n; ++i)
            out += QString::fromUtf8(piece).arg(i);
        return out;
    };
    QTest::newRow("misnested, each its own, ended later") << numbered("<b><i class=%1>x</b>y</i>", 700);
    QTest::newRow("a few unclosed, opened again in every paragraph")
        << "<p><b class=1><i class=2>x</p>" + many("<p>y</p>", 400);
    QTest::newRow("misnested, each its own, never ended") << numbered("<b><i class=%1>x</b>y", 400);
    QTest::newRow("formatting a paragraph ends in a cell, each its own") << numbered("<table><tr><td><p><b class=%1>x</p>y</table>", 700);
    QTest::newRow("self-closed in svg") << "<svg>" + many("<g/>", 700) + "</svg>";
    QTest::newRow("html ending svg") << many("<svg><p>x", 400);
    QTest::newRow("in a script") << "<script>" + many("<b>", 700) + "</script>表";
    QTest::newRow("in a textarea") << "<textarea>" + many("<b>", 700) + "</TEXTAREA >表";
    QTest::newRow("in a comment") << "<!--" + many("<b>", 700) + "-->表";
    QTest::newRow("in an attribute") << "<span title='" + many("<b>", 700) + "'>表</span>";
    QTest::newRow("end tags with attributes") << many("<span></span class='>'>", 700);
}

// Markup that nests no deeper than a browser builds, however many tags it has, reaches the
// parser byte for byte as stored: its page is what it always was.
void TestModern::balance_shallowMarkupReachesTheParserAsStored()
{
    QFETCH(QString, html);
    const QByteArray utf8 = html.toUtf8();
    QVERIFY(utf8.count('<') > kMaxDepth);
    QCOMPARE(withinDepth(utf8, kMaxDepth), utf8);
}

void TestModern::linkTo_isAPathOfThisFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a colon is no scheme") << "javascript:alert(1).html";
    QTest::newRow("a colon inside") << "a:b.html";
    QTest::newRow("spaces and Japanese") << "よくある 質問.html";
    QTest::newRow("query and fragment signs") << "a?b#c%d.html";
}

// A page's link, in pages and in the search index, names that file of the site's folder and
// nothing else, whatever its kind page is called.
void TestModern::linkTo_isAPathOfThisFolder()
{
    QFETCH(QString, name);
    const QUrl link(linkTo(name), QUrl::StrictMode);
    QVERIFY2(link.isValid() && link.isRelative() && link.scheme().isEmpty(), qPrintable(linkTo(name)));
    QCOMPARE(link.path(QUrl::FullyDecoded), name);
    QVERIFY(!link.hasQuery() && !link.hasFragment());
}

void TestModern::hostileSite_everyPageIsAWellFormedDocument()
{
    const QStringList pages = QDir(m_out).entryList({"*.html"}, QDir::Files);
    QCOMPARE(pages.size(), 6 + 3 + 1 + 1); // records, kinds, index, search
    for (const QString& name : pages) {
        const QByteArray bytes = readBytes(QDir(m_out).filePath(name));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        QVERIFY2(!utf8.hasError() && !bytes.startsWith("\xEF\xBB\xBF"), qPrintable(name));
        QVERIFY2(bytes.startsWith("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"), qPrintable(name));
        const Parsed page(bytes);
        // The parser had nothing to repair: no misnesting, nothing unclosed, no stray text.
        QVERIFY2(page.output->errors.length == 0, qPrintable(name + QStringLiteral(": %1 parse errors").arg(page.output->errors.length)));
        QCOMPARE(page.byTag(GUMBO_TAG_H1).size(), 1);
        for (GumboTag landmark : {GUMBO_TAG_HEADER, GUMBO_TAG_NAV, GUMBO_TAG_MAIN, GUMBO_TAG_FOOTER, GUMBO_TAG_FORM})
            QVERIFY2(page.byTag(landmark).size() == 1, qPrintable(name));
        QVERIFY2(page.byTag(GUMBO_TAG_FORM).first() != nullptr
                     && attributeOf(page.byTag(GUMBO_TAG_FORM).first(), "action") == QLatin1String("search.html"),
                 qPrintable(name));
        QVERIFY2(!text.contains(QStringLiteral("‹質問>")), qPrintable(name));
        QVERIFY2(text.contains(QStringLiteral("href=\"site.css\"")), qPrintable(name));
        // Every link of the page's own (not the records' markup) reaches a file of the site.
        GumboNode* answer = page.byClass(QStringLiteral("answer-body"));
        for (GumboNode* n : page.all) {
            QString target = attributeOf(n, "href");
            if (target.isEmpty())
                target = attributeOf(n, "src");
            if (target.isEmpty() || (answer && inside(n, answer)) || target.startsWith(u'#') || target.contains(u':'))
                continue;
            const QString file = QUrl::fromPercentEncoding(target.section(u'?', 0, 0).toUtf8());
            QVERIFY2(QFileInfo::exists(QDir(m_out).filePath(file)), qPrintable(name + QStringLiteral(" → ") + target));
        }
    }
    QVERIFY(QFileInfo::exists(QDir(m_out).filePath("種類 1.html")));
    QCOMPARE(readBytes(QDir(m_out).filePath("site.css")), QByteArray("body { color: teal; }\n"));
}

void TestModern::hostileSite_structuredDataIsWhatThePageShows()
{
    const QStringList pages = QDir(m_out).entryList({"qa*.html"}, QDir::Files);
    QCOMPARE(pages.size(), 6);
    for (const QString& name : pages) {
        const Parsed page(readBytes(QDir(m_out).filePath(name)));
        QList<GumboNode*> scripts;
        for (GumboNode* s : page.byTag(GUMBO_TAG_SCRIPT))
            if (attributeOf(s, "type") == QLatin1String("application/ld+json"))
                scripts << s;
        QCOMPARE(scripts.size(), 1);
        const auto* child = static_cast<GumboNode*>(scripts[0]->v.element.children.data[0]);
        const QByteArray json = child->v.text.text;
        QVERIFY2(!json.contains('<'), json.constData());
        QJsonParseError error;
        const QJsonArray graph = QJsonDocument::fromJson(json, &error).object().value("@graph").toArray();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonObject question = graph[0].toObject().value("mainEntity").toArray()[0].toObject();
        QCOMPARE(graph[0].toObject().value("@type").toString(), QStringLiteral("FAQPage"));
        QCOMPARE(question.value("name").toString(), visibleText(page.byTag(GUMBO_TAG_H1).first()));
        QCOMPARE(question.value("acceptedAnswer").toObject().value("text").toString(),
                 visibleText(page.byClass(QStringLiteral("answer-body"))));
        const QJsonArray crumbs = graph[1].toObject().value("itemListElement").toArray();
        QCOMPARE(crumbs.size(), 4);
        QCOMPARE(crumbs[1].toObject().value("item").toString(), QStringLiteral("https://example.jp/faq/index.html"));
        QCOMPARE(crumbs[3].toObject().value("name").toString(), question.value("name").toString());
        // The description is the answer's text, at most 120 characters.
        QString description;
        for (GumboNode* m : page.byTag(GUMBO_TAG_META))
            if (attributeOf(m, "name") == QLatin1String("description"))
                description = attributeOf(m, "content");
        QVERIFY(!description.isEmpty() && description.size() <= 120);
        QVERIFY(question.value("acceptedAnswer").toObject().value("text").toString().startsWith(description.chopped(1)));
    }
}

void TestModern::hostileSite_sitemapAndRobots()
{
    const QString sitemap = QString::fromUtf8(readBytes(QDir(m_out).filePath("sitemap.xml")));
    const QStringList pages = QDir(m_out).entryList({"*.html"}, QDir::Files);
    for (const QString& page : pages) {
        const QString loc = QStringLiteral("<loc>https://example.jp/faq/") + QString::fromLatin1(QUrl::toPercentEncoding(page, "!$&'()*+,;=:@")).replace(u'&', QStringLiteral("&amp;")) + QStringLiteral("</loc>");
        QVERIFY2(sitemap.contains(loc) == (page != QLatin1String("search.html")), qPrintable(loc));
    }
    QCOMPARE(sitemap.count(QStringLiteral("<loc>")), pages.size() - 1);
    QVERIFY(readBytes(QDir(m_out).filePath("robots.txt")).contains("Sitemap: https://example.jp/faq/sitemap.xml\n"));
}

void TestModern::search_answersAsThePageScript_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("count");
    QTest::newRow("unspaced Japanese") << "パスワード変更" << 2;
    QTest::newRow("half-width kana") << "ﾊﾟｽﾜｰﾄﾞ" << 2;
    QTest::newRow("ASCII case") << "Password" << 2;
    QTest::newRow("full-width letters") << "ｐａｓｓ" << 2;
    QTest::newRow("all words must match") << "変更　方法" << 2;
    QTest::newRow("one character") << "更" << 3;
    QTest::newRow("pieces present, not together") << "法変" << 0;
    QTest::newRow("outside the BMP") << "😀" << 1;
    QTest::newRow("markup is not text") << "script" << 0;
    QTest::newRow("a sign") << "<" << 2;
    QTest::newRow("nothing") << "　 " << 0;
}

void TestModern::search_answersAsThePageScript()
{
    QFETCH(QString, query);
    QFETCH(int, count);
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        QSKIP("node is not installed: the page's script cannot be run");
    // What the window's search would find in what the pages show.
    QStringList expected;
    const QStringList words = searchWords(query);
    for (const QString& name : QDir(m_out).entryList({"qa*.html"}, QDir::Files)) {
        const Parsed page(readBytes(QDir(m_out).filePath(name)));
        const QString q = foldForSearch(visibleText(page.byTag(GUMBO_TAG_H1).first()));
        const QString a = foldForSearch(visibleText(page.byClass(QStringLiteral("answer-body"))));
        bool all = !words.isEmpty();
        for (const QString& w : words)
            all = all && (q.contains(w) || a.contains(w));
        if (all)
            expected << name;
    }
    QCOMPARE(expected.size(), count);

    const QString driver = m_dir.filePath("driver.js");
    QVERIFY(writeBytes(driver, R"JS(
const fs = require('fs'), path = require('path'), vm = require('vm');
const [dir, query] = process.argv.slice(2);
const api = require(path.join(dir, 'qadora-search.js'));
const load = (name) => new Promise((resolve) => {
  vm.runInNewContext(fs.readFileSync(path.join(dir, name), 'utf8'), { qadoraLoaded: (n, data) => resolve(data) });
});
new api.Searcher(load).search(query, Infinity).then((r) => {
  const marked = r.results.map((x) => api.snippet(x.answer || x.question, r.words, 90).some((p) => p[1]));
  console.log(JSON.stringify({ files: r.results.map((x) => x.file), kinds: r.results.map((x) => x.kind), marked }));
});
)JS"));
    QProcess p;
    p.start(node, {driver, m_out, query});
    QVERIFY(p.waitForFinished(30000));
    const QJsonObject out = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QStringList found;
    for (const QJsonValue v : out.value("files").toArray())
        found << v.toString();
    found.sort();
    QCOMPARE(found, expected);
    for (const QJsonValue v : out.value("kinds").toArray())
        QVERIFY(!v.toString().isEmpty());
}

void TestModern::rebuild_writesOnlyWhatChanged_andPruneTakesTheSearchFiles()
{
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("qa.mdb"), {{0, "a,甲", "一", "いち"}, {0, "a,甲", "二", "に"}, {0, "b,乙", "三", "さん"}});
    const QString out = dir.filePath("site");
    QDir().mkpath(out);
    auto run = [&](const QStringList& extra) {
        QProcess p;
        p.start(QStringLiteral(QADORA_BUILD_EXE), QStringList{"--quiet", "--stats", "--style", "modern"} << extra << db << out);
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardError()).trimmed().section(u'\n', -1); // the figures
    };
    QVERIFY(run({}).endsWith(QStringLiteral("written %1, unchanged 0, removed 0").arg(QDir(out).entryList(QDir::Files).size())));
    const QString again = run({});
    QVERIFY2(again.startsWith(QStringLiteral("written 0,")), qPrintable(again));
    // A changed answer: its page, and the index files that hold it, and nothing else.
    QCOMPARE(runSqlite(db, "UPDATE tbl1 SET anser = 'にに' WHERE quest = '二'"), QByteArray());
    const QString changed = run({});
    const int written = changed.section(u' ', 1, 1).chopped(1).toInt();
    QVERIFY2(written >= 2 && written < 8, qPrintable(changed));
    // Pruning after a switch to the older style takes every file the modern run wrote.
    QVERIFY(writeBytes(QDir(out).filePath("mine.txt"), "keep"));
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", "--prune", db, out});
    QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
    QStringList left = QDir(out).entryList(QDir::Files);
    left.sort();
    QCOMPARE(left, QStringList({"a.html", "b.html", "index.html", "mine.txt", "qa001.html", "qa002.html", "qa003.html"}));
}

void TestModern::window_chooseModernTypeAddress_rememberedPerFolder()
{
    clearSettings();
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("qa.mdb"), {{0, "a,甲", "一", "いち"}});
    const QString out = dir.filePath("site");
    const QString other = dir.filePath("other");
    QDir().mkpath(out);
    QDir().mkpath(other);
    auto win = openWindow(db, out);
    main1* w = win->w.get();
    showActive(w);
    QTest::mouseClick(w->Option7, Qt::LeftButton);
    QVERIFY(w->Option7->isChecked());
    w->siteAddress->setFocus();
    typeText(w->siteAddress, QStringLiteral("https://example.jp/"));
    pressKey(w->siteAddress, Qt::Key_Tab);
    QTest::mouseClick(w->Command13, Qt::LeftButton);
    QTest::mouseClick(w->Command14, Qt::LeftButton);
    QVERIFY(readBytes(QDir(out).filePath("qa001.html")).startsWith("<!DOCTYPE html>"));
    QVERIFY(QFileInfo::exists(QDir(out).filePath("qadora.css")));
    QVERIFY(QFileInfo::exists(QDir(out).filePath("sitemap.xml")));
    // A folder never used keeps what the tab shows; each folder then brings back its own choice.
    QVERIFY(w->Dir1->setPath(other));
    QVERIFY(w->Option7->isChecked());
    QCOMPARE(w->siteAddress->text(), QStringLiteral("https://example.jp/"));
    QTest::mouseClick(w->Option6, Qt::LeftButton);
    QVERIFY(w->Option6->isChecked());
    QVERIFY(w->Dir1->setPath(out));
    QVERIFY(w->Option7->isChecked());
    QCOMPARE(w->siteAddress->text(), QStringLiteral("https://example.jp/"));
    QVERIFY(w->Dir1->setPath(other));
    QVERIFY(w->Option6->isChecked());
    QVERIFY(win->fake.messages().contains(QStringLiteral("ｈｔｍｌ作成しました")));
    // A record's page previewed alone is seen with the site's sheets, the owner's included.
    QVERIFY(w->Dir1->setPath(out));
    QVERIFY(writeBytes(QDir(out).filePath("site.css"), "h1 { color: teal; }\n"));
    w->SSTab1->setCurrentIndex(3);
    w->Command2->click();
    w->List3->setCurrentRow(0);
    w->Command9->click();
    win->fake.clear();
    w->previewRecord->click();
    QCOMPARE(win->fake.opened().size(), 1);
    const QString page = win->fake.opened().first().toLocalFile();
    const QDir preview = QFileInfo(page).dir();
    QCOMPARE(readBytes(preview.filePath("qadora.css")), readBytes(QDir(out).filePath("qadora.css")));
    QCOMPARE(readBytes(preview.filePath("site.css")), QByteArray("h1 { color: teal; }\n"));
    QVERIFY(readBytes(page).contains("href=\"site.css\""));
}

QTEST_MAIN(TestModern)
#include "tst_modern.moc"
