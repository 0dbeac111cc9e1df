// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/backups.h"
#include "settings/dirs.h"
#include "site/pagefile.h"
#include "testenv.h"
#include "ui/appsetup.h"
#include "ui/interaction.h"
#include "ui/pathlabel.h"
#include "ui/recordsearch.h"
#include "ui/folderpicker.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QListView>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QToolTip>

using namespace qadora;
using namespace qadora::test;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        setUpJapanese(*qApp);
    }
    void init();
    void cleanup();

    void windowAndTabs();
    void inventory_data();
    void inventory();
    void menus_data();
    void menus();
    void tabDoubleClick_clearsCountAndAnswer();
    void eend_closesAndSaves();
    void close_unsavedInput_asksAndEnterKeepsTheWindow_data();
    void close_unsavedInput_asksAndEnterKeepsTheWindow();

    void picker_followsDirectory();
    void picker_rootHasNoTrailingSlash();
    void picker_pasteNetworkPath_isRefused();
    void picker_pasteRealPath_data();
    void picker_pasteRealPath();
    void picker_desktop();
    void picker_doubleClickByExtension_data();
    void picker_doubleClickByExtension();

    void dbmake_createsNewDatabase();
    void dbmake_existingFile_no_adoptsUntouched();
    void dbmake_existingFile_yes_replaces();
    void dbmake_cancel_changesNothing();
    void dbmake_enterOnQuestion_keepsTheDatabase();
    void dbmake_yes_withoutTrash_keepsTheFileBeside();
    void dbdel_presentFile_yes();
    void dbdel_presentFile_no();
    void dbdel_missingFile();

    void japanese_questionButtons();
    void progress_stepsAsideForAMessage();
    void japanese_fileDialog();
    void minimumSize_fitsWithLongPaths();
    void pathLabels_shortenInTheMiddle();

private:
    std::unique_ptr<Window> m_win;
    QTemporaryDir* m_dir = nullptr;
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
};

void TestMainWindow::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    m_win = openWindow(QString(), m_dir->path());
}

void TestMainWindow::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    delete m_dir;
}

