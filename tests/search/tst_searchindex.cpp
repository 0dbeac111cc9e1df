// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/databasestamp.h"
#include "search/searchindex.h"
#include "search/nfkc.h"
#include "search/searchtext.h"
#include "testenv.h"

#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestSearchIndex : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }

    void fold_data();
    void fold();
    void fold_everyCharacter_asLowerCasedNfkc();
    void words();
    void find_manyChunks_sameAsPlainScan_data();
    void find_manyChunks_sameAsPlainScan();
    void largeIndex_searchedInHalves_sameAsPlainScan();
    void narrowing_givesWhatAFullSearchGives();
    void rebuild_takesOverUnchangedChunks_findsChangedText();
    void fromStore_readsDatabase_refusesOtherFiles();
    void stamp_changesWhenAnotherProgramWrites();
};

void TestSearchIndex::fold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("full-width letters, ASCII case") << "ＡｂＣ Def" << "abc def";
    QTest::newRow("half-width katakana with voiced marks") << "ｶﾞｷﾞｸﾞ" << "ガギグ";
    QTest::newRow("ideographic space") << "東京　タワー" << "東京 タワー";
    QTest::newRow("hiragana stays hiragana") << "ひらがな" << "ひらがな";
    QTest::newRow("only ASCII letters change case") << "ÄRGER ΣΟΦΙΑ" << "Ärger ΣΟΦΙΑ";
    QTest::newRow("compatibility characters") << "①㈱ﬁ" << "1(株)fi";
    // Texts whose first part is already folded: the rest must join it as one text would.
    QTest::newRow("late full-width signs") << "設定画面から（受付番号１２３）" << "設定画面から(受付番号123)";
    QTest::newRow("a voiced mark after a clean part") << "テストカﾞ" << "テストガ";
    QTest::newRow("a combining accent after ASCII") << "Cafe\u0301 ok" << "caf\u00e9 ok";
}

void TestSearchIndex::fold()
{
    QFETCH(QString, text);
    QFETCH(QString, folded);
    QCOMPARE(foldForSearch(text), folded);
}

// The fold narrows full-width and half-width forms before it normalizes: for every character
// of the BMP, alone and beside characters that join with others, the same as NFKC alone.
void TestSearchIndex::fold_everyCharacter_asLowerCasedNfkc()
{
    const QList<QString> around = {{}, QStringLiteral("\u3099"), QStringLiteral("\uff9e"), QStringLiteral("\u0301")};
    const QList<QString> before = {{}, QStringLiteral("\uff8a"), QStringLiteral("\u304b"), QStringLiteral("E")};
    for (char32_t u = 1; u < 0x10000; ++u) {
        if (QChar::isSurrogate(u))
            continue;
        const QString c{QChar(char16_t(u))};
        for (const QString& text : {c + around[1], c + around[2], c + around[3], before[1] + c, before[2] + c, before[3] + c, c}) {
            QString expected = toNfkc(text);
            for (QChar& e : expected)
                if (e >= u'A' && e <= u'Z')
                    e = QChar(e.unicode() + 32);
            if (foldForSearch(text) != expected)
                QFAIL(qPrintable(QStringLiteral("U+%1 in \"%2\": %3, not %4").arg(unsigned(u), 4, 16, QLatin1Char('0')).arg(text, foldForSearch(text), expected)));
        }
    }
}

void TestSearchIndex::words()
{
    QCOMPARE(searchWords(QStringLiteral("  ＰＣ　ログイン\tpc  ")), (QStringList{"pc", "ログイン"}));
    QCOMPARE(searchWords(QStringLiteral("　 ")), QStringList{});
}

namespace {

std::vector<Record> manyRecords(int n)
{
    std::vector<Record> records;
    for (int i = 0; i < n; ++i) {
        records.push_back({i * 3 + 1, QStringLiteral("sub%1,種類%1").arg(i % 7),
                           QStringLiteral("質問%1です").arg(i),
                           QStringLiteral("答えは%1、%2番です。").arg(i % 13 == 0 ? QStringLiteral("ログイン") : QStringLiteral("設定"))
                               .arg(i * 7 % 1000)});
    }
    return records;
}

// What the search must find, by a plain scan of the folded fields.
QList<qint64> scanned(const std::vector<Record>& records, const QStringList& words)
{
    QList<qint64> found;
    for (const Record& r : records) {
        const QStringList fields{foldForSearch(r.kind), foldForSearch(r.quest), foldForSearch(r.anser)};
        if (std::all_of(words.begin(), words.end(), [&](const QString& w) {
                return std::any_of(fields.begin(), fields.end(), [&](const QString& f) { return f.contains(w); });
            }))
            found << r.no;
    }
    return found;
}

QList<qint64> found(const SearchIndex& index, const std::vector<Record>& records, const SearchHits& hits)
{
    QList<qint64> nos;
    for (const Record& r : records) {
        if (hits.test(index.slotOf(r.no)))
            nos << r.no;
    }
    return nos;
}

} // namespace

