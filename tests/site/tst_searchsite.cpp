// SPDX-License-Identifier: GPL-3.0-or-later
// The site's search index and its page script, run in node as the page runs them key by key,
// against every record checked by hand: no record may be missed or added, whether a key is
// answered from what has arrived or from the index's files, and page after page.
#include "search/searchtext.h"
#include "site/searchsite.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

namespace {

const QStringList kWords = {"パスワード", "変更", "ログイン", "注文", "配送", "領収書", "ﾊﾟｽﾜｰﾄﾞ", "Wi-Fi",
                            "ＰＡＳＳ", "受付番号", "設定", "画面", "の", "😀", "ｶﾞｲﾄﾞ"};

// Records that share words and numbers the way a shop's answers do, so that pieces of a
// query are often present apart from one another.
QList<SearchDocument> documents(int n)
{
    QRandomGenerator rng(25);
    auto word = [&] { return kWords[rng.bounded(int(kWords.size()))]; };
    QList<SearchDocument> docs;
    for (int i = 0; i < n; ++i) {
        SearchDocument d;
        d.file = QStringLiteral("qa%1.html").arg(i);
        d.kind = i % 3;
        d.question = word() + word() + QStringLiteral("について（%1）").arg(i);
        for (int k = 0; k < 6; ++k)
            d.answer += word() + (rng.bounded(3) == 0 ? QString::number(rng.bounded(100000)) : QStringLiteral("、"));
        if (i == n / 2)
            d.answer += QStringLiteral("特製の合言葉");
        docs << d;
    }
    return docs;
}

// The records holding every word of `query`, checked by hand.
QList<int> holding(const QList<SearchDocument>& docs, const QString& query)
{
    QList<int> ids;
    const QStringList words = searchWords(query);
    for (int id = 0; id < docs.size(); ++id) {
        const QString q = foldForSearch(docs[id].question);
        const QString a = foldForSearch(docs[id].answer);
        bool all = !words.isEmpty();
        for (const QString& w : words)
            all = all && (q.contains(w) || a.contains(w));
        if (all)
            ids << id;
    }
    return ids;
}

} // namespace

class TestSearchSite : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord_data();
    void typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord();
    void queryInTheAddress_usesTheIndexTheScriptCarries();
    void typedOnThePage_tellsEachKeysCountOnce_data();
    void typedOnThePage_tellsEachKeysCountOnce();
    void largeSite_findsRecordsFarDownInSmallChunks_data();
    void largeSite_findsRecordsFarDownInSmallChunks();

private:
    void typeKeyByKey(const QString& dir, const QString& query, QJsonObject* out);
    static QList<int> ids(const QJsonObject& out, const char* key);
    void runPage(const QString& address, const QString& typed, QJsonArray* asked, QJsonArray* told, QJsonArray* shown = nullptr);

    QTemporaryDir m_dir;
    QString m_node;
    QList<SearchDocument> m_docs;
};