void TestMainWindow::windowAndTabs()
{
    QCOMPARE(w()->windowTitle(), QStringLiteral("Qadora"));
    QCOMPARE(w()->objectName(), QStringLiteral("main1"));
    auto* tabs = w()->findChild<QTabWidget*>("SSTab1");
    QVERIFY(tabs);
    const QStringList captions{"データ表示", "データ入力", "データ削除", "データ修正", "ＨＴＭＬ作成", "複数ＤＢ指定"};
    QCOMPARE(tabs->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        QCOMPARE(tabs->tabText(i), captions[i]);
    QCOMPARE(w()->findChild<QLabel*>("Label2")->text(), QStringLiteral("データベース"));
    QVERIFY(w()->findChild<QLabel*>("Label1"));
}

void TestMainWindow::inventory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("state");
    auto row = [](const char* name, int tab, const QString& text = QString(), const QString& state = QString()) {
        QTest::newRow(name) << QString::fromLatin1(name) << tab << text << state;
    };
    row("Label25", 0, "ｻﾌﾞﾒﾆｭｰhtml名　,　ｻﾌﾞﾒﾆｭｰﾀｲﾄﾙ名　/　ｻﾌﾞの質問内容　/　ｻﾌﾞの答え");
    row("Command17", 0, "種類の表示");
    row("List8", 0);
    row("Option1", 0, "全データの表示", "on");
    row("Option2", 0, "選択種類データの表示", "off");
    row("Command18", 0, "データの表示");
    row("List9", 0);
    row("List10", 0, QString(), "hidden");
    row("Label24", 0, QString(), "count");
    row("Label5", 1, "種類");
    row("Combo1", 1);
    row("Label22", 1, "ﾌｫｰﾏｯﾄ:\r　subindexﾌｧｲﾙ名 　半角ｶﾝﾏ　 subindexﾀｲﾄﾙ名\r　subindexﾌｧｲﾙ名 = 英数字半角8文字以内\r例：\r　sub100,初級編");
    row("Label3", 1, "質問");
    row("Text1", 1);
    row("Label4", 1, "答え");
    row("rtext1", 1);
    row("Check1", 1, "改行を<br>改行にする", "on");
    row("Command3", 1, "データの追加");
    row("Command12", 1, "種類の読込（既存データ）");
    row("renameKind", 1, "種類の変更…");
    row("Command4", 1, "表示　更新");
    row("List1", 1);
    row("Label6", 1, QString(), "count");
    row("Command26", 1, "バイト数");
    row("Label26", 1);
    row("Label27", 1, "byte");
    row("Line1", 1);
    row("Command5", 2, "①データ表示（質問）");
    row("List2", 2);
    row("Label7", 2, QString(), "count");
    row("Label8", 2, "②上記データ１行選択後");
    row("Command6", 2, "③削除データの表示");
    row("Label15", 2, "種　類");
    row("Text6", 2);
    row("Label10", 2, "質　問");
    row("Text7", 2);
    row("Label11", 2, "答　え");
    row("Text2", 2);
    row("Label12", 2, "上記データを削除しますか？");
    row("Command7", 2, "④　削　除　Ｏ　Ｋ");
    row("Command8", 2, "削除しません");
    row("Line2", 2);
    row("Command2", 3, "①データ表示（質問）");
    row("Check3", 3, "種類データの指定", "off");
    row("Command25", 3, "種類の表示");
    row("List12", 3);
    row("List3", 3);
    row("Label13", 3, QString(), "count");
    row("Label14", 3, "②上記データ１行選択後");
    row("Command9", 3, "③修正データの表示");
    row("Label19", 3, "種　類");
    row("Text3", 3);
    row("Label18", 3, "質　問");
    row("Text4", 3);
    row("Label17", 3, "答　え");
    row("Text5", 3);
    row("Label20", 3, "上記データを反映しますか？");
    row("Command10", 3, "④　変　更　Ｏ　Ｋ");
    row("Command11", 3, "変更しません");
    row("Line3", 3);
    row("Label21", 4, "indexファイル名：");
    row("Text8", 4, "index.html");
    row("Label39", 4, "indexタイトル：");
    row("Text15", 4);
    row("Label31", 4, "Top頁に戻るHPが必要な時：　(http://で始まるURLを記入)");
    row("Text12", 4, "http://");
    row("Label23", 4, "戻るＨＰのタイトル名：");
    row("Text10", 4);
    row("Label34", 4, "例：HOME");
    row("Frame2", 4, "質問と答の分け方");
    row("Option5", 4, "枠有り（<table>）", "off");
    row("Option6", 4, "枠無し（<hr>）(携帯用)", "on");
    row("Check2", 4, "ﾀｲﾄﾙを大きくする", "off");
    row("Command13", 4, "データ表示");
    row("List4", 4);
    row("List5", 4, QString(), "hidden");
    row("Combo2", 4, QString(), "hidden");
    row("Label9", 4, QString(), "count");
    row("Label16", 4, "件");
    row("Command14", 4, "ＨＰ作成");
    row("Dir1", 4);
    row("File1", 4);
    row("Label36", 4, QString(), "outdir");
    row("Command1", 4, "ﾃﾞｽｸﾄｯﾌﾟ");
    row("Text9", 4);
    row("Command15", 4, "ﾃﾞｨﾚｸﾄﾘ作成");
    row("Command16", 4, "ﾃﾞｨﾚｸﾄﾘ内全削除");
    row("Check4", 4, "前回までに作成して不要になったページを削除する", "off");
    row("Check5", 4, "スマートフォン向けの表示にする", "on"); // a folder never used
    row("Command19", 5, "複数ＤＢ指定時の環境設定ﾌｧｲﾙ指定(TEXTﾌｧｲﾙ名)①");
    row("Label28", 5);
    row("Command20", 5, "複数ＤＢ名の呼び出し");
    row("List11", 5);
    row("Label29", 5, "ＤＢタイトル②");
    row("Text11", 5);
    row("Label40", 5, "：ＨＴＭＬ作成時のindexタイトルにもなります");
    row("Command22", 5, "ＤＢファイル名③");
    row("Label30", 5);
    row("Label37", 5, "html作成Dir　　　：");
    row("Label38", 5, QString(), "outdir");
    row("Label32", 5, "Top頁に戻るHPが必要な時：　(http://で始まるURLを記入)");
    row("Text13", 5, "http://");
    row("Label33", 5, "戻るHPタイトル名：");
    row("Text14", 5);
    row("Label35", 5, "例：HOME");
    row("Command21", 5, "複数ＤＢの登録④");
    row("Command23", 5, "１行削除＆ファイル保存");
    row("Command24", 5, "選択したＤＢへの変更");
}

