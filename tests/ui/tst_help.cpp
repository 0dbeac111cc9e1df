// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/links.h"
#include "testenv.h"
#include "ui/helpform.h"

#include <QAction>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup() { m_win.reset(); }

    void helpText_isExact();
    void versionBox_isExact();
    void helpWindow_opensOnceAndCloses();
    void helpWindow_closesWithMainWindow();
    void links_data();
    void links();
    void links_defaultsExist();
    void diagram_columnsLineUp();

private:
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    QTemporaryDir m_dir;
    std::unique_ptr<Window> m_win;
};

void TestHelp::init()
{
    clearSettings();
    m_win = openWindow(QString(), m_dir.path());
}

void TestHelp::helpText_isExact()
{
    const QString expected = QStringLiteral(
        "Qadoraの説明\r\n\r\n"
        "まず最初に左上[ファイル]の中の[データベースの指定]を選択しデータベースを作成します。\r\n"
        "次に[データ入力]タブを選択しデータの入力を行います。データを登録した後に[html作成]タブにて\r\n"
        "indexメニューとsubindexメニューと入力データのhtmlも自動作成できます。\r\n\r\n"
        "メインのindexファイル名とタイトルはｈｔｍｌ作成タブの所で指定します。\r\n"
        "subindexメニューのファイル名とタイトルはデータ入力時の種類にて指定します。\r\n"
        "メインメニューからサブメニューを呼び出し、サブメニューからＱ＆Ａのhtmlファイルを\r\n"
        "呼び出します。２階層型htmlを作成するにはとても便利です。\r\n"
        "あるsubindexより別のデータベースを作成してリンクすれば何階層にもhtmlが作成できます。\r\n\r\n"
        "メインmenu    サブmenu       ＨＰ\r\n"
        "index.html    sub100.html    qa001.html\r\n"
        "              sub100.html    qa002.html\r\n"
        "              sub100.html    qa003.html\r\n"
        "              sub200.html    qa004.html\r\n"
        "              sub200.html    qa005.html\r\n"
        "              sub300.html    qa006.html\r\n"
        "              sub300.html    qa007.html\r\n\r\n"
        "[データ入力]タブにも書いてありますが種類の入力は sub100,サブタイトル名 の様に入れます。\r\n\r\n"
        "htmlファイル作成ﾃﾞｨﾚｸﾄﾘは､DB毎に指定できます。ﾃﾞｨﾚｸﾄﾘの保存･呼出は｢複数DB指定｣ﾀﾌﾞにて指定。\r\n");
    QCOMPARE(helpText(), expected);
}

void TestHelp::versionBox_isExact()
{
    w()->aabout->trigger();
    QCOMPARE(fake().informations(),
             QStringList{"Qadora\r\n\r\nアクセスのデータベースをアクセスがなくてもdb作成とデータ入力／修正ができます。\r\n"
                         "質問と答えを種類別にデータ入力にて作成し、そのデータをｈｔｍｌ形式にて一括作成が出来ます。\r\n"
                         "i-mode用ＨＰ作成にも対応しています。超便利ソフトです。\r\n\r\nver 2.03\u30002004/09/11\r\n\r\n"});
    QVERIFY(fake().messages().isEmpty());
}

void TestHelp::helpWindow_opensOnceAndCloses()
{
    w()->setumei->trigger();
    QPointer<QWidget> help = w()->helpWindow();
    QVERIFY(help);
    QCOMPARE(help->windowTitle(), QStringLiteral("説明"));
    QVERIFY(help->isVisible());
    QCOMPARE(help->findChild<QPlainTextEdit*>("Text1")->toPlainText(), QString(helpText()).replace("\r\n", "\n"));
    w()->setumei->trigger();
    QCOMPARE(w()->helpWindow(), help.data()); // the one window, shown again
    auto* close = help->findChild<QPushButton*>("Command1");
    QCOMPARE(close->text(), QStringLiteral("終　了"));
    QTest::mouseClick(close, Qt::LeftButton);
    QTRY_VERIFY(!help);
}

void TestHelp::helpWindow_closesWithMainWindow()
{
    w()->show();
    w()->setumei->trigger();
    QPointer<QWidget> help = w()->helpWindow();
    w()->close();
    QTRY_VERIFY(!help);
}

void TestHelp::links_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("yes");
    QTest::newRow("home, yes") << "sakusya" << true;
    QTest::newRow("home, no") << "sakusya" << false;
    QTest::newRow("sample, yes") << "hpsamp" << true;
    QTest::newRow("sample, no") << "hpsamp" << false;
}

void TestHelp::links()
{
    QFETCH(QString, entry);
    QFETCH(bool, yes);
    QSettings settings = qadora::openSettings();
    settings.setValue("links/home", "https://example.org/qadora/");
    fake().answerNext(yes);
    w()->findChild<QAction*>(entry)->trigger();
    QCOMPARE(fake().questions(), QStringList{"インターネット接続\t\nインターネットに接続していますか？\n"});
    const QUrl expected = entry == "sakusya" ? QUrl("https://example.org/qadora/") : samplePageUrl();
    QCOMPARE(fake().opened(), yes ? QList<QUrl>{expected} : QList<QUrl>{});
}

void TestHelp::links_defaultsExist()
{
    // Without settings, both addresses name files shipped with the program.
    QVERIFY2(QFile::exists(homePageUrl().toLocalFile()), qPrintable(homePageUrl().toString()));
    QVERIFY2(QFile::exists(samplePageUrl().toLocalFile()), qPrintable(samplePageUrl().toString()));
    QVERIFY(samplePageUrl().toLocalFile().endsWith("/sample/index.html"));
}

// The page diagram's columns line up only when kana are exactly two Latin letters wide.
void TestHelp::diagram_columnsLineUp()
{
    w()->setumei_Click();
    auto* text = w()->helpWindow()->findChild<QPlainTextEdit*>("Text1");
    const QFontMetrics metrics(text->font());
    // Fixed pitch (Latin letters one width, kana two): fontconfig calls such a font "dual".
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('M'));
    QCOMPARE(metrics.horizontalAdvance(QChar(0x30E1)), 2 * metrics.horizontalAdvance('M'));
    QCOMPARE(metrics.horizontalAdvance("メインmenu    "), metrics.horizontalAdvance("index.html    "));
    QCOMPARE(metrics.horizontalAdvance("メインmenu    サブmenu       "),
             metrics.horizontalAdvance("index.html    sub100.html    "));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
