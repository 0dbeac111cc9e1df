// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard, its title and count, its size and place, the databases it
// opens from the recent list, a drop or the command line, one window per database, and the
// previews.
#include "settings/dirs.h"
#include "site/cp932.h"
#include "site/sitegeneration.h"
#include "testenv.h"
#include "ui/appsetup.h"
#include "ui/folderpicker.h"
#include "ui/singleinstance.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace qadora;
using namespace qadora::test;

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        setUpJapanese(*qApp);
    }
    void init();
    void cleanup();

    void shortcuts_keepCaptions();
    void ctrlTab_movesBetweenTabs();
    void ctrlEnter_addsAndSaves();
    void escape_closesHelpAndVersionBox();
    void tabOrder_data();
    void tabOrder();
    void titleAndCount_followTheDatabase();
    void recent_opensAndForgetsMissing();
    void drop_opensDatabaseNotText();
    void geometry_remembered_fitsScreen();
    void smallWindow_everyControlReachable();
    void icon_isTheProgramsOwn();
    void preview_writesSiteIntoTemporaryFolder();
    void previewRecord_showsUnsavedEdits();
    void preview_browserDoesNotStart_namesThePage_data();
    void preview_browserDoesNotStart_namesThePage();
    void preview_folderCannotBeTakenByAnotherAccount();
    void commandLine_versionHelpAndOneWindowPerDatabase();

private:
    std::unique_ptr<Window> m_win;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
};

namespace {

const QList<Record> kRecords{
    {0, "sub100,初級編", "ログインできません", "パスワードを再設定して下さい。"},
    {0, "sub100,初級編", "料金はいくらですか", "月額５００円です。"},
    {0, "sub200,中級編", "退会したい", "設定画面から<br>\r\n手続きできます。"},
};

// The control has the ring that shows where the focus is.
bool ringed(const QWidget* control)
{
    const QList<QFocusFrame*> rings = control->window()->findChildren<QFocusFrame*>();
    return std::any_of(rings.begin(), rings.end(), [&](const QFocusFrame* r) { return r->isVisible() && r->widget() == control; });
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    pressKey(focus, key, modifiers);
}

} // namespace

void TestFrame::init()
{
    clearSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QDir().mkpath(m_dir->filePath("out"));
    m_db = makeDatabase(m_dir->filePath("hpdata1.mdb"), kRecords);
    m_win = openWindow(m_db, m_dir->filePath("out"));
    showActive(w());
}

void TestFrame::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    m_dir.reset();
}

void TestFrame::shortcuts_keepCaptions()
{
    QCOMPARE(w()->dbmake->text(), QStringLiteral("データベースの指定"));
    QCOMPARE(w()->eend->text(), QStringLiteral("終了"));
    QCOMPARE(w()->setumei->text(), QStringLiteral("説明"));

    w()->Command5->setFocus();
    fake().fileNameNext(QString()); // the dialog of データベースの指定, cancelled
    press(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(fake().dialogs().size(), 1);
    QVERIFY(fake().dialogs().first().startsWith("save\t"));

    press(Qt::Key_F1);
    QVERIFY(w()->helpWindow() && w()->helpWindow()->isVisible());
    w()->helpWindow()->close();
    QApplication::processEvents();

    w()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w()));
    w()->Command5->setFocus();
    press(Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w()->isVisible());
}

void TestFrame::ctrlTab_movesBetweenTabs()
{
    w()->Command17->setFocus();
    for (int expected : {1, 2, 3, 4, 5, 0}) {
        press(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w()->SSTab1->currentIndex(), expected);
    }
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w()->SSTab1->currentIndex(), 5);
    // From inside the answer box too, where Tab alone is a character.
    w()->SSTab1->setCurrentIndex(1);
    w()->rtext1->setFocus();
    press(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(w()->SSTab1->currentIndex(), 2);
}