void TestMainWindow::inventory()
{
    QFETCH(QString, name);
    QFETCH(int, tab);
    QFETCH(QString, text);
    QFETCH(QString, state);
    const auto found = w()->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* c = found.first();
    // On the right tab.
    auto* tabs = w()->findChild<QTabWidget*>("SSTab1");
    QVERIFY2(tabs->widget(tab)->isAncestorOf(c), qPrintable(name + " is not on tab " + QString::number(tab)));

    QString actual;
    if (auto* l = qobject_cast<QLabel*>(c))
        actual = l->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(c))
        actual = b->text();
    else if (auto* e = qobject_cast<QLineEdit*>(c))
        actual = e->text();
    else if (auto* p = qobject_cast<QPlainTextEdit*>(c))
        actual = p->toPlainText();
    else if (auto* g = qobject_cast<QGroupBox*>(c))
        actual = g->title();
    else if (auto* list = qobject_cast<QListWidget*>(c)) {
        QVERIFY(!list->isSortingEnabled());
        if (name != "Dir1" && name != "File1")
            QCOMPARE(list->count(), 0);
    } else if (auto* combo = qobject_cast<QComboBox*>(c)) {
        QCOMPARE(combo->count(), 0);
        actual = combo->currentText();
    }
    // The output directory labels show the directory in use from start-up on.
    QCOMPARE(actual, state == "outdir" ? w()->Dir1->path() : text);

    if (state == "on" || state == "off")
        QCOMPARE(qobject_cast<QAbstractButton*>(c)->isChecked(), state == "on");
    w()->show();
    tabs->setCurrentIndex(tab);
    if (state == "hidden") {
        QVERIFY(!c->isVisible());
    } else {
        QVERIFY2(c->isVisible(), qPrintable(name + " is not shown"));
    }
    if (state == "count") {
        auto* l = qobject_cast<QLabel*>(c);
        QVERIFY(l->frameShape() != QFrame::NoFrame);
        QCOMPARE(l->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    }
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("menuTitle");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("ffile") << "ffile" << "ファイル"
                           << QStringList{"dbmake=データベースの指定", "recent=最近使ったデータベース", "dbdel=データベース設定クリア",
                                          "importCsv=取り込み…", "exportCsv=書き出し…", "koukai=サイトの公開…",
                                          "buildPublish=作成して公開",
                                          "restore=バックアップから復元…", "eend=終了"};
    QTest::newRow("hensyu") << "hensyu" << "編集" << QStringList{"undo=元に戻す", "redo=やり直し"};
    QTest::newRow("hhelp") << "hhelp" << "ヘルプ"
                           << QStringList{"setumei=説明", "sakusya=作者ＨＰ", "hpsamp=このツールにて作成したＨＰ", "aabout=バージョン"};
}

void TestMainWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QString, menuTitle);
    QFETCH(QStringList, entries);
    auto* m = w()->findChild<QMenu*>(menu);
    QVERIFY(m);
    QCOMPARE(m->title(), menuTitle);
    QStringList actual;
    for (QAction* a : m->actions())
        actual << a->objectName() + '=' + a->text();
    QCOMPARE(actual, entries);
    QStringList bar;
    for (QAction* a : w()->menuBar()->actions())
        bar << a->menu()->objectName();
    QCOMPARE(bar, (QStringList{"ffile", "hensyu", "hhelp"}));
    QCOMPARE(w()->findChild<QAction*>("undo")->shortcut(), QKeySequence("Ctrl+Z"));
    QCOMPARE(w()->findChild<QAction*>("redo")->shortcut(), QKeySequence("Ctrl+Y"));
    QCOMPARE(w()->findChild<QAction*>("eend")->shortcut(), QKeySequence("Ctrl+Q"));
}

