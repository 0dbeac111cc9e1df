// SPDX-License-Identifier: GPL-3.0-or-later
// The site's search index and its page script, run in node as the page runs them key by key,
// against every record checked by hand: no record may be missed or added, whether a key is
// answered from what has arrived or from the index's files, and page after page.
#include "search/searchtext.h"
#include "site/searchsite.h"
#include "testenv.h"

#include <QDir>
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

} // namespace

class TestSearchSite : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord_data();
    void typedKeyByKey_findsExactlyTheRecordsHoldingEveryWord();
    void queryInTheAddress_usesTheIndexTheScriptCarries();

private:
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
    QList<int> expected;
    const QStringList words = searchWords(query);
    for (int id = 0; id < m_docs.size(); ++id) {
        const QString q = foldForSearch(m_docs[id].question);
        const QString a = foldForSearch(m_docs[id].answer);
        bool all = !words.isEmpty();
        for (const QString& w : words)
            all = all && (q.contains(w) || a.contains(w));
        if (all)
            expected << id;
    }
    QProcess p;
    p.start(m_node, {m_dir.filePath("driver.js"), m_dir.path(), query});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    const QJsonObject out = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    auto list = [&](const char* key) {
        QList<int> ids;
        for (const QJsonValue v : out.value(key).toArray())
            ids << v.toInt();
        return ids;
    };
    QCOMPARE(list("paged"), expected);
    QCOMPARE(list("once"), expected);
    QCOMPARE(out.value("differ").toArray(), QJsonArray());
    QVERIFY(out.value("marked").toBool());
}

// The page opened as search.html?q=…: its script, run on a stand-in of the page's elements,
// must ask for the query's shard at once, never for the index's first file that it carries.
void TestSearchSite::queryInTheAddress_usesTheIndexTheScriptCarries()
{
    QVERIFY(writeBytes(m_dir.filePath("page.js"), R"JS(
const fs = require('fs'), path = require('path'), vm = require('vm');
const dir = process.argv[2];
const asked = [];
const element = () => ({ children: [], style: {}, appendChild(c) { this.children.push(c); return c; },
  removeChild() {}, replaceChild() {}, addEventListener() {}, focus() {}, getAttribute() { return null; },
  set textContent(t) { this.text = t; }, get textContent() { return this.text || ''; } });
const byId = { q: Object.assign(element(), { value: '' }), 'search-status': element(), 'search-results': element() };
const document = {
  readyState: 'complete', currentScript: null,
  head: { appendChild(s) { asked.push(s.src); } },
  getElementById: (id) => byId[id] || null, createElement: element, createTextNode: (t) => ({ t }),
  createDocumentFragment: element, addEventListener() {},
};
const window = { document, location: { search: '?q=' + encodeURIComponent('パスワード'), pathname: '/search.html' },
  URLSearchParams, setTimeout, clearTimeout, Promise };
window.window = window;
vm.runInNewContext(fs.readFileSync(path.join(dir, 'qadora-search.js'), 'utf8'), window);
setTimeout(() => console.log(JSON.stringify(asked)), 50);
)JS"));
    QProcess p;
    p.start(m_node, {m_dir.filePath("page.js"), m_dir.path()});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    const QJsonArray asked = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    QVERIFY(!asked.isEmpty());
    QVERIFY2(asked.first().toString().startsWith("qs-g"), qPrintable(asked.first().toString()));
    for (const QJsonValue v : asked)
        QVERIFY2(!v.toString().startsWith("qs-meta"), qPrintable(v.toString()));
}

QTEST_MAIN(TestSearchSite)
#include "tst_searchsite.moc"