void TestFrame::ctrlEnter_addsAndSaves()
{
    w()->SSTab1->setCurrentIndex(1);
    w()->Combo1->setEditText(QStringLiteral("sub300,上級編"));
    w()->Text1->setFocus();
    typeText(w()->Text1, QStringLiteral("新しい質問"));
    w()->rtext1->setFocus();
    typeText(w()->rtext1, QStringLiteral("新しい答え"));
    press(Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(readAll(m_db).size(), 4);
    QCOMPARE(readAll(m_db).last().anser, QStringLiteral("新しい答え"));
    QCOMPARE(w()->rtext1->toPlainText(), QString()); // added and emptied, no line break typed

    w()->SSTab1->setCurrentIndex(3);
    w()->Command2->click();
    w()->List3->setCurrentRow(1);
    w()->Command9->click();
    w()->Text5->setFocus();
    w()->Text5->selectAll();
    typeText(w()->Text5, QStringLiteral("月額６００円です。"));
    press(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(readAll(m_db)[1].anser, QStringLiteral("月額６００円です。"));
    QCOMPARE(fake().messages(), QStringList{"データを変更しました"});
}

void TestFrame::escape_closesHelpAndVersionBox()
{
    w()->setumei->trigger();
    QWidget* help = w()->helpWindow();
    QApplication::setActiveWindow(help);
    QCOMPARE(QApplication::activeWindow(), help);
    press(Qt::Key_Escape);
    QTRY_VERIFY(!w()->helpWindow());

    QtInteraction real(w());
    bool closed = false;
    bool focusShown = false;
    QTimer::singleShot(100, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        focusShown = box->focusWidget() && ringed(box->focusWidget());
        QTest::keyClick(box, Qt::Key_Escape);
        closed = !box->isVisible();
    });
    real.information(QStringLiteral("Qadora"));
    QVERIFY(closed);
    QVERIFY(focusShown);
}

void TestFrame::tabOrder_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("display") << 0 << QStringList{"Command17", "List8", "Option1", "Command18", "searchDisplay", "List9"};
    QTest::newRow("entry") << 1 << QStringList{"Combo1", "Command12", "renameKind", "Text1", "rtext1", "Check1", "Command26", "Command3", "Command4", "List1"};
    QTest::newRow("delete") << 2 << QStringList{"Command5", "searchDelete", "List2", "Command6", "Text6", "Text7", "Text2", "Command7", "Command8"};
    QTest::newRow("modify") << 3 << QStringList{"Command2", "searchModify", "List3", "Check3", "Command25", "List12", "Command9", "Text3",
                                                "Text4", "Text5", "Command10", "Command11", "previewRecord"};
    QTest::newRow("html") << 4 << QStringList{"Text8", "Text15", "Text12", "Text10", "Option5", "Check2", "Check5", "siteAddress", "Command13", "List4", "Command14",
                                              "preview", "Dir1", "File1", "Command1", "browseDir", "Text9", "Command15", "Command16", "Check4"};
    QTest::newRow("databases") << 5 << QStringList{"Command19", "Command20", "List11", "Text11", "Command22", "Text13", "Text14", "Command21",
                                                   "Command23", "Command24"};
}

void TestFrame::tabOrder()
{
    QFETCH(int, tab);
    QFETCH(QStringList, order);
    w()->SSTab1->setCurrentIndex(tab);
    QWidget* first = w()->findChild<QWidget*>(order.first());
    first->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (qsizetype i = 0; i < order.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        // A combo box's line edit stands for the combo box; one stop for each group of options.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        visited << (focus ? focus->objectName() : QString());
        QVERIFY2(ringed(QApplication::focusWidget()), qPrintable(visited.last()));
        press(Qt::Key_Tab);
    }
    QCOMPARE(visited.join(" "), order.join(" "));
}

void TestFrame::titleAndCount_followTheDatabase()
{
    QCOMPARE(w()->windowTitle(), QStringLiteral("hpdata1.mdb - Qadora"));
    auto* count = w()->findChild<QLabel*>("recordCount");
    QCOMPARE(count->text(), QStringLiteral("データ件数：3件"));
    w()->Combo1->setEditText(QStringLiteral("sub1,a"));
    w()->Text1->setText(QStringLiteral("q"));
    w()->rtext1->setPlainText(QStringLiteral("a"));
    w()->Command3->click();
    QCOMPARE(count->text(), QStringLiteral("データ件数：4件"));
    // Another program's change is seen without anything pressed.
    runSqlite(m_db, "DELETE FROM tbl1;");
    QTRY_COMPARE(count->text(), QStringLiteral("データ件数：0件"));
    // The count is a widget of its own: messages in the status bar leave it.
    w()->statusBar()->showMessage(QStringLiteral("10 ページ中 2 ページを更新"));
    QCOMPARE(count->text(), QStringLiteral("データ件数：0件"));

    fake().answerNext(true);
    w()->dbdel->trigger();
    QCOMPARE(w()->windowTitle(), QStringLiteral("Qadora"));
    QCOMPARE(count->text(), QString());
}