void TestMainWindow::tabDoubleClick_clearsCountAndAnswer()
{
    w()->Label9->setText("12");
    w()->Text2->setPlainText("answer");
    w()->Text7->setText("question");
    w()->show();
    QTabBar* bar = w()->SSTab1->tabBar();
    QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    QCOMPARE(w()->Label9->text(), QString());
    QCOMPARE(w()->Text2->toPlainText(), QString());
    QCOMPARE(w()->Text7->text(), QStringLiteral("question"));
}

void TestMainWindow::eend_closesAndSaves()
{
    w()->show();
    clearSettings();
    w()->eend->trigger();
    QVERIFY(!w()->isVisible());
    QCOMPARE(dirs::rwfirstdir(1), w()->Dir1->path());
}

void TestMainWindow::close_unsavedInput_asksAndEnterKeepsTheWindow_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("box");
    QTest::newRow("question to add") << 1 << "Text1";
    QTest::newRow("answer to add") << 1 << "rtext1";
    QTest::newRow("loaded record, kind edited") << 3 << "Text3";
    QTest::newRow("loaded record, answer edited") << 3 << "Text5";
}

// Closed by Ctrl+Q, the menu or the window's button: input not yet added or saved is asked
// about, and Enter keeps the window open with the input in it.
void TestMainWindow::close_unsavedInput_asksAndEnterKeepsTheWindow()
{
    QFETCH(int, tab);
    QFETCH(QString, box);
    const QString path = makeDatabase(m_dir->filePath("a.mdb"), {{0, "k,t", "q", "a"}});
    m_win = openWindow(path, m_dir->path());
    showActive(w());
    QtInteraction shown(w());
    fake().showQuestionsWith(&shown);
    w()->SSTab1->setCurrentIndex(tab);
    if (tab == 3) {
        QTest::mouseClick(w()->Command2, Qt::LeftButton);
        w()->List3->setCurrentRow(0);
        QTest::mouseClick(w()->Command9, Qt::LeftButton);
        // Loaded and not edited: nothing to ask about.
        w()->eend->trigger();
        QVERIFY(!w()->isVisible());
        QVERIFY(fake().questions().isEmpty());
        showActive(w());
    }
    auto* input = w()->findChild<QWidget*>(box);
    input->setFocus();
    typeText(input, "x");
    const QString question = "終了確認	追加または保存していない入力があります。終了しますか？	(default No)";
    QString asked;
    const auto asking = onNextModal([&](QWidget* modal) {
        asked = modal->windowTitle();
        pressOnDialog(modal, Qt::Key_Return);
    });
    pressKey(input, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(asked, QStringLiteral("終了確認"));
    QCOMPARE(fake().questions(), QStringList{question});
    QVERIFY(w()->isVisible());
    clearSettings();
    // The window's own button asks too; はい closes it, as a close does.
    const auto closing = onNextModal([](QWidget* modal) { QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes), Qt::LeftButton); });
    QVERIFY(w()->close());
    QCOMPARE(fake().questions(), (QStringList{question, question}));
    QCOMPARE(dirs::rwfirstdir(1), w()->Dir1->path());
}

