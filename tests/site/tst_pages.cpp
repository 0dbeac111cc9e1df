// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"
#include "site/pagefile.h"
#include "site/pages.h"
#include "site/sitegeneration.h"
#include "store/kindstring.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestPages : public QObject {
    Q_OBJECT

private slots:
    void wholePage_data();
    void wholePage();
    void qaFileName_data();
    void qaFileName();
    void existingPageIsReplaced();
    void pathsJoinWithOneSlash();
    void malformedKind_writesNoQaPage();
    void nameWithSlash_isRefused_data();
    void nameWithSlash_isRefused();
    void nameDifferingInCase_data();
    void nameDifferingInCase();
    void returnAddress_losesOnlySpaces_data();
    void returnAddress_losesOnlySpaces();
};

void TestPages::wholePage_data()
{
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("frameless");
    QTest::addColumn<bool>("big");

    QTest::newRow("qa frameless, record 7") << "qa007-frameless" << "qa"
                                            << QStringList{"7", "初めての質問ですか？", "はい、そうです。", "sub100,初級編"} << true << false;
    QTest::newRow("qa framed, record 7") << "qa007-framed" << "qa"
                                         << QStringList{"7", "初めての質問ですか？", "はい、そうです。", "sub100,初級編"} << false << false;
    QTest::newRow("qa framed ignores big title") << "qa007-framed" << "qa"
                                                 << QStringList{"7", "初めての質問ですか？", "はい、そうです。", "sub100,初級編"} << false << true;
    QTest::newRow("qa with <br> and line breaks") << "qa005-breaks" << "qa"
                                                  << QStringList{"5", "一行目<br>\r\n二行目", "答え<br>\r\n続き", ",x"} << true << false;
    QTest::newRow("qa empty answer framed, 1000") << "qa1000-empty-framed" << "qa" << QStringList{"1000", "Q", "", "a,b,c"} << false << false;

    QTest::newRow("index framed example") << "index-framed" << "index"
                                          << QStringList{"index.html", "Ｑ＆Ａ集", "http://", "", "sub100,初級編"} << false << false;
    QTest::newRow("index framed big, 11-character link") << "index-framed-big-link" << "index"
                                                         << QStringList{"index.html", "Ｑ＆Ａ集", "http://a.jp", "", "sub100,初級編|sub200,中級編"} << false << true;
    QTest::newRow("index frameless, http:// and four spaces, label of spaces") << "index-frameless-spaces" << "index"
                                                         << QStringList{"index.html", "Ｑ＆Ａ集", "http://    ", "   ", "sub100,初級編"} << true << true;
    QTest::newRow("index frameless default label") << "index-frameless-default-label" << "index"
                                                   << QStringList{"index.html", "", "http://a.jp", "", "sub100,初級編"} << true << false;
    QTest::newRow("index 10-character link is not written") << "index-frameless-ten" << "index"
                                                            << QStringList{"top", "T", "http://a.j", "HOME", "sub100,初級編"} << true << false;
    QTest::newRow("index malformed kind in second place") << "index-framed-malformed" << "index"
                                                          << QStringList{"index.html", "T", "http://a.jp", "", "a,1|bad|c,3"} << false << false;

    QTest::newRow("sub frameless, records 1 and 2") << "sub100-frameless" << "sub"
                                                    << QStringList{"sub100.html", "初級編", "index.html", "最初の質問|二番目の質問", "1|2"} << true << false;
    QTest::newRow("sub framed big, empty index name") << "sub100-framed-big" << "sub"
                                                      << QStringList{"sub100.html", "初級編", "", "最初の質問|二番目の質問", "1|2"} << false << true;
}