void TestSearchIndex::find_manyChunks_sameAsPlainScan_data()
{
    QTest::addColumn<QString>("query");
    for (const char* q : {"ログイン", "設定 sub3", "質問1234です", "99番", "種類6 ログイン 質問", "9", "存在しない", "sub"})
        QTest::newRow(q) << QString::fromUtf8(q);
}

void TestSearchIndex::find_manyChunks_sameAsPlainScan()
{
    QFETCH(QString, query);
    const std::vector<Record> records = manyRecords(5000);
    const auto index = SearchIndex::fromRecords(records);
    QVERIFY(index->chunkCount() > 5);
    const QStringList words = searchWords(query);
    QCOMPARE(found(*index, records, index->find(words)), scanned(records, words));
}

void TestSearchIndex::largeIndex_searchedInHalves_sameAsPlainScan()
{
    const std::vector<Record> records = manyRecords(60000);
    const auto index = SearchIndex::fromRecords(records);
    for (const QString& query : {QStringLiteral("ログイン 種類3"), QStringLiteral("質問59999です")}) {
        const QStringList words = searchWords(query);
        QCOMPARE(found(*index, records, index->find(words)), scanned(records, words));
    }
}

void TestSearchIndex::narrowing_givesWhatAFullSearchGives()
{
    const std::vector<Record> records = manyRecords(3000);
    const auto index = SearchIndex::fromRecords(records);
    const SearchHits wide = index->find(searchWords(QStringLiteral("質問1")));
    for (const QString& narrower : {QStringLiteral("質問12"), QStringLiteral("質問1 ログイン"), QStringLiteral("質問123です")}) {
        const QStringList words = searchWords(narrower);
        QCOMPARE(found(*index, records, index->find(words, &wide)), scanned(records, words));
    }
}

void TestSearchIndex::rebuild_takesOverUnchangedChunks_findsChangedText()
{
    std::vector<Record> records = manyRecords(4000);
    const auto first = SearchIndex::fromRecords(records);
    records[2000].anser = QStringLiteral("新しい答え");
    records.erase(records.begin() + 10);
    records.push_back({99999, QStringLiteral("sub9,追加"), QStringLiteral("追加した質問"), QStringLiteral("追加")});
    const auto second = SearchIndex::fromRecords(records, first.get());
    // Only the chunks with the changed, removed and added records are new.
    QVERIFY2(second->sharedChunks(*first) >= first->chunkCount() - 3,
             qPrintable(QStringLiteral("%1 of %2").arg(second->sharedChunks(*first)).arg(first->chunkCount())));
    QCOMPARE(found(*second, records, second->find(searchWords(QStringLiteral("新しい")))), QList<qint64>{records[1999].no});
    QCOMPARE(second->find(searchWords(QStringLiteral("質問10です"))).count(), 0);
    QCOMPARE(second->slotOf(31), -1);
    QCOMPARE(found(*second, records, second->find(searchWords(QStringLiteral("追加")))), QList<qint64>{99999});
    QCOMPARE(found(*second, records, second->find(searchWords(QStringLiteral("ログイン")))),
             scanned(records, searchWords(QStringLiteral("ログイン"))));
}

void TestSearchIndex::fromStore_readsDatabase_refusesOtherFiles()
{
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("a.mdb"), {{0, "sub1,a", "りんご", "赤い"}, {0, "sub1,a", "みかん", "橙色"}});
    StoreStatus status;
    const auto index = SearchIndex::fromStore(db, nullptr, nullptr, &status);
    QVERIFY(index);
    QCOMPARE(index->size(), 2);
    QCOMPARE(index->find(searchWords(QStringLiteral("橙"))).count(), 1);

    const QString text = dir.filePath("notes.txt");
    QVERIFY(writeBytes(text, "not a database"));
    QVERIFY(!SearchIndex::fromStore(text, nullptr, nullptr, &status));
    QVERIFY(!status.ok());

    std::atomic<bool> cancel{true};
    QVERIFY(!SearchIndex::fromStore(db, nullptr, &cancel, &status));
}

void TestSearchIndex::stamp_changesWhenAnotherProgramWrites()
{
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("a.mdb"), {{0, "sub1,a", "q", "a"}});
    const DatabaseStamp before = DatabaseStamp::of(db);
    QCOMPARE(DatabaseStamp::of(db), before);
    QCOMPARE(runSqlite(db, "UPDATE tbl1 SET anser = 'b';"), QByteArray());
    QVERIFY(DatabaseStamp::of(db) != before);
    const DatabaseStamp wal = DatabaseStamp::of(db);
    QCOMPARE(runSqlite(db, "PRAGMA journal_mode=WAL; INSERT INTO tbl1 (kind, quest, anser) VALUES ('k,1', 'q2', 'a2');"), QByteArray());
    QVERIFY(DatabaseStamp::of(db) != wal);
}

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