void TestMainWindow::picker_followsDirectory()
{
    QDir(m_dir->path()).mkdir("web");
    const QString web = m_dir->filePath("web");
    QFile(web + "/index.html").open(QIODevice::WriteOnly);
    QDir(web).mkdir("sub");
    QVERIFY(w()->Dir1->setPath(web));
    QCOMPARE(w()->Label36->text(), web);
    QCOMPARE(w()->Label38->text(), web);
    QCOMPARE(itemsOf(w()->File1), QStringList{"index.html"});
    QCOMPARE(QDir::currentPath(), web);
    // The subdirectory is offered in the directory list; activating it goes down.
    QTreeWidgetItem* sub = w()->Dir1->findItems("sub", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    QVERIFY(sub);
    QCOMPARE(sub->parent()->text(0), QStringLiteral("web")); // inside its directory, as a tree
    emit w()->Dir1->itemActivated(sub, 0);
    QCOMPARE(w()->Label36->text(), web + "/sub");
    QVERIFY(w()->File1->count() == 0);
    // The first entries lead back up.
    emit w()->Dir1->itemActivated(w()->Dir1->topLevelItem(0), 0);
    QCOMPARE(w()->Label36->text(), web.section('/', 0, 0) + "/"); // the root (on Windows the drive's)
}

void TestMainWindow::picker_rootHasNoTrailingSlash()
{
    QVERIFY(w()->Dir1->setPath(m_dir->path() + "/"));
    QCOMPARE(w()->Label36->text(), outputDirForm(m_dir->path()));
    QVERIFY(w()->Dir1->setPath("/"));
    QCOMPARE(w()->Label36->text(), QFileInfo("/").absoluteFilePath()); // on Windows the current drive's root
}

void TestMainWindow::picker_pasteNetworkPath_isRefused()
{
    const QString before = w()->Dir1->path();
    fake().setClipboard("\\\\server\\share\\web");
    w()->show();
    QTest::mouseClick(w()->Dir1->viewport(), Qt::RightButton);
    QCOMPARE(fake().messages(), QStringList{"直のネットワークドライブには、対応しておりません。ドライブ名を割り当て、ドライブ名にて指定して下さい。"});
    QCOMPARE(w()->Dir1->path(), before);
}

void TestMainWindow::picker_pasteRealPath_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<bool>("moves");
    QTest::newRow("existing") << "web" << true;
    QTest::newRow("missing") << "nothing-here" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindow::picker_pasteRealPath()
{
    QFETCH(QString, clip);
    QFETCH(bool, moves);
    QDir(m_dir->path()).mkdir("web");
    const QString before = w()->Dir1->path();
    fake().setClipboard(clip.isEmpty() ? clip : m_dir->filePath(clip));
    w()->show();
    QTest::mouseClick(w()->Dir1->viewport(), Qt::RightButton);
    QTest::mouseClick(w()->Dir1->viewport(), Qt::LeftButton); // other buttons do nothing
    QCOMPARE(w()->Dir1->path(), moves ? m_dir->filePath(clip) : before);
    QCOMPARE(w()->Label36->text(), w()->Dir1->path());
    QVERIFY(fake().messages().isEmpty());
}

void TestMainWindow::picker_desktop()
{
    // The test home has no Desktop folder: the home folder stands in for it.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString expected = QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
    QTest::mouseClick(w()->Command1, Qt::LeftButton);
    QCOMPARE(w()->Dir1->path(), outputDirForm(expected));
    QCOMPARE(w()->Label36->text(), outputDirForm(expected));
    QCOMPARE(w()->Label38->text(), outputDirForm(expected));
    QCOMPARE(QDir::currentPath(), outputDirForm(expected));
}

void TestMainWindow::picker_doubleClickByExtension_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opened");
    QTest::newRow("html") << "sub100.html" << true;
    QTest::newRow("HTM") << "page.HTM" << true;
    QTest::newRow("shtml") << "x.shtml" << true;
    QTest::newRow("mdb") << "hpdata1.mdb" << true;
    QTest::newRow("txt") << "notes.txt" << false;
}

void TestMainWindow::picker_doubleClickByExtension()
{
    QFETCH(QString, file);
    QFETCH(bool, opened);
    QFile(m_dir->filePath(file)).open(QIODevice::WriteOnly);
    w()->File1->refresh();
    QListWidgetItem* item = w()->File1->findItems(file, Qt::MatchExactly).value(0);
    QVERIFY(item);
    w()->show();
    w()->File1->setCurrentItem(item);
    QTest::mouseClick(w()->File1->viewport(), Qt::LeftButton, {}, w()->File1->visualItemRect(item).center());
    QTest::mouseDClick(w()->File1->viewport(), Qt::LeftButton, {}, w()->File1->visualItemRect(item).center());
    const QList<QUrl> expected = opened ? QList<QUrl>{QUrl::fromLocalFile(m_dir->filePath(file))} : QList<QUrl>{};
    QCOMPARE(fake().opened(), expected);
}