void TestPages::wholePage()
{
    QFETCH(QString, expected);
    QFETCH(QString, page);
    QFETCH(QStringList, args);
    QFETCH(bool, frameless);
    QFETCH(bool, big);
    QTemporaryDir out;
    SiteRun run(out.path());
    const PageStyle style{frameless, big};
    QString written;
    WriteOutcome outcome;
    if (page == "qa") {
        outcome = run.qaPage(style, args[0], args[1], args[2], args[3]);
        written = qadora::qaFileName(args[0]);
    } else if (page == "index") {
        outcome = run.indexPage(args[0], {args[1], args[2], args[3], style}, args[4].split('|'));
        written = args[0];
    } else {
        outcome = run.subIndexPage(args[0], args[1], args[2], args[3].split('|'), args[4].split('|'), style);
        written = args[0];
    }
    if (expected.endsWith("malformed")) {
        QCOMPARE(outcome.code, WriteOutcome::Reported);
        QCOMPARE(outcome.message, kMalformedKindMessage + "\rbad");
    } else {
        QCOMPARE(outcome.code, WriteOutcome::Written);
    }
    const QByteArray actual = readBytes(QDir(out.path()).filePath(written));
    // CTest names the fixtures' folder: QFINDTESTDATA cannot find it when the compiler was
    // given the source by a relative name (ccache with base_dir).
    const QString fixtures = qEnvironmentVariable("QADORA_FIXTURES");
    const QByteArray wanted = readBytes(fixtures.isEmpty() ? QFINDTESTDATA("../data/pages/" + expected + ".html")
                                                           : fixtures + "/pages/" + expected + ".html");
    QVERIFY(!wanted.isEmpty());
    QCOMPARE(actual, wanted);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left
}

void TestPages::qaFileName_data()
{
    QTest::addColumn<QString>("fnum");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << "1" << "qa001.html";
    QTest::newRow("5") << "5" << "qa005.html";
    QTest::newRow("42") << "42" << "qa042.html";
    QTest::newRow("100") << "100" << "qa100.html";
    QTest::newRow("1000") << "1000" << "qa1000.html";
    QTest::newRow("32768") << "32768" << "qa32768.html";
    QTest::newRow("leading digits") << "12abc" << "qa012.html";
    QTest::newRow("no digits") << "abc" << "qa000.html";
}

void TestPages::qaFileName()
{
    QFETCH(QString, fnum);
    QFETCH(QString, name);
    QCOMPARE(qadora::qaFileName(fnum), name);
}

void TestPages::existingPageIsReplaced()
{
    QTemporaryDir out;
    const QString path = QDir(out.path()).filePath("qa001.html");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'Z'));
    old.close();
    QCOMPARE(SiteRun(out.path()).qaPage({}, "1", "Q", "A", "k,t").code, WriteOutcome::Written);
    const QByteArray bytes = readBytes(path);
    QVERIFY(bytes.startsWith("<HTML>\r\n"));
    QVERIFY(bytes.endsWith("</HTML>\r\n"));
    QVERIFY(!bytes.contains('Z'));
}

void TestPages::pathsJoinWithOneSlash()
{
    QCOMPARE(joinPath("/", "index.html"), QStringLiteral("/index.html"));
    QCOMPARE(joinPath("/web/qa", "index.html"), QStringLiteral("/web/qa/index.html"));
    QCOMPARE(joinPath("/web/qa/", "index.html"), QStringLiteral("/web/qa/index.html"));
    // A folder is absolute with the drive on Windows ("C:/").
    const QString root = QDir::rootPath();
    QCOMPARE(outputDirForm(root + "web/qa/"), root + "web/qa");
    QCOMPARE(outputDirForm(root), root);
}

void TestPages::malformedKind_writesNoQaPage()
{
    QTemporaryDir out;
    const WriteOutcome outcome = SiteRun(out.path()).qaPage({}, "3", "Q", "A", "sub100，初級");
    QCOMPARE(outcome.code, WriteOutcome::Reported);
    QCOMPARE(outcome.message, kMalformedKindMessage);
    QVERIFY(QDir(out.path()).isEmpty());
}

void TestPages::nameWithSlash_isRefused_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString slash = QStringLiteral("ファイル名に「/」や「\\」は使えません\r");
    QTest::newRow("index up") << "index" << "../index.html" << slash + "../index.html";
    QTest::newRow("index backslash") << "index" << "a\\b.html" << slash + "a\\b.html";
    QTest::newRow("sub into folder") << "sub" << "x/sub.html" << slash + "x/sub.html";
    QTest::newRow("NUL in a kind") << "sub" << QString("ab") + QChar(0) + "cd.html"
                                   << "ファイル名に制御文字（U+0000）は使えません\rab\uFFFDcd.html";
    QTest::newRow("line feed") << "sub" << "a\nb.html" << "ファイル名に制御文字（U+000A）は使えません\ra\uFFFDb.html";
    QTest::newRow("the program's own") << "index" << ".qadora-abcdefghijkl.tmp"
                                       << "「.qadora-」で始まる名前は使えません（Qadoraが使います）\r.qadora-abcdefghijkl.tmp";
    QTest::newRow("the index page") << "sub" << "index.html" << "ほかのページと同じファイル名になるため作成できません\rindex.html";
    QTest::newRow("a record's page") << "sub" << "qa001.html" << "ほかのページと同じファイル名になるため作成できません\rqa001.html";
    QTest::newRow("index as a record's page") << "index" << "qa001.html"
                                              << "ほかのページと同じファイル名になるため作成できません\rqa001.html";
}