void TestSearchSite::initTestCase()
{
    QADORA_NEEDS_PROGRAM("node"); // the page's script runs in it
    m_node = QStandardPaths::findExecutable(QStringLiteral("node"));
    m_docs = documents(700);
    const QList<SearchKind> kinds = {{"a.html", "甲"}, {"b.html", "乙"}, {"c.html", "丙"}};
    const auto files = searchFiles(kinds, m_docs);
    // Several shards and chunks, so that a key can find some of its files missing.
    QVERIFY(files.size() > 20);
    for (const auto& [name, bytes] : files)
        QVERIFY(writeBytes(m_dir.filePath(name), bytes));
    QVERIFY(writeBytes(m_dir.filePath("driver.js"), R"JS(
const fs = require('fs'), path = require('path'), vm = require('vm');
const [dir, query] = process.argv.slice(2);
const api = require(path.join(dir, 'qadora-search.js'));
const load = (name) => new Promise((resolve) => {
  vm.runInNewContext(fs.readFileSync(path.join(dir, name), 'utf8'), { qadoraLoaded: (n, data) => resolve(data) });
});
const ids = (r) => r.results.map((x) => x.id);
(async () => {
  const s = new api.Searcher(load);
  const chars = Array.from(query);
  let r, quick = 0, differ = [];
  // As the page does on each key: at once from what has arrived when it can, then from the files.
  for (let i = 1; i <= chars.length; i++) {
    const typed = chars.slice(0, i).join('');
    const q = s.now(typed, 20);
    const full = await s.search(typed, 20);
    if (q && q.complete) {
      quick++;
      if (JSON.stringify(ids(q)) !== JSON.stringify(ids(full))) differ.push(typed);
      r = q;
    } else {
      r = full;
    }
    s.prefetch(typed);
    s.ahead(full, 2);
    await new Promise((done) => setTimeout(done, 1));
  }
  // Then page after page, as さらに表示 asks.
  let all = ids(r);
  while (r.more) {
    r = await s.search(query, 20, r.next);
    all = all.concat(ids(r));
  }
  const once = await s.search(query, Infinity);
  // Each result shows where it matched: in its answer's snippet, or else in its question.
  const marks = (text) => api.snippet(text, once.words, 90).some((p) => p[1]);
  const marked = once.results.every((x) => marks(x.answer) || marks(x.question));
  console.log(JSON.stringify({ paged: all, once: ids(once), quick, differ, marked }));
})();
)JS"));
}

void TestSearchSite::typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("unspaced Japanese") << "パスワード変更";
    QTest::newRow("half-width kana") << "ﾊﾟｽﾜｰﾄﾞ設定";
    QTest::newRow("ASCII case") << "wi-fi";
    QTest::newRow("full-width letters") << "pass";
    QTest::newRow("two words") << "領収書 注文";
    QTest::newRow("two words, full-width space") << "注文　領収書";
    QTest::newRow("a word and a number") << "番号1 12";
    QTest::newRow("digits after a word") << "受付番号123";
    QTest::newRow("a character and two digits") << "号12";
    QTest::newRow("three digits") << "123";
    QTest::newRow("five digits") << "12345";
    QTest::newRow("one character everywhere") << "の";
    QTest::newRow("outside the BMP") << "😀ｶﾞｲﾄﾞ";
    QTest::newRow("in one record") << "合言葉";
    QTest::newRow("pieces present, not together") << "更変";
    QTest::newRow("in no record") << "注文 存在しない";
}

void TestSearchSite::typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord()
{
    QFETCH(QString, query);
    const QList<int> expected = holding(m_docs, query);
    QJsonObject out;
    typeKeyByKey(m_dir.path(), query, &out);
    QCOMPARE(ids(out, "paged"), expected);
    QCOMPARE(ids(out, "once"), expected);
    QCOMPARE(out.value("differ").toArray(), QJsonArray());
    QVERIFY(out.value("marked").toBool());
}