void TestMainWindow::dbmake_createsNewDatabase()
{
    const QString path = m_dir->filePath("hpdata1.mdb");
    fake().fileNameNext(path);
    w()->dbmake->trigger();
    QCOMPARE(fake().dialogs(), QStringList{"save\t" + QDir::currentPath() + "\tｱｸｾｽmdbﾌｧｲﾙ|*.mdb|All Files|*.*|\thpdata1.mdb"});
    QVERIFY(fake().messages().isEmpty());
    QVERIFY(fake().questions().isEmpty());
    QCOMPARE(w()->Label1->text(), path);
    QCOMPARE(w()->databasePath(), path);
    QCOMPARE(dirs::rwpgmname(1), path);
    QCOMPARE(readAll(path).size(), 0);
    QVERIFY(itemsOf(w()->File1).contains("hpdata1.mdb"));
}

void TestMainWindow::dbmake_existingFile_no_adoptsUntouched()
{
    const QString path = makeDatabase(m_dir->filePath("old.mdb"), {{0, "k,t", "q", "a"}});
    const QByteArray before = readBytes(path);
    fake().fileNameNext(path);
    fake().answerNext(false);
    w()->dbmake->trigger();
    QCOMPARE(fake().questions(), QStringList{"ファイル上書き確認\t\n" + path + " のファイルに上書きしますか？\n（「いいえ」を指定するとファイル設定のみを行う）\t(default No)"});
    QCOMPARE(readBytes(path), before);
    QCOMPARE(w()->databasePath(), path);
    QCOMPARE(w()->Label1->text(), path);
    QCOMPARE(dirs::rwpgmname(1), path);
}

// Replaced, the old database is in the trash and among the backups.
void TestMainWindow::dbmake_existingFile_yes_replaces()
{
    const QString path = makeDatabase(m_dir->filePath("old.mdb"), {{0, "k,t", "q", "a"}});
    const QByteArray before = readBytes(path);
    fake().fileNameNext(path);
    fake().answerNext(true);
    w()->dbmake->trigger();
    QCOMPARE(readAll(path).size(), 0);
    QCOMPARE(w()->databasePath(), path);
    QCOMPARE(dirs::rwpgmname(1), path);
    const QList<BackupEntry> backups = backupsOf(path);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(backups[0].records, 1);
    QADORA_LINUX_ONLY("the freedesktop trash (Wine has no Recycle Bin: the old file stays beside, as without a trash)");
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("元のファイルはごみ箱に移しました"));
    const QString trashed = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/old.mdb";
    QCOMPARE(readBytes(trashed), before);
}

// Enter on the real question answers いいえ: the database is adopted as it is.
void TestMainWindow::dbmake_enterOnQuestion_keepsTheDatabase()
{
    const QString path = makeDatabase(m_dir->filePath("old.mdb"), {{0, "k,t", "q", "a"}});
    const QByteArray before = readBytes(path);
    showActive(w());
    QtInteraction shown(w());
    fake().showQuestionsWith(&shown);
    fake().fileNameNext(path);
    QString focused;
    const auto question = onNextModal([&](QWidget* modal) {
        focused = modal->focusWidget()->property("text").toString();
        pressOnDialog(modal, Qt::Key_Return);
    });
    w()->dbmake->trigger();
    QCOMPARE(focused, QStringLiteral("いいえ(&N)"));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(w()->databasePath(), path);
    QCOMPARE(dirs::rwpgmname(1), path);
}