// Refused like a name with "/": a message, the run stops, and no page is replaced.
void TestPages::nameWithSlash_isRefused()
{
    QFETCH(QString, page);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir parent;
    const QString outDir = QDir(parent.path()).filePath("out");
    QVERIFY(QDir().mkpath(outDir + "/x"));
    SiteRun run(outDir);
    QCOMPARE(run.qaPage({}, "1", "Q", "A", "k,t").code, WriteOutcome::Written);
    const QByteArray record = readBytes(outDir + "/qa001.html");
    const WriteOutcome outcome = page == "index" ? run.indexPage(name, {}, {"a,b"})
                                                 : run.subIndexPage(name, "t", "index.html", {}, {}, {});
    QCOMPARE(outcome.code, WriteOutcome::Stopped);
    QCOMPARE(outcome.message, message);
    QVERIFY(QDir(parent.path()).entryList(QDir::Files).isEmpty());
    QVERIFY(QDir(outDir + "/x").isEmpty());
    QCOMPARE(QDir(outDir).entryList(QDir::Files | QDir::Hidden), QStringList{"qa001.html"});
    QCOMPARE(readBytes(outDir + "/qa001.html"), record);
}

void TestPages::nameDifferingInCase_data()
{
    QTest::addColumn<bool>("modern");
    QTest::addColumn<QString>("kindPage");
    QTest::addColumn<bool>("refused");
    // The older styles keep such pages apart where the disk does, as they always have.
    const bool folding = platform::windowsFileNames();
    for (const bool modern : {false, true}) {
        const QByteArray style = modern ? "modern: " : "frameless: ";
        QTest::newRow(style + "the index page") << modern << "Index.html" << (modern || folding);
        QTest::newRow(style + "a record's page") << modern << "QA001.html" << (modern || folding);
        QTest::newRow(style + "another name") << modern << "Indexes.html" << false;
    }
    QTest::newRow("modern: the search page") << true << "Search.html" << true;
    QTest::newRow("frameless: no search page") << false << "Search.html" << false;
}

// A kind page whose name differs from another page's only in letter case, as the import's check
// of kinds tells it.
void TestPages::nameDifferingInCase()
{
    QFETCH(bool, modern);
    QFETCH(QString, kindPage);
    QFETCH(bool, refused);
    QTemporaryDir out;
    SiteRun run(out.path());
    PageStyle style;
    style.modern = modern;
    QCOMPARE(run.qaPage(style, "1", "Q", "A", "k,t").code, WriteOutcome::Written);
    const WriteOutcome outcome = run.subIndexPage(kindPage, "t", "index.html", {"Q"}, {"1"}, style);
    QCOMPARE(outcome.code, refused ? WriteOutcome::Stopped : WriteOutcome::Written);
    if (refused)
        QCOMPARE(outcome.message, "ほかのページと同じファイル名になるため作成できません\r" + kindPage);
    // By the names the folder holds: where the disk ignores case, the record's page answers to both.
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).contains(kindPage), !refused);
}

void TestPages::returnAddress_losesOnlySpaces_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("spaces") << "  http://a.jp/  " << "http://a.jp/";
    QTest::newRow("ideographic space") << "　http://a.jp/　" << "　http://a.jp/　";
    QTest::newRow("tab and line feed") << "\thttp://a.jp/\n" << "\thttp://a.jp/\n";
}

void TestPages::returnAddress_losesOnlySpaces()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const IndexPage page = indexPage({"T", typed, "HOME", PageStyle{}}, {"k,t"});
    QVERIFY(page.lines.contains("<A href=\"" + written + "\">HOME</a><br>"));
}

QTEST_GUILESS_MAIN(TestPages)
#include "tst_pages.moc"
