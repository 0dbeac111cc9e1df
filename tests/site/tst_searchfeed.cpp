// SPDX-License-Identifier: GPL-3.0-or-later
// The search index a run builds while it makes the record pages: the very files of the index
// built at once of the records the run kept, whether as many records came as it expected,
// fewer (the same split of the index or another), or a later record took an earlier one's page.
#include "site/searchsite.h"
#include "site/sitegeneration.h"
#include "store/kindstring.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;

class TestSearchFeed : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void runIndex_isTheIndexOfTheRecordsKept_data();
    void runIndex_isTheIndexOfTheRecordsKept();
};

void TestSearchFeed::runIndex_isTheIndexOfTheRecordsKept_data()
{
    QTest::addColumn<bool>("ownThread");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QList<int>>("numbers"); // the records' numbers in the order they come
    QList<int> all, most, few;
    for (int i = 0; i < 600; ++i)
        (i < 100 ? few : i < 580 ? most : all) << i;
    most = few + most;
    all = most + all;
    for (const bool own : {true, false}) {
        const char* on = own ? ", own thread" : ", the pages' thread";
        QTest::addRow("as many as expected%s", on) << own << 600 << all;
        QTest::addRow("fewer, the same split%s", on) << own << 600 << most;
        QTest::addRow("fewer, another split%s", on) << own << 600 << few;
        QTest::addRow("later records take pages%s", on) << own << 600 << (QList<int>{7} + all + QList<int>{300, 599});
        QTest::addRow("none expected%s", on) << own << 0 << all;
    }
}

void TestSearchFeed::runIndex_isTheIndexOfTheRecordsKept()
{
    QFETCH(bool, ownThread);
    QFETCH(int, expected);
    QFETCH(QList<int>, numbers);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PageStyle style;
    style.modern = true;
    QList<SearchDocument> documents;
    QList<SearchKind> kinds;
    QHash<int, qsizetype> at;
    {
        SiteRun run(dir.path(), SiteRun::Mode::Background);
        run.expectRecords(expected, ownThread);
        for (const int no : std::as_const(numbers)) {
            const QString kind = QString::number(no % 3);
            const QString question = QStringLiteral("質問%1の変更").arg(no);
            const QString answer = QStringLiteral("答え%1 %2").arg(no).arg(at.contains(no) ? "後" : "先");
            QCOMPARE(run.qaPage(style, QString::number(no), question, answer, "k" + kind + ",種類" + kind).code,
                     WriteOutcome::Written);
            const SearchKind k{subIndexFileName("k" + kind), "種類" + kind};
            qsizetype kindAt = 0;
            while (kindAt < kinds.size() && kinds[kindAt].file != k.file)
                ++kindAt;
            if (kindAt == kinds.size())
                kinds.append(k);
            const SearchDocument d{qaFileName(QString::number(no)), question, answer, int(kindAt)};
            if (at.contains(no)) {
                documents[at[no]] = d;
            } else {
                at[no] = documents.size();
                documents.append(d);
            }
        }
        run.startSearchIndex();
        QVERIFY(run.finish());
        QString error;
        QVERIFY2(run.recordPages(false, &error), qPrintable(error));
    }
    const auto files = searchFiles(kinds, documents);
    QCOMPARE(QDir(dir.path()).entryList({"qs-*.js"}).size(), files.size() - 1); // the script besides
    for (const auto& [name, bytes] : files) {
        QFile written(dir.filePath(name));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(written.readAll() == bytes, qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestSearchFeed)
#include "tst_searchfeed.moc"