// Without a trash (its folder cannot be made) the old file stays beside the new one, under a
// name no file has.
void TestMainWindow::dbmake_yes_withoutTrash_keepsTheFileBeside()
{
    const QString path = makeDatabase(m_dir->filePath("old.mdb"), {{0, "k,t", "q", "a"}});
    writeBytes(m_dir->filePath("old_backup.mdb"), "mine");
    writeBytes(m_dir->filePath("plain"), "");
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath("plain/data")));
    fake().fileNameNext(path);
    fake().answerNext(true);
    w()->dbmake->trigger();
    qputenv("XDG_DATA_HOME", data);
    QCOMPARE(readAll(path).size(), 0);
    QCOMPARE(readAll(m_dir->filePath("old_backup2.mdb")).size(), 1);
    QCOMPARE(readBytes(m_dir->filePath("old_backup.mdb")), QByteArray("mine"));
    QCOMPARE(w()->statusBar()->currentMessage(), "元のファイルは次の名前で残しました：" + m_dir->filePath("old_backup2.mdb"));
}

void TestMainWindow::dbmake_cancel_changesNothing()
{
    fake().fileNameNext(QString());
    w()->dbmake->trigger();
    QCOMPARE(w()->Label1->text(), QString());
    QCOMPARE(dirs::rwpgmname(1), QString());
    QVERIFY(fake().messages().isEmpty());
}

void TestMainWindow::dbdel_presentFile_yes()
{
    const QString path = makeDatabase(m_dir->filePath("a.mdb"));
    m_win = openWindow(path, m_dir->path());
    fake().answerNext(true);
    w()->dbdel->trigger();
    QCOMPARE(fake().questions(), QStringList{"ファイル設定削除確認\tデータベース設定名をクリアします\n" + path + "\nよろしいですか？"});
    QCOMPARE(w()->Label1->text(), QString());
    QCOMPARE(w()->databasePath(), QString());
    QCOMPARE(dirs::rwpgmname(1), QString());
    QVERIFY(QFile::exists(path));
}

void TestMainWindow::dbdel_presentFile_no()
{
    const QString path = makeDatabase(m_dir->filePath("a.mdb"));
    m_win = openWindow(path, m_dir->path());
    fake().answerNext(false);
    w()->dbdel->trigger();
    QCOMPARE(w()->Label1->text(), path);
    QCOMPARE(dirs::rwpgmname(1), path);
}

void TestMainWindow::dbdel_missingFile()
{
    const QString path = makeDatabase(m_dir->filePath("a.mdb"));
    m_win = openWindow(path, m_dir->path());
    // Windows refuses to remove a file the search index is still reading.
    w()->recordSearch()->waitForIndex();
    QVERIFY(QFile::remove(path));
    w()->dbdel->trigger();
    QCOMPARE(fake().messages(), QStringList{"データベースファイルがありません"});
    QCOMPARE(dirs::rwpgmname(1), QString());
    QCOMPARE(w()->Label1->text(), path);
    QCOMPARE(w()->databasePath(), path);
    // The next start shows the start-up message.
    FakeInteraction next;
    main1 again(&next);
    again.Form_Load();
    QCOMPARE(next.messages().size(), 1);
}

// Runs `check` on the modal dialog `open` shows, then closes it.
template<typename Open, typename Check>
void onModal(Open open, Check check)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        check(modal);
        seen = true;
        qobject_cast<QDialog*>(modal)->reject();
    });
    open();
    QVERIFY(seen);
}

void TestMainWindow::japanese_questionButtons()
{
    QtInteraction interaction(w());
    bool answer = true;
    onModal([&] { answer = static_cast<Interaction&>(interaction).ask("削除確認", "リストより削除します。よろしいですか。"); },
            [](QWidget* box) {
                auto* buttons = box->findChild<QDialogButtonBox*>();
                QCOMPARE(buttons->button(QDialogButtonBox::Yes)->text(), QStringLiteral("はい(&Y)"));
                QCOMPARE(buttons->button(QDialogButtonBox::No)->text(), QStringLiteral("いいえ(&N)"));
            });
    QVERIFY(!answer); // closing the box is No
}

