// SPDX-License-Identifier: GPL-3.0-or-later
#include "testenv.h"
#include "views/listings.h"

#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestListings : public QObject {
    Q_OBJECT

private slots:
    void distinctKinds_data();
    void distinctKinds();
    void listKinds_ofTheStore();
    void summaryLine_data();
    void summaryLine();
    void summaryListing_cutsVisibleLinesAt60();
    void summaryListing_stopsAtMalformedKind();
    void kindListing_isExactAndCarriesNumbers();
    void kindListing_withoutMatchesIsEmpty();

private:
    QTemporaryDir m_dir;
};

void TestListings::distinctKinds_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("runs and repeats") << QStringList{"sub200,中級", "sub100,初級", "sub200,中級", "sub100,初級"}
                                      << QStringList{"sub100,初級", "sub200,中級"};
    QTest::newRow("code units, not numbers") << QStringList{"sub20,x", "sub100,y"} << QStringList{"sub100,y", "sub20,x"};
    QTest::newRow("prefix first") << QStringList{"sub100,初級編", "sub100,初級"}
                                  << QStringList{"sub100,初級", "sub100,初級編"};
    QTest::newRow("case counts") << QStringList{"sub100,a", "Sub100,a"} << QStringList{"Sub100,a", "sub100,a"};
    QTest::newRow("no comma listed") << QStringList{"sub100", "a,b"} << QStringList{"a,b", "sub100"};
    QTest::newRow("one") << QStringList{"k,t"} << QStringList{"k,t"};
    QTest::newRow("width counts") << QStringList{"ａ,b", "a,b", "a,b"} << QStringList{"a,b", "ａ,b"};
    // A surrogate pair (U+1F600) sorts by its code units, below U+FF5E.
    QTest::newRow("utf-16 order") << QStringList{"～,t", "😀,t"} << QStringList{"😀,t", "～,t"};
}

void TestListings::distinctKinds()
{
    QFETCH(QStringList, kinds);
    QFETCH(QStringList, expected);
    QCOMPARE(qadora::distinctKinds(kinds), expected);
}

void TestListings::listKinds_ofTheStore()
{
    const QString path = makeDatabase(m_dir.filePath("kinds.mdb"), {{0, "sub200,中級", "1", ""}, {0, "sub100,初級", "2", ""},
                                                                     {0, "sub200,中級", "3", ""}, {0, "sub100,初級", "4", ""}});
    const KindListing listing = listKinds(path, 4);
    QVERIFY(listing.status.ok());
    QCOMPARE(listing.kinds, (QStringList{"sub100,初級", "sub200,中級"}));
}

void TestListings::summaryLine_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "sub100,初級編" << "sub100.html , 初級編 / Q1 / A1";
    QTest::newRow("two commas") << "a,b,c" << "a.html , b,c / Q1 / A1";
    QTest::newRow("empty name") << ",x" << ".html , x / Q1 / A1";
}

void TestListings::summaryLine()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QCOMPARE(qadora::summaryLine({1, kind, "Q1", "A1"}).value(), expected);
    QVERIFY(!qadora::summaryLine({1, "sub100", "Q1", "A1"}));
}

void TestListings::summaryListing_cutsVisibleLinesAt60()
{
    // "k.html , t / " is 13 code units and " / " 3: questions of 44 and 45 make lines of 60 and 61.
    const QString q60 = QString(44, 'x');
    const QString q61 = QString(45, 'y');
    const QString emoji = QString(20, 'z') + QStringLiteral("😀😀😀😀😀😀😀😀😀😀😀😀😀😀");
    const QString path = makeDatabase(m_dir.filePath("cut.mdb"), {{0, "k,t", q60, ""}, {0, "k,t", q61, ""}, {0, "k,t", emoji, "a"}});
    const Listing listing = listRecords(path, 3, std::nullopt, LineFormat::Summary);
    QCOMPARE(listing.matched, 3);
    QCOMPARE(listing.visible[0], "k.html , t / " + q60 + " / ");
    QCOMPARE(listing.visible[0].size(), 60);
    QCOMPARE(listing.companion[0], listing.visible[0]);
    QCOMPARE(listing.visible[1].size(), 60);
    QCOMPARE(listing.companion[1], "k.html , t / " + q61 + " / ");
    QCOMPARE(listing.visible[1], listing.companion[1].left(60));
    QCOMPARE(listing.visible[2].size(), 60); // UTF-16 code units, even mid-pair
    QCOMPARE(listing.companion[2], "k.html , t / " + emoji + " / a");
}

void TestListings::summaryListing_stopsAtMalformedKind()
{
    const QString path = makeDatabase(m_dir.filePath("malformed.mdb"),
                                      {{0, "a,1", "q1", ""}, {0, "b,2", "q2", ""}, {0, "bad", "q3", ""}, {0, "c,3", "q4", ""}});
    const Listing listing = listRecords(path, 4, std::nullopt, LineFormat::Summary);
    QVERIFY(listing.stoppedAtMalformedKind);
    QCOMPARE(listing.visible.size(), 2);
    QCOMPARE(listing.companion.size(), 2);
    // Listing one well-formed kind is not stopped by a malformed kind elsewhere.
    const Listing one = listRecords(path, 4, QStringLiteral("c,3"), LineFormat::Summary);
    QVERIFY(!one.stoppedAtMalformedKind);
    QCOMPARE(one.visible, QStringList{"c.html , 3 / q4 / "});
    // The malformed kind itself stops at its first record.
    const Listing bad = listRecords(path, 4, QStringLiteral("bad"), LineFormat::Summary);
    QVERIFY(bad.stoppedAtMalformedKind);
    QVERIFY(bad.visible.isEmpty());
}

void TestListings::kindListing_isExactAndCarriesNumbers()
{
    const QString path = makeDatabase(m_dir.filePath("numbers.mdb"), {{0, "sub100,初級編", "q1", ""}, {0, "sub100,初級", "q2", ""},
                                                                      {0, "sub100,初級編", "q3", ""}});
    const Listing listing = listRecords(path, 3, QStringLiteral("sub100,初級編"), LineFormat::QuestionWithNumber);
    QCOMPARE(listing.visible, (QStringList{"q1", "q3"}));
    QCOMPARE(listing.companion, (QStringList{"1", "3"}));
    QCOMPARE(listing.matched, 2);
}

void TestListings::kindListing_withoutMatchesIsEmpty()
{
    const QString path = makeDatabase(m_dir.filePath("nomatch.mdb"), {{0, "sub100,初級編", "q1", ""}});
    const Listing listing = listRecords(path, 1, QStringLiteral("sub100,初級"), LineFormat::QuestionWithNumber);
    QVERIFY(listing.visible.isEmpty());
    QVERIFY(listing.companion.isEmpty());
    QCOMPARE(listing.matched, 0);
}

QTEST_GUILESS_MAIN(TestListings)
#include "tst_listings.moc"