void TestFrame::recent_opensAndForgetsMissing()
{
    QStringList dbs;
    for (int i = 0; i < 9; ++i) {
        dbs << makeDatabase(m_dir->filePath(QStringLiteral("db%1.sqlite").arg(i)), {{0, "k,1", QString::number(i), "a"}});
        QVERIFY(w()->openDatabase(dbs.last()));
    }
    QCOMPARE(w()->windowTitle(), QStringLiteral("db8.sqlite - Qadora"));
    emit w()->recent->aboutToShow();
    QStringList entries;
    for (QAction* a : w()->recent->actions())
        entries << a->text();
    QCOMPARE(entries.size(), 8);
    QCOMPARE(entries.first(), "&1 " + dbs[8]);
    QCOMPARE(entries.last(), "&8 " + dbs[1]);

    w()->recent->actions()[3]->trigger(); // db5
    QCOMPARE(w()->databasePath(), dbs[5]);
    QCOMPARE(w()->Label1->text(), dbs[5]);
    QCOMPARE(dirs::rwpgmname(1), dbs[5]);

    QVERIFY(soon([&] { return QFile::remove(dbs[7]); })); // once no search index reads it
    emit w()->recent->aboutToShow();
    w()->recent->actions()[2]->trigger(); // db7, gone
    QCOMPARE(fake().messages(), QStringList{"データベースファイルが見つかりません\r" + dbs[7]});
    QCOMPARE(w()->databasePath(), dbs[5]);
    emit w()->recent->aboutToShow();
    const QList<QAction*> left = w()->recent->actions();
    QVERIFY(std::none_of(left.begin(), left.end(), [&](QAction* a) { return a->text().endsWith(dbs[7]); }));
}

void TestFrame::drop_opensDatabaseNotText()
{
    // The same question as a record of this database, with another answer.
    const QString other = makeDatabase(m_dir->filePath("other.mdb"), {{0, "k,1", "ログインできません", "よその答え"}});
    const QString text = m_dir->filePath("notes.txt");
    QVERIFY(writeBytes(text, "notes"));
    auto drop = [&](QWidget* target, const QString& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        mime.setText(file);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QApplication::processEvents();
        return dropped.isAccepted();
    };
    // A record loaded for a change and one for deletion, before the switch.
    for (auto [list, load] : {std::pair(w()->List3, w()->Command9), std::pair(w()->List2, w()->Command6)}) {
        (list == w()->List3 ? w()->Command2 : w()->Command5)->click();
        list->setCurrentRow(0);
        load->click();
    }
    QTest::mouseClick(w()->Text5, Qt::LeftButton);
    typeText(w()->Text5, QStringLiteral("追記"));
    // On a text box the database is opened; its name is not typed into the box.
    QVERIFY(drop(w()->Text1, other));
    QCOMPARE(w()->databasePath(), other);
    QCOMPARE(w()->Text1->text(), QString());
    QCOMPARE(w()->windowTitle(), QStringLiteral("other.mdb - Qadora"));
    // They belong to the database they were read from: neither changes the other's record.
    w()->Command10->click();
    w()->Command7->click();
    const QString refused = "表示しているデータは別のデータベースのものです。\r次のデータベースに切り替えてから、もう一度実行して下さい\r" + m_db;
    QCOMPARE(fake().messages(), (QStringList{refused, refused}));
    QCOMPARE(readAll(other).first().anser, QStringLiteral("よその答え"));
    QVERIFY(w()->Text5->toPlainText().startsWith(QStringLiteral("追記")));
    QVERIFY(drop(w()->List9, m_db));
    QCOMPARE(w()->databasePath(), m_db);
    w()->Command10->click();
    QCOMPARE(readAll(m_db).first().anser, QStringLiteral("追記パスワードを再設定して下さい。"));
    QVERIFY(!drop(w()->List9, text));
    QCOMPARE(w()->databasePath(), m_db);
}

void TestFrame::geometry_remembered_fitsScreen()
{
    const QRect area = w()->screen()->availableGeometry();
    QVERIFY(area.contains(w()->geometry()));
    w()->setGeometry(QRect(area.topLeft() + QPoint(20, 30), QSize(700, 500)));
    w()->close();
    auto second = openWindow(m_db);
    QCOMPARE(second->w->size(), QSize(700, 500));
    QCOMPARE(second->w->SSTab1->currentIndex(), 0);
    // A size saved on a bigger screen shrinks to this one.
    second->w->setGeometry(QRect(area.topLeft(), area.size() * 2));
    second->w->close();
    auto third = openWindow(m_db);
    QVERIFY(third->w->width() <= area.width() && third->w->height() <= area.height());
}