// A message shown while a progress box is up comes alone on top and takes the keys; the
// progress box comes back only when the work goes on.
void TestMainWindow::progress_stepsAsideForAMessage()
{
    showActive(w());
    QtInteraction interaction(w());
    std::unique_ptr<Progress> progress = interaction.startProgress("ページを作成しています…", 10);
    progress->advance(1);
    QTest::qWait(600);
    progress->advance(2);
    auto* box = w()->findChild<QProgressDialog*>("progress");
    QVERIFY(box && box->isVisible());
    bool progressHidden = false;
    QString shown;
    const auto notice = onNextModal([&](QWidget* modal) {
        progressHidden = !box->isVisible();
        shown = modal->findChild<QLabel*>("messageText")->text();
        pressOnDialog(modal, Qt::Key_Return);
    });
    interaction.notice("種類フォーマットが違います");
    QVERIFY(progressHidden);
    QCOMPARE(shown, QStringLiteral("種類フォーマットが違います"));
    QVERIFY(!box->isVisible());
    QVERIFY(progress->advance(3));
    QVERIFY(box->isVisible());
}

// Qt's own dialog, in Japanese, and "All Files" lists a file without an extension.
void TestMainWindow::japanese_fileDialog()
{
    QFile(m_dir->filePath("README")).open(QIODevice::WriteOnly);
    QtInteraction interaction(w());
    onModal([&] { interaction.saveFileName(m_dir->path(), "ｱｸｾｽmdbﾌｧｲﾙ|*.mdb|All Files|*.*|", "hpdata1.mdb"); },
            [](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog);
                QCOMPARE(dialog->findChild<QLabel*>("lookInLabel")->text(), QStringLiteral("アドレス:"));
                QCOMPARE(dialog->findChild<QLabel*>("fileTypeLabel")->text(), QStringLiteral("ファイルの種類:"));
                QCOMPARE(dialog->nameFilters(), (QStringList{"ｱｸｾｽmdbﾌｧｲﾙ (*.mdb)", "All Files (*)"}));
                dialog->selectNameFilter("All Files (*)");
                auto* view = dialog->findChild<QListView*>("listView");
                auto listed = [view](const QString& name) {
                    const QModelIndex first = view->model()->index(0, 0, view->rootIndex());
                    return first.isValid() && !view->model()->match(first, Qt::DisplayRole, name, 1, Qt::MatchExactly).isEmpty();
                };
                QTRY_VERIFY(listed("README"));
            });
}

// Paths of 150 Japanese characters in every path label: the window still fits 1024×768.
void TestMainWindow::minimumSize_fitsWithLongPaths()
{
    const QString path = "/" + QStringList(15, QString("日本語のフォルダ名")).join("/");
    QCOMPARE(path.size(), 150);
    for (QLabel* label : {w()->Label1, w()->Label28, w()->Label30, w()->Label36, w()->Label38})
        label->setText(path);
    QDir().mkpath(m_dir->filePath("とても長いフォルダの名前がここにあります"));
    showActive(w());
    for (int tab = 0; tab < w()->SSTab1->count(); ++tab) {
        w()->SSTab1->setCurrentIndex(tab);
        QApplication::processEvents();
        const QSize minimum = w()->minimumSizeHint().expandedTo(w()->minimumSize());
        QVERIFY2(minimum.width() <= 1024 && minimum.height() < 768,
                 qPrintable(QString("tab %1: %2x%3").arg(tab).arg(minimum.width()).arg(minimum.height())));
    }
}

void TestMainWindow::pathLabels_shortenInTheMiddle()
{
    const QString path = "/" + QStringList(15, QString("日本語のフォルダ名")).join("/") + "/hpdata1.mdb";
    w()->resize(1024, 700);
    showActive(w());
    w()->Label1->setText(path);
    QApplication::processEvents();
    auto* label = static_cast<PathLabel*>(w()->Label1);
    const QString shown = label->shownText();
    QCOMPARE(label->text(), path);
    QVERIFY(shown.size() < path.size());
    // Shown with the system's separators ("\" on Windows), kept as it was set.
    QVERIFY(shown.startsWith(QDir::separator() + QString("日本語")) && shown.endsWith("hpdata1.mdb") && shown.contains(QChar(0x2026)));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY(QToolTip::text().contains(QDir::toNativeSeparators(path)));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