// The driver's answers for `query` typed key by key on the index in `dir`.
void TestSearchSite::typeKeyByKey(const QString& dir, const QString& query, QJsonObject* out)
{
    QProcess p;
    p.start(m_node, {m_dir.filePath("driver.js"), dir, query});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    *out = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QList<int> TestSearchSite::ids(const QJsonObject& out, const char* key)
{
    QList<int> ids;
    for (const QJsonValue v : out.value(key).toArray())
        ids << v.toInt();
    return ids;
}

// The page's script run on a stand-in of the page's elements, the index's files loaded as the
// browser loads them (a moment later). Opened with `address` as its ?q=, then `typed` typed a
// key at a time; prints the files asked for and, for each key, the status texts written.
void TestSearchSite::runPage(const QString& address, const QString& typed, QJsonArray* asked, QJsonArray* told, QJsonArray* shown)
{
    if (!QFile::exists(m_dir.filePath("page.js"))) {
        QVERIFY(writeBytes(m_dir.filePath("page.js"), R"JS(
const fs = require('fs'), path = require('path'), vm = require('vm');
const [dir, address, typed] = process.argv.slice(2);
const asked = [], told = [[]], shown = [];
// Nodes as far as the page uses them: elements and text, siblings, attributes.
const node = { get nextSibling() { const s = this.parent ? this.parent.children : []; return s[s.indexOf(this) + 1] || null; } };
const text = (t) => Object.assign(Object.create(node), { nodeType: 3, nodeName: '#text', data: t });
const proto = Object.assign(Object.create(node), {
  appendChild(c) { return this.insertBefore(c, null); },
  insertBefore(c, ref) { c.parent = this; if (ref) this.children.splice(this.children.indexOf(ref), 0, c); else this.children.push(c); return c; },
  removeChild(c) { this.children.splice(this.children.indexOf(c), 1); c.parent = null; return c; },
  replaceChild(n, o) { this.children[this.children.indexOf(o)] = n; n.parent = this; o.parent = null; return o; },
  getAttribute(name) { return name in this.attributes ? this.attributes[name] : null; },
  addEventListener(type, f) { this['on' + type] = f; }, focus() {} });
Object.defineProperties(proto, {
  firstChild: { get() { return this.children[0] || null; } },
  lastChild: { get() { return this.children[this.children.length - 1] || null; } },
  childNodes: { get() { return this.children; } },
  href: { set(v) { this.attributes.href = String(v); } },
  textContent: { get() { return this.children.map((c) => (c.nodeType === 3 ? c.data : c.textContent)).join(''); },
    set(t) { this.children = []; if (t !== '') this.appendChild(text(t)); if (this.told) told[told.length - 1].push(t); } } });
const element = (name) => Object.assign(Object.create(proto), { nodeType: 1, nodeName: String(name || '').toUpperCase(),
  children: [], attributes: {}, style: {} });
const byId = { q: Object.assign(element(), { value: '' }), 'search-status': Object.assign(element(), { told: true }),
  'search-results': element() };
let context;
const document = {
  readyState: 'complete', currentScript: null,
  head: { appendChild(s) {
    asked.push(s.src);
    setTimeout(() => vm.runInContext(fs.readFileSync(path.join(dir, s.src.split('?')[0]), 'utf8'), context), 2);
  } },
  getElementById: (id) => byId[id] || null, createElement: element, createTextNode: text,
  createDocumentFragment: element, addEventListener() {},
};
const window = { document, location: { search: address ? '?q=' + encodeURIComponent(address) : '', pathname: '/search.html' },
  history: { replaceState() {} }, URLSearchParams, setTimeout, clearTimeout, Promise };
window.window = window;
context = vm.createContext(window);
vm.runInContext(fs.readFileSync(path.join(dir, 'qadora-search.js'), 'utf8'), context);
const pause = () => new Promise((done) => setTimeout(done, 60));
(async () => {
  await pause();
  for (const c of Array.from(typed || '')) {
    byId.q.value += c;
    told.push([]);
    byId.q.oninput();
    await pause();
    // Each item as it reads: its link, its question and its snippet.
    shown.push(byId['search-results'].children.map((li) => [li.firstChild.getAttribute('href'), li.firstChild.textContent,
      li.lastChild.textContent]));
  }
  console.log(JSON.stringify({ asked, told: told.slice(1), shown }));
})();
)JS"));
    }
    QProcess p;
    p.start(m_node, {m_dir.filePath("page.js"), m_dir.path(), address, typed});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    const QJsonObject out = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    *asked = out.value("asked").toArray();
    *told = out.value("told").toArray();
    if (shown)
        *shown = out.value("shown").toArray();
}

// Opened as search.html?q=…, the page asks for the query's shard at once, never for the
// index's first file that its script carries.
void TestSearchSite::queryInTheAddress_usesTheIndexTheScriptCarries()
{
    QJsonArray asked, told;
    runPage(QStringLiteral("パスワード"), QString(), &asked, &told);
    QVERIFY(!asked.isEmpty());
    QVERIFY2(asked.first().toString().startsWith("qs-g"), qPrintable(asked.first().toString()));
    for (const QJsonValue v : asked)
        QVERIFY2(!v.toString().startsWith("qs-meta"), qPrintable(v.toString()));
}

void TestSearchSite::typedOnThePage_tellsEachKeysCountOnce_data()
{
    QTest::addColumn<QString>("typed");
    // 注 is a new word whose shard was not fetched ahead: the key is answered from 領収書's
    // list, then that shard arrives with the same records.
    QTest::newRow("a second word") << "領収書 注文";
    QTest::newRow("unspaced Japanese") << "パスワード変更";
    QTest::newRow("digits after a word") << "受付番号123";
}

// Typed a key at a time, each key's status ends as the count of its records, and is written
// again for that key only when it changes: a status the reader's screen reader announces. The
// items, written over from key to key, each read as their record: link, question, snippet.
void TestSearchSite::typedOnThePage_tellsEachKeysCountOnce()
{
    QFETCH(QString, typed);
    QJsonArray asked, told, shown;
    runPage(QString(), typed, &asked, &told, &shown);
    QCOMPARE(told.size(), qsizetype(typed.size()));
    QCOMPARE(shown.size(), told.size());
    for (qsizetype k = 0; k < told.size(); ++k) {
        const QString prefix = typed.left(k + 1);
        const QJsonArray texts = told[k].toArray();
        QVERIFY2(!texts.isEmpty(), qPrintable(prefix));
        const qsizetype n = holding(m_docs, prefix).size();
        const QString count = searchWords(prefix).isEmpty() ? QStringLiteral("上の検索欄に言葉を入れて下さい。")
            : n == 0 ? QStringLiteral("見つかりませんでした。")
            : n > 20 ? QStringLiteral("20件以上見つかりました。")
                     : QStringLiteral("%1件見つかりました。").arg(n);
        QCOMPARE(texts.last().toString(), count);
        for (qsizetype i = 1; i < texts.size(); ++i)
            QVERIFY2(texts[i] != texts[i - 1], qPrintable(prefix + u' ' + texts[i].toString()));
        const QList<int> records = holding(m_docs, prefix).mid(0, 20);
        const QJsonArray items = shown[k].toArray();
        QCOMPARE(items.size(), records.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QJsonArray item = items[i].toArray();
            const SearchDocument& d = m_docs[records[i]];
            QCOMPARE(item[0].toString(), d.file);
            QCOMPARE(item[1].toString(), d.question);
            QString snippet = item[2].toString();
            snippet.remove(u'…');
            QVERIFY2(d.answer.contains(snippet), qPrintable(prefix + u' ' + item[2].toString()));
        }
    }
}

void TestSearchSite::largeSite_findsRecordsFarDownInSmallChunks_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("only in the last record") << "最後の記録";
    QTest::newRow("in records far apart") << "遠く離れた";
    QTest::newRow("digits after a word") << "番号12";
}

// A site large enough for smaller chunks of records: a query's records far down, and apart,
// are all found, page after page, whichever chunk holds them.
void TestSearchSite::largeSite_findsRecordsFarDownInSmallChunks()
{
    QFETCH(QString, query);
    static QList<SearchDocument> docs;
    static QTemporaryDir dir;
    if (docs.isEmpty()) {
        docs = documents(5000);
        docs.last().answer += QStringLiteral("最後の記録");
        for (int id : {1, 2100, 2117, 3333, 4998})
            docs[id].question += QStringLiteral("遠く離れた");
        const auto files = searchFiles({{"a.html", "甲"}}, docs);
        QVERIFY(QJsonDocument::fromJson(files[1].second.mid(files[1].second.indexOf(',') + 1).chopped(3))
                    .object().value("chunk").toInt() < 64);
        for (const auto& [name, bytes] : files)
            QVERIFY(writeBytes(dir.filePath(name), bytes));
    }
    const QList<int> expected = holding(docs, query);
    QVERIFY(!expected.isEmpty());
    QJsonObject out;
    typeKeyByKey(dir.path(), query, &out);
    QCOMPARE(ids(out, "paged"), expected);
    QCOMPARE(ids(out, "once"), expected);
    QVERIFY(out.value("marked").toBool());
}

QTEST_MAIN(TestSearchSite)
#include "tst_searchsite.moc"