void TestFrame::smallWindow_everyControlReachable()
{
    // The tabs scroll: the window itself can be as small as a scaled laptop screen's corner.
    const QSize minimum = w()->minimumSizeHint().expandedTo(w()->minimumSize());
    QVERIFY2(minimum.width() <= 480 && minimum.height() <= 320, qPrintable(QString("%1x%2").arg(minimum.width()).arg(minimum.height())));
    w()->resize(480, 320);
    QApplication::processEvents();
    QCOMPARE(w()->size(), QSize(480, 320));
    for (int tab = 0; tab < w()->SSTab1->count(); ++tab) {
        w()->SSTab1->setCurrentIndex(tab);
        auto* area = qobject_cast<QScrollArea*>(w()->SSTab1->currentWidget());
        QVERIFY(area);
        for (QWidget* control : area->widget()->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(area->widget()) || !(control->focusPolicy() & Qt::TabFocus) || control->objectName().isEmpty())
                continue;
            control->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QRect shown(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
            QVERIFY2(area->viewport()->rect().intersects(shown), qPrintable(control->objectName()));
        }
    }
}

void TestFrame::icon_isTheProgramsOwn()
{
    QVERIFY(!w()->windowIcon().isNull());
    QVERIFY(!w()->windowIcon().pixmap(32).isNull());
}

void TestFrame::preview_writesSiteIntoTemporaryFolder()
{
    w()->SSTab1->setCurrentIndex(4);
    w()->Text15->setText(QStringLiteral("よくある質問"));
    w()->Option5->setChecked(true);
    w()->preview->click();
    QCOMPARE(fake().messages(), QStringList{});
    QCOMPARE(fake().opened().size(), 1);
    const QString index = fake().opened().first().toLocalFile();
    QVERIFY(index.endsWith("/index.html"));
    const QString folder = QFileInfo(index).path();
    QVERIFY(folder != w()->Dir1->path());
    // The same pages ＨＰ作成 writes with these settings; nothing in the output folder.
    QTemporaryDir reference;
    SiteOptions options;
    options.outDir = reference.path();
    options.index = IndexSettings{QStringLiteral("よくある質問"), QStringLiteral("http://"), QString(), PageStyle{false, false, true}};
    generateSite(m_db, options, [](const QString&) {});
    QFile::remove(manifestPath(reference.path()));
    QCOMPARE(filesBelow(folder), filesBelow(reference.path()));
    QVERIFY(filesBelow(w()->Dir1->path()).isEmpty());
    QVERIFY(!QFile::exists(manifestPath(folder)));

    w()->Text8->clear();
    w()->preview->click();
    QCOMPARE(fake().messages(), QStringList{kIndexNameMissingMessage});
}

void TestFrame::previewRecord_showsUnsavedEdits()
{
    w()->SSTab1->setCurrentIndex(3);
    w()->previewRecord->click();
    QCOMPARE(fake().messages(), QStringList{"プレビューするデータを「③修正データの表示」で表示させて下さい"});
    fake().clear();
    w()->Command2->click();
    w()->List3->setCurrentRow(2);
    w()->Command9->click();
    w()->Text5->setFocus();
    QTest::keyClick(w()->Text5, Qt::Key_End, Qt::ControlModifier);
    typeText(w()->Text5, QStringLiteral("\nお待ちしています"));
    w()->previewRecord->click();
    QCOMPARE(fake().messages(), QStringList{});
    QCOMPARE(fake().opened().size(), 1);
    const QString page = fake().opened().first().toLocalFile();
    QVERIFY(page.endsWith("/qa003.html"));
    const QString html = cp932::decode(readBytes(page));
    QVERIFY2(html.contains(QStringLiteral("設定画面から<br>\r\n手続きできます。<br>\r\nお待ちしています")), qPrintable(html));
    QCOMPARE(readAll(m_db)[2].anser, QStringLiteral("設定画面から<br>\r\n手続きできます。"));
}

void TestFrame::preview_browserDoesNotStart_namesThePage_data()
{
    QTest::addColumn<bool>("record");
    QTest::newRow("プレビュー") << false;
    QTest::newRow("ページのプレビュー") << true;
}

void TestFrame::preview_browserDoesNotStart_namesThePage()
{
    QFETCH(bool, record);
    fake().browserFails();
    if (record) {
        w()->SSTab1->setCurrentIndex(3);
        w()->Command2->click();
        w()->List3->setCurrentRow(2);
        w()->Command9->click();
        fake().clear();
        w()->previewRecord->click();
    } else {
        w()->preview->click();
    }
    QCOMPARE(fake().opened().size(), 1);
    const QString page = fake().opened().first().toLocalFile();
    QVERIFY(page.endsWith(record ? "/qa003.html" : "/index.html"));
    QVERIFY(QFile::exists(page));
    QCOMPARE(fake().messages(), QStringList{QStringLiteral("ブラウザを起動できませんでした。ページは次の場所に作成しました\r") + page});
}

// Another account races for the preview folder's name all through many previews and the
// close: the folder stays the one made for this window (0700), and what a planted link would
// lead to is never touched.
void TestFrame::preview_folderCannotBeTakenByAnotherAccount()
{
    QADORA_LINUX_ONLY("a second account (setpriv) and symbolic links; on Windows the user's temporary folder is the user's own by its access list");
#ifndef Q_OS_WIN
    const QString precious = m_dir->filePath("precious");
    QDir().mkpath(precious + "/inner");
    QVERIFY(writeBytes(precious + "/keep.txt", "the user's own"));
    QVERIFY(writeBytes(precious + "/inner/deep.txt", "deeper"));
    const auto before = filesBelow(precious);
    w()->preview->click();
    QCOMPARE(fake().opened().size(), 1);
    const QString folder = QFileInfo(fake().opened().first().toLocalFile()).path();
    QProcess stranger;
    stranger.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c",
                               "while :; do ln -s \"$1\" \"$2\" 2>/dev/null; mkdir \"$2\" 2>/dev/null; "
                               "ln -s \"$1\" \"$2/index.html\" 2>/dev/null; done",
                               "sh", precious, folder});
    QVERIFY(stranger.waitForStarted());
    for (int i = 0; i < 40; ++i) {
        w()->preview->click();
        QCOMPARE(fake().opened().last().toLocalFile(), folder + "/index.html");
        const QFileInfo info(folder);
        QVERIFY(info.isDir() && !info.isSymLink() && info.ownerId() == ::geteuid());
        QCOMPARE(int(info.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther | QFile::ReadGroup
                                            | QFile::WriteGroup | QFile::ExeGroup)),
                 0);
    }
    QCOMPARE(fake().messages(), QStringList{});
    m_win.reset(); // the close removes the folder
    stranger.kill();
    stranger.waitForFinished();
    if (QFileInfo(folder).isSymLink())
        QFile::remove(folder); // the stranger's, made after the folder was gone
    else if (QFileInfo(folder).isDir() && QFileInfo(folder).ownerId() != ::geteuid())
        QDir(folder).removeRecursively();
    QCOMPARE(filesBelow(precious), before);
    m_win = openWindow(m_db, m_dir->filePath("out"));
#endif
}

void TestFrame::commandLine_versionHelpAndOneWindowPerDatabase()
{
    auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(10000);
        QString out = QString::fromUtf8(p.readAllStandardOutput());
#ifdef Q_OS_WIN
        out.replace(QLatin1String("\r\n"), QLatin1String("\n")); // console text lines end in CR LF there
#endif
        return std::make_pair(p.exitCode(), out);
    };
    QCOMPARE(run(QADORA_EXE, {"--version"}), std::make_pair(0, QStringLiteral("Qadora " QADORA_VERSION "\n")));
    QCOMPARE(run(QADORA_BUILD_EXE, {"--version"}), std::make_pair(0, QStringLiteral("qadora-build " QADORA_VERSION "\n")));
    QCOMPARE(run(QADORA_PUBLISH_EXE, {"--version"}), std::make_pair(0, QStringLiteral("qadora-publish " QADORA_VERSION "\n")));
    QVERIFY(run(QADORA_EXE, {"--help"}).second.contains("[FILE]"));

    // qadora FILE opens FILE; a second start on it brings the first window forward and ends.
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
#ifdef Q_OS_WIN
    env.insert("APPDATA", QDir::toNativeSeparators(config.path()));
#endif
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString other = makeDatabase(m_dir->filePath("other.mdb"), {{0, "k,1", "q", "a"}});
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QADORA_EXE, {other});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::activateOther(other), 10000);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QADORA_EXE, {other});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QSettings stored(config.filePath("Qadora/Qadora.conf"), QSettings::IniFormat);
    QCOMPARE(stored.value("startup/pgmname2").toString(), other);
    first.kill();
    first.waitForFinished();
}

QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
