// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/trash.h"
#include "settings/dirs.h"
#include "settings/sitesettings.h"
#include "site/sitegeneration.h"
#include "store/recordstore.h"
#include "site/pagefile.h"
#include "platform/platform.h"
#include "testenv.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QSettings>
#include <QTreeWidgetItemIterator>
#include <QTabWidget>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QProgressDialog>
#include <QStatusBar>
#include <QRegularExpression>
#include <QDialogButtonBox>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#ifndef Q_OS_WIN
#include <csignal>
#endif

using namespace qadora;
using namespace qadora::test;

namespace {
const QString kDone = QStringLiteral("ｈｔｍｌ作成しました");
const QString kMalformed = QStringLiteral("種類フォーマットが違います。半角カンマで区切られていません");

// Every local link of every page of `dir` that names no file there: "page -> target".
QStringList danglingLinks(const QString& dir)
{
    QStringList dangling;
    const QRegularExpression link("href=\"([^\"]*)\"", QRegularExpression::CaseInsensitiveOption);
    for (const QString& page : QDir(dir).entryList({"*.html", "*.htm"}, QDir::Files)) {
        const QString text = QString::fromLatin1(readBytes(dir + "/" + page));
        for (auto it = link.globalMatch(text); it.hasNext();) {
            QString target = it.next().captured(1);
            if (target.contains(':') || target.startsWith('#'))
                continue; // another site, or a place on this page
            target = target.section('#', 0, 0).section('?', 0, 0);
            if (!QFileInfo::exists(dir + "/" + target))
                dangling << page + " -> " + target;
        }
    }
    return dangling;
}

// What a command-line run wrote to its standard error, its lines ended by "\n" alone: a
// Windows console program ends them with CR LF, as the C runtime's text mode writes them.
QString errorText(QProcess& p)
{
    return QString::fromUtf8(p.readAllStandardError()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// Whether the desktop's trash takes files here: Wine's Recycle Bin takes none (every file is
// then kept, said so), a Linux desktop's and a real Windows' take them.
bool trashTakesFiles(const QString& dir)
{
    const QString probe = dir + "/trash-probe.txt";
    QFile(probe).open(QIODevice::WriteOnly);
    const bool taken = QFile::moveToTrash(probe);
    QFile::remove(probe);
    return taken;
}

// The window works in its output folder (its current folder), which Windows keeps from being
// moved or removed: a test that moves it away steps out of it first.
bool stepOutOf(const QString& dir)
{
    return QDir::setCurrent(QFileInfo(dir).absolutePath());
}

// Records for the runs that must last: under Wine every new page costs a scan of the whole
// folder (names are matched without regard to case on a disk that keeps it), so fewer there,
// still far more than a run has written when the test acts on it.
int longRun()
{
    return platform::windowsFileNames() ? 5000 : 20000;
}

} // namespace

class TestGeneration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void refusedWithoutListing_copiesReturnFieldsFirst();
    void wholeSite_frameless();
    void staleListing_writesEveryLinkedPage();
    void deletedAfterListing_stopsAtLastRecord();
    void restrictedListing_secondRunWritesEveryPage();
    void secondRun_replacesEveryPage();
    void emptyIndexName_stillCompletes();
    void malformedKind_messagesInOrder();
    void sameSubIndexName_laterKindWins();
    void invalidSubIndexName_stopsRun();
    void readOnlyOutputDirectory_stopsRun();
    void outputDirectoryRemoved_stopsRun();

    void makeDirectory_data();
    void makeDirectory();
    void deleteAllFiles_keepsSubdirectories();
    void deleteAllFiles_no_keepsEverything();
    void deleteAllFiles_enterKeepsEverything();
    void deleteAllFiles_keepsWhatMustStay();
    void deleteAllFiles_refusesTheHomeFolder();
    void enterKeys_moveFocusOnly();

    void commandLine_writesWhatTheWindowWrites_data();
    void commandLine_writesWhatTheWindowWrites();
    void commandLine_failedWrite_stopsWithOneMessage();
    void commandLine_exitCodes_data();
    void commandLine_exitCodes();

    void deleteAllFiles_takesDotFiles();
    void longestNames_areWritten();
    void killedRun_leftoversRemovedByNextRun();
    void stoppedRun_restoresListing();
    void commandLine_oneSnapshotBesideAWriter();
    void commandLine_saysWhatIsWrong_data();
    void commandLine_saysWhatIsWrong();

    void regeneration_leavesUnchangedPagesAlone();
    void prune_removesOnlyPagesOfEarlierRuns_data();
    void prune_removesOnlyPagesOfEarlierRuns();
    void progress_showsOnALongRun();
    void progress_cancelStopsTheRun();
    void progress_closedBeforeTheCompletionMessage();

    void settings_restartRestoresTheFolders_andRebuildWritesNothing();
    void settings_followTheFolderChosen();
    void settings_phonesForAFolderNeverUsed();
    void settings_twoWindowsKeepEachOthersChanges();
    void homeFolder_asksFirst_data();
    void homeFolder_asksFirst();
    void browseDir_choosesAsADoubleClickDoes();

private:
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    void open(const QList<Record>& records);
    void generate(bool listFirst = true);

    QTemporaryDir* m_dir = nullptr;
    QString m_db;
    QString m_out;
    std::unique_ptr<Window> m_win;
};

void TestGeneration::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    m_out = m_dir->filePath("site");
    QDir().mkpath(m_out);
    open({{0, "sub100,初級編", "最初の質問", "答え1"}, {0, "sub200,中級編", "二番目", "答え2"}, {0, "sub100,初級編", "三番目", "答え3"}});
}

void TestGeneration::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    delete m_dir;
}

void TestGeneration::open(const QList<Record>& records)
{
    m_db = makeDatabase(m_dir->filePath("qa.mdb"), records);
    m_win = openWindow(m_db, m_out);
}

void TestGeneration::generate(bool listFirst)
{
    if (listFirst)
        QTest::mouseClick(w()->Command13, Qt::LeftButton);
    QTest::mouseClick(w()->Command14, Qt::LeftButton);
}

void TestGeneration::refusedWithoutListing_copiesReturnFieldsFirst()
{
    w()->Text12->setText("http://example.jp/");
    w()->Text10->setText("HOME");
    generate(false);
    QCOMPARE(fake().messages(), QStringList{"「データ表示」ボタンを押してデータを表示させて下さい"});
    QCOMPARE(w()->Text13->text(), QStringLiteral("http://example.jp/"));
    QCOMPARE(w()->Text14->text(), QStringLiteral("HOME"));
    QVERIFY(QDir(m_out).isEmpty());
}

void TestGeneration::wholeSite_frameless()
{
    generate();
    QCOMPARE(fake().messages(), QStringList{kDone});
    QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"index.html", "qa001.html", "qa002.html", "qa003.html", "sub100.html", "sub200.html"}));
    QCOMPARE(itemsOf(w()->File1), QDir(m_out).entryList(QDir::Files));
    // Afterwards List4 holds every question again.
    QCOMPARE(itemsOf(w()->List4), (QStringList{"最初の質問", "二番目", "三番目"}));
    QCOMPARE(w()->Label9->text(), QStringLiteral("3"));
    QCOMPARE(itemsOf(w()->List5), (QStringList{"2"})); // left by the last kind's listing
    QCOMPARE(w()->Combo2->count(), 2);
    const QByteArray sub = readBytes(m_out + "/sub100.html");
    QVERIFY(sub.contains("<A href=\"qa001.html\">\r\n"));
    QVERIFY(sub.contains("<A href=\"qa003.html\">\r\n"));
    QVERIFY(!sub.contains("qa002"));
}

// Records added after the listing get their pages: the index and sub-index pages link to them.
void TestGeneration::staleListing_writesEveryLinkedPage()
{
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    w()->Combo1->setEditText("sub100,初級編");
    w()->Text1->setText("後から");
    w()->rtext1->setPlainText("x");
    QTest::mouseClick(w()->Command3, Qt::LeftButton); // データの追加
    generate(false);
    QCOMPARE(fake().messages(), QStringList{kDone});
    QVERIFY(QFile::exists(m_out + "/qa004.html"));
    QVERIFY(readBytes(m_out + "/sub100.html").contains("qa004.html"));
    QCOMPARE(danglingLinks(m_out), QStringList());
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("7 ページ中 7 ページを更新"));
    QCOMPARE(w()->List4->count(), 4); // refilled at the end
}

void TestGeneration::deletedAfterListing_stopsAtLastRecord()
{
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    StoreStatus status;
    QVERIFY(openStore(m_db, &status)->removeFirstByQuestion("二番目").ok());
    generate(false);
    QCOMPARE(fake().messages(), QStringList{kDone});
    QCOMPARE(QDir(m_out).entryList({"qa*"}), (QStringList{"qa001.html", "qa003.html"}));
}

// A listing of one kind left in List4 does not limit the next run.
void TestGeneration::restrictedListing_secondRunWritesEveryPage()
{
    w()->Check3->setChecked(true);
    QTest::mouseClick(w()->Command25, Qt::LeftButton);
    w()->List12->setCurrentRow(1); // sub200: one record
    generate();
    QCOMPARE(itemsOf(w()->List4), QStringList{"二番目"});
    QDir(m_out).removeRecursively();
    QDir().mkpath(m_out);
    generate(false);
    QCOMPARE(QDir(m_out).entryList({"qa*"}), (QStringList{"qa001.html", "qa002.html", "qa003.html"}));
    QCOMPARE(danglingLinks(m_out), QStringList());
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("6 ページ中 6 ページを更新"));
}

void TestGeneration::secondRun_replacesEveryPage()
{
    generate();
    const auto first = filesBelow(m_out);
    w()->Option5->setChecked(true);
    generate();
    const auto second = filesBelow(m_out);
    QCOMPARE(second.keys(), first.keys()); // no temporary files left
    for (const QString& name : first.keys())
        QVERIFY2(first[name] != second[name], qPrintable(name));
}

void TestGeneration::emptyIndexName_stillCompletes()
{
    w()->Text8->clear();
    generate();
    QCOMPARE(fake().messages(), (QStringList{"indexファイル名を入れて下さい", kDone}));
    QVERIFY(!QFile::exists(m_out + "/index.html"));
    QVERIFY(!QFile::exists(m_out + "/sub100.html")); // Combo2 was never filled
    QVERIFY(QFile::exists(m_out + "/qa001.html"));
}

void TestGeneration::malformedKind_messagesInOrder()
{
    open({{0, "a,1", "q1", "x"}, {0, "bad", "q2", "x"}, {0, "c,3", "q3", "x"}, {0, "bad", "q4", "x"}});
    generate();
    QCOMPARE(fake().messages(), (QStringList{kMalformed, kMalformed, kMalformed + "\rbad", kMalformed, kDone}));
    QCOMPARE(QDir(m_out).entryList({"*.html"}), (QStringList{"a.html", "index.html", "qa001.html", "qa003.html"}));
}

void TestGeneration::sameSubIndexName_laterKindWins()
{
    open({{0, "sub100,初級編", "q1", "x"}, {0, "sub100,初級", "q2", "x"}});
    generate();
    const QByteArray page = readBytes(m_out + "/sub100.html");
    QVERIFY(page.contains("qa001.html")); // "sub100,初級編" sorts after "sub100,初級"
    QVERIFY(!page.contains("qa002.html"));
}

void TestGeneration::invalidSubIndexName_stopsRun()
{
    open({{0, "../evil,t", "q1", "x"}, {0, "z,t", "q2", "x"}});
    generate();
    QCOMPARE(fake().messages().size(), 1);
    QCOMPARE(fake().messages()[0], QStringLiteral("ファイル名に「/」や「\\」は使えません\r../evil.html"));
    QVERIFY(!QFile::exists(m_dir->filePath("evil.html")));
}

void TestGeneration::readOnlyOutputDirectory_stopsRun()
{
    QADORA_LINUX_ONLY("a read-only disk made with a tmpfs");
    const QString ro = m_dir->filePath("ro");
    QDir().mkpath(ro);
    if (!mountTmpfs(ro, "ro,size=64k"))
        QSKIP("mounting a tmpfs is not permitted here");
    QVERIFY(w()->Dir1->setPath(ro));
    generate();
    unmount(ro);
    QCOMPARE(fake().messages().size(), 1);
    QVERIFY(fake().messages()[0].startsWith("ファイルを作成できませんでした\r" + ro + "/qa001.html\r"));
}

void TestGeneration::outputDirectoryRemoved_stopsRun()
{
    // The directory goes while the message about record 2 is open: page 3 cannot be written.
    open({{0, "a,1", "q1", "x"}, {0, "bad", "q2", "x"}, {0, "a,1", "q3", "x"}});
    const QString gone = m_dir->filePath("gone");
    QDir().mkpath(gone);
    QVERIFY(w()->Dir1->setPath(gone));
    fake().onNotice = [&](const QString& text) {
        if (text == kMalformed && stepOutOf(gone))
            QDir(gone).removeRecursively();
    };
    generate();
    QCOMPARE(fake().messages().size(), 2);
    QCOMPARE(fake().messages()[0], kMalformed);
    QVERIFY(fake().messages()[1].startsWith("ファイルを作成できませんでした\r" + gone + "/qa003.html\r"));
    QVERIFY(!QFileInfo::exists(gone));
}

void TestGeneration::makeDirectory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("new") << "web" << false << true << QStringList{};
    QTest::newRow("existing is entered") << "web" << true << true << QStringList{};
    QTest::newRow("empty name") << "" << false << false << QStringList{"下に作成するﾃﾞｨﾚｸﾄﾘ名を入れてください"};
    QTest::newRow("two levels") << "a/b" << false << false
                                << QStringList{"ﾃﾞｨﾚｸﾄﾘ名に「/」や「\\」は使えません（１階層ずつ作成して下さい）\ra/b"};
    QTest::newRow("out of the folder") << "../escaped" << false << false
                                       << QStringList{"ﾃﾞｨﾚｸﾄﾘ名に「/」や「\\」は使えません（１階層ずつ作成して下さい）\r../escaped"};
    QTest::newRow("parent") << ".." << false << false << QStringList{"ﾃﾞｨﾚｸﾄﾘ名に「.」や「..」は使えません\r.."};
}

void TestGeneration::makeDirectory()
{
    QFETCH(QString, name);
    QFETCH(bool, existing);
    QFETCH(bool, moves);
    QFETCH(QStringList, messages);
    if (existing)
        QDir(m_out).mkdir(name);
    w()->Text9->setText(name);
    QTest::mouseClick(w()->Command15, Qt::LeftButton);
    const QString expected = moves ? m_out + "/" + name : m_out;
    QCOMPARE(w()->Dir1->path(), expected);
    QCOMPARE(w()->Label36->text(), expected);
    QCOMPARE(fake().messages(), messages);
    QCOMPARE(w()->Text9->text(), name);
    QVERIFY(!QFileInfo::exists(m_dir->filePath("escaped")));
}

void TestGeneration::deleteAllFiles_keepsSubdirectories()
{
    if (!trashTakesFiles(m_dir->path()))
        QSKIP("the desktop's trash takes no file here (Wine has no Recycle Bin)");
    generate();
    QDir(m_out).mkpath("keep/inner");
    QFile(m_out + "/keep/inner/page.html").open(QIODevice::WriteOnly);
    // Written after the list was shown: the question is about what is there now.
    QFile(m_out + "/late.html").open(QIODevice::WriteOnly);
    fake().clear();
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QCOMPARE(fake().questions(), QStringList{"全ファイル削除確認\t" + m_out + "\rディレクトリ中の全ファイルを削除します\t(default No)"});
    QVERIFY(QDir(m_out).entryList(QDir::Files).isEmpty());
    QVERIFY(QFile::exists(m_out + "/keep/inner/page.html"));
    QCOMPARE(w()->File1->count(), 0);
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("7 個のファイルをごみ箱に移しました"));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    QVERIFY(QFile::exists(trash + "late.html") && QFile::exists(trash + "sub200.html"));
    // With nothing listed, only the question is asked.
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QVERIFY(QFile::exists(m_out + "/keep/inner/page.html"));
}

void TestGeneration::deleteAllFiles_no_keepsEverything()
{
    generate();
    fake().answerNext(false);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 6);
}

// Enter on the real question answers いいえ.
void TestGeneration::deleteAllFiles_enterKeepsEverything()
{
    generate();
    showActive(w());
    QtInteraction shown(w());
    fake().showQuestionsWith(&shown);
    QString title;
    const auto question = onNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        pressOnDialog(modal, Qt::Key_Return);
    });
    w()->Command16->setFocus();
    pressKey(w()->Command16, Qt::Key_Return);
    QCOMPARE(title, QStringLiteral("全ファイル削除確認"));
    QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 6);
}

// The open database with its journal, the list file and what is not a regular file stay and
// are named; the database is still in use after.
void TestGeneration::deleteAllFiles_keepsWhatMustStay()
{
    m_db = makeDatabase(m_out + "/qa.mdb", {{0, "sub100,初級編", "q", "a"}});
    writeBytes(m_db + "-journal", "");
    const QString list = m_out + "/dbnames.txt";
    writeBytes(list, "A," + m_db.toUtf8() + "\r\n");
    dirs::rwsettext(2, list);
    m_win = openWindow(m_db, m_out);
    generate();
#ifdef Q_OS_WIN
    // No links on Windows (a shortcut is a file of its own, deleted as any other). Where the
    // Recycle Bin takes nothing (Wine), each page stays too, said so.
    const bool trash = trashTakesFiles(m_dir->path());
    QStringList kept{"dbnames.txt（複数ＤＢ指定の環境設定ﾌｧｲﾙ）", "qa.mdb（使用中のデータベース）",
                     "qa.mdb-journal（使用中のデータベース）"};
    QStringList stay{"dbnames.txt", "qa.mdb", "qa.mdb-journal"};
    if (!trash) {
        for (const char* page : {"index.html", "qa001.html", "sub100.html"})
            kept << QString::fromLatin1(page) + "（" + kNoTrashReason + "）";
        stay << "index.html" << "qa001.html" << "sub100.html";
    }
    fake().clear();
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QCOMPARE(fake().messages().size(), 1);
    QStringList told = fake().messages()[0].split('\r');
    QCOMPARE(told.takeFirst(), QStringLiteral("次のファイルは削除していません"));
    told.sort();
    kept.sort();
    QCOMPARE(told, kept);
    stay.sort();
    QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::System), stay);
#else
    QFile::link(m_out + "/index.html", m_out + "/link.html");
    fake().clear();
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"次のファイルは削除していません\rdbnames.txt（複数ＤＢ指定の環境設定ﾌｧｲﾙ）\r"
                                            "link.html（通常のファイルではありません）\rqa.mdb（使用中のデータベース）\r"
                                            "qa.mdb-journal（使用中のデータベース）"});
    QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::System), (QStringList{"dbnames.txt", "link.html", "qa.mdb", "qa.mdb-journal"}));
#endif
    QCOMPARE(readAll(m_db).size(), 1);
}

// On a first start the output folder is the home folder: its files are never emptied.
void TestGeneration::deleteAllFiles_refusesTheHomeFolder()
{
    if (platform::windowsFileNames())
        QSKIP("Windows takes the home folder from the account's profile, which a test cannot move");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(m_out));
    fake().answerNext(true); // pages straight into the home folder
    generate();
    fake().clear();
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    qputenv("HOME", home);
    QCOMPARE(fake().messages(), QStringList{"ホームフォルダのファイルは削除できません。サイトを作成するフォルダを選んで下さい\r" + m_out});
    QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), 6);
}

void TestGeneration::enterKeys_moveFocusOnly()
{
    w()->show();
    QVERIFY(QTest::qWaitForWindowActive(w()));
    w()->SSTab1->setCurrentIndex(4);
    w()->Text9->setFocus();
    w()->Text9->setText("x");
    QTest::keyClick(w()->Text9, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->Command15);
    QVERIFY(!QDir(m_out + "/x").exists());
    w()->Text10->setFocus();
    QTest::keyClick(w()->Text10, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->Command14);
    QVERIFY(fake().messages().isEmpty());
}

void TestGeneration::commandLine_writesWhatTheWindowWrites_data()
{
    QTest::addColumn<bool>("framed");
    QTest::addColumn<bool>("big");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("phones");
    QTest::newRow("defaults") << false << false << "http://" << true;
    QTest::newRow("framed, big, link, not for phones") << true << true << "http://example.jp/" << false;
}

void TestGeneration::commandLine_writesWhatTheWindowWrites()
{
    QFETCH(bool, framed);
    QFETCH(bool, big);
    QFETCH(QString, url);
    QFETCH(bool, phones);
    open({{0, "sub100,初級編", "What's new?", "一行目<br>\r\n二行目😀"}, {0, "sub300，上級", "〜", "x"},
          {0, "sub200,中級", "ｱｲｳ", "～"}});
    w()->Text15->setText("Ｑ＆Ａ");
    w()->Text12->setText(url);
    w()->Text10->setText("戻る");
    w()->Option5->setChecked(framed);
    w()->Check2->setChecked(big);
    QVERIFY(w()->Check5->isChecked()); // a folder never used: pages for phones
    w()->Check5->setChecked(phones);
    generate();
    const auto window = filesBelow(m_out);
    const QStringList windowMessages = fake().messages();

    const QString cliOut = m_dir->filePath("cli");
    QDir().mkpath(cliOut);
    QStringList args{"--title", "Ｑ＆Ａ", "--return-url", url, "--return-label", "戻る"};
    if (framed)
        args << "--style" << "framed";
    if (big)
        args << "--big-title";
    if (phones)
        args << "--viewport";
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), args << m_db << cliOut);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(filesBelow(cliOut), window);
    const QString err = errorText(p);
    QStringList expected;
    for (const QString& m : windowMessages)
        expected << QString(m).replace('\r', '\n');
    QCOMPARE(err, expected.join('\n') + '\n');
}

void TestGeneration::commandLine_failedWrite_stopsWithOneMessage()
{
    // Records with malformed kinds after the failing page: their messages must not appear.
    open({{0, "a,1", "q1", "x"}, {0, "bad", "q2", "x"}, {0, "bad", "q3", "x"}});
    QADORA_LINUX_ONLY("a read-only disk made with a tmpfs");
    const QString ro = m_dir->filePath("ro");
    QDir().mkpath(ro);
    if (!mountTmpfs(ro, "ro,size=64k"))
        QSKIP("mounting a tmpfs is not permitted here");
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), {m_db, ro});
    QVERIFY(p.waitForFinished(60000));
    unmount(ro);
    QCOMPARE(p.exitCode(), 1);
    const QStringList lines = errorText(p).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("ファイルを作成できませんでした"));
    QCOMPARE(lines[1], ro + "/qa001.html");
}

void TestGeneration::commandLine_exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("no arguments") << QStringList{} << 2;
    QTest::newRow("bad style") << QStringList{"--style", "fancy", "DB", "OUT"} << 2;
    QTest::newRow("unknown option") << QStringList{"--nope", "DB", "OUT"} << 2;
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("missing database") << QStringList{"MISSING", "OUT"} << 1;
    QTest::newRow("empty database") << QStringList{"EMPTY", "OUT"} << 1;
    QTest::newRow("slash in index name") << QStringList{"--index", "../x.html", "DB", "OUT"} << 1;
    QTest::newRow("no index name") << QStringList{"--index", "", "DB", "OUT"} << 1;
}

void TestGeneration::commandLine_exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    makeDatabase(m_dir->filePath("empty.mdb"));
    args.replaceInStrings(QRegularExpression("^DB$"), m_db);
    args.replaceInStrings(QRegularExpression("^EMPTY$"), m_dir->filePath("empty.mdb"));
    args.replaceInStrings(QRegularExpression("^MISSING$"), m_dir->filePath("missing.mdb"));
    args.replaceInStrings(QRegularExpression("^OUT$"), m_out);
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), args);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), code);
    if (code == 1)
        QVERIFY(!p.readAllStandardError().isEmpty());
    QVERIFY(!QFile::exists(m_dir->filePath("x.html")));
    QVERIFY(!QFile::exists(m_dir->filePath("missing.mdb")));
}

void TestGeneration::deleteAllFiles_takesDotFiles()
{
    if (!trashTakesFiles(m_dir->path()))
        QSKIP("the desktop's trash takes no file here (Wine has no Recycle Bin)");
    open({{0, ",title", "q1", "x"}});
    generate();
    QFile(m_out + "/.index.html").open(QIODevice::WriteOnly);
    w()->File1->refresh();
    QVERIFY(linesOf(w()->File1).contains(".html"));
    QVERIFY(linesOf(w()->File1).contains(".index.html"));
    fake().clear();
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{});
}

// "漢"×83 + ".html" is 254 bytes: a name the file system takes is written.
void TestGeneration::longestNames_areWritten()
{
    const QString name = QString(83, QChar(0x6F22));
    open({{0, name + ",t", "q1", "x"}});
    generate();
    QCOMPARE(fake().messages(), QStringList{kDone});
    QVERIFY(QFile::exists(m_out + "/" + name + ".html"));
}

// A run killed half-way leaves temporary files; the next run removes those of ours that no
// running writer holds, and nothing else.
void TestGeneration::killedRun_leftoversRemovedByNextRun()
{
    QList<Record> many;
    for (int i = 0; i < longRun(); ++i)
        many.append({0, QStringLiteral("k%1,t").arg(i % 50), QString::number(i), QString(300, QChar(0x3042))});
    appendRecords(m_db, many);
    QProcess killed;
    killed.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", m_db, m_out});
    QVERIFY(killed.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(m_out).entryList(QDir::Files).size() > 200, 20000);
#ifdef Q_OS_WIN
    killed.kill(); // TerminateProcess: no chance to clean up, as SIGKILL
#else
    ::kill(pid_t(killed.processId()), SIGKILL);
#endif
    killed.waitForFinished();

    const QString leftover = m_out + "/.qadora-abcdefABCDEF.tmp";
    QFile(leftover).open(QIODevice::WriteOnly);
    const QString held = m_out + "/.qadora-heldHELD1234.tmp";
#ifdef Q_OS_WIN
    // A writer that is still running holds its file open (Windows: the open handle itself).
    QFile holding(held);
    QVERIFY(holding.open(QIODevice::WriteOnly));
#else
    QProcess holder; // a writer that is still running holds its file locked
    holder.start("flock", {"-x", held, "-c", "echo locked; sleep 30"});
    QVERIFY(holder.waitForReadyRead());
#endif
    for (const char* other : {".qadora-short.tmp", "user.tmp", ".qadora-abcdefABCDEF.tmp.keep"})
        QFile(m_out + "/" + QString::fromLatin1(other)).open(QIODevice::WriteOnly);
    // A killed run's folder of temporary files (where a run makes one) goes with its files.
    QVERIFY(QDir(m_out).mkpath(".qadora-scratch1234A.tmp"));
    QFile(m_out + "/.qadora-scratch1234A.tmp/.qadora-0123456789ab.tmp").open(QIODevice::WriteOnly);

    QProcess again;
    again.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", m_db, m_out});
    QVERIFY(again.waitForFinished(60000));
    QCOMPARE(again.exitCode(), 0);
#ifdef Q_OS_WIN
    holding.close();
#else
    holder.kill();
    holder.waitForFinished();
#endif
    QCOMPARE(QDir(m_out).entryList({".qadora-*", "*.tmp", "*.keep"}, QDir::Files | QDir::Hidden),
             (QStringList{".qadora-abcdefABCDEF.tmp.keep", ".qadora-heldHELD1234.tmp", ".qadora-short.tmp", "user.tmp"}));
    QCOMPARE(QDir(m_out).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
}

void TestGeneration::stoppedRun_restoresListing()
{
    open({{0, "a,1", "q1", "x"}, {0, "b/c,2", "q2", "x"}, {0, "a,1", "q3", "x"}});
    generate();
    QCOMPARE(fake().messages(), QStringList{"ファイル名に「/」や「\\」は使えません\rb/c.html"});
    QCOMPARE(linesOf(w()->List4), (QStringList{"q1", "q2", "q3"}));
    QCOMPARE(w()->Label9->text(), QStringLiteral("3"));
}

// Another program adds records all through the run: every page the run links to exists.
void TestGeneration::commandLine_oneSnapshotBesideAWriter()
{
    QList<Record> many;
    for (int i = 0; i < longRun(); ++i)
        many.append({0, QStringLiteral("k%1,t").arg(i % 20), QString::number(i), QString(200, 'a')});
    appendRecords(m_db, many);
    // In WAL mode, which another program may well have chosen, a writer never waits for readers.
    QCOMPARE(runSqlite(m_db, "PRAGMA journal_mode = WAL;"), QByteArray());
    QByteArray inserts = ".timeout 60000\n";
    for (int i = 0; i < 4000; ++i)
        inserts += "INSERT INTO tbl1 (kind, quest, anser) VALUES ('k" + QByteArray::number(i % 20) + ",t', 'new', 'a');\n";
    const QString script = m_dir->filePath("inserts.sql");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(inserts);
    file.close();
    QProcess writer;
    writer.start("sqlite3", {m_db, ".read " + script});
    QVERIFY(writer.waitForStarted());
    QProcess build;
    build.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", m_db, m_out});
    QVERIFY(build.waitForFinished(60000));
    writer.waitForFinished(60000);
    QVERIFY(readAll(m_db).size() > longRun() + 3); // the other program wrote meanwhile
    QCOMPARE(build.exitCode(), 0);
    const QRegularExpression link("href=\"([^\"]+)\"");
    for (const QString& page : QDir(m_out).entryList({"k*.html", "index.html"})) {
        const QString text = QString::fromLatin1(readBytes(m_out + "/" + page));
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(QFile::exists(m_out + "/" + target), qPrintable(page + " links to " + target));
        }
    }
}

void TestGeneration::commandLine_saysWhatIsWrong_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("locked by another program") << "locked" << "データベースがほかのプログラムで使用中のため読み込めません";
    QTest::newRow("not readable") << "unreadable" << "データベースのファイルを読み込めません（読み取りが許可されていません）";
    QTest::newRow("tbl1 without quest and anser") << "columns" << "テーブル tbl1 に No, kind, quest, anser の列がありません";
}

void TestGeneration::commandLine_saysWhatIsWrong()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    QProcess other;
    QStringList command{QStringLiteral(QADORA_BUILD_EXE), m_db, m_out};
    if (setup == "locked") {
        other.start("sqlite3", {m_db});
        QVERIFY(other.waitForStarted());
        other.write("BEGIN EXCLUSIVE; INSERT INTO tbl1 (kind) VALUES ('x'); SELECT 'held';\n");
        QVERIFY(other.waitForReadyRead());
    } else if (setup == "unreadable") {
        QADORA_LINUX_ONLY("a second account (setpriv) and permission bits");
        // Root reads any file, so the build runs as nobody; the folders let it through.
        QVERIFY(QFile::setPermissions(m_db, QFile::WriteOwner));
        for (const QString& dir : {m_dir->path(), m_out})
            QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x7777)));
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    } else {
        QCOMPARE(runSqlite(m_db, "DROP TABLE tbl1; CREATE TABLE tbl1 (No INTEGER PRIMARY KEY, kind TEXT); "
                                 "INSERT INTO tbl1 (kind) VALUES ('a,b');"),
                 QByteArray());
    }
    QProcess build;
    build.start(command.takeFirst(), command);
    QVERIFY(build.waitForFinished(60000));
    other.closeWriteChannel();
    other.waitForFinished();
    QCOMPARE(build.exitCode(), 1);
    const QStringList lines = errorText(build).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), message);
    QCOMPARE(lines.value(1), QDir::toNativeSeparators(m_db)); // with "\\" on Windows, as its paths are shown
    QVERIFY(QDir(m_out).entryList(QDir::Files).isEmpty());
}

// Identical bytes: no write, no rename, the same inode and time, so upload tools see nothing.
void TestGeneration::regeneration_leavesUnchangedPagesAlone()
{
    struct Seen {
        qint64 inode;
        qint64 modified; // ns
    };
    auto seen = [&](const QString& name) {
        const auto stamp = platform::stampOf(m_out + "/" + name).value_or(platform::FileStamp{});
        return Seen{stamp.identity, stamp.modified};
    };
    generate();
    const QStringList pages = QDir(m_out).entryList(QDir::Files);
    QMap<QString, Seen> before;
    for (const QString& page : pages)
        before.insert(page, seen(page));
    QTest::qWait(20); // a rewrite would show in the time
    // The second record's answer changes: its page only is written again.
    QCOMPARE(runSqlite(m_db, "UPDATE tbl1 SET anser = '新しい答え' WHERE No = 2;"), QByteArray());
    fake().clear();
    generate();
    QCOMPARE(fake().messages(), QStringList{kDone});
    for (const QString& page : pages) {
        const Seen now = seen(page);
        const bool same = now.inode == before[page].inode && now.modified == before[page].modified;
        QVERIFY2(same == (page != "qa002.html"), qPrintable(page));
    }
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("6 ページ中 1 ページを更新"));

    QProcess build;
    // With the window's pages for phones, which qadora-build writes only when told.
    build.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", "--stats", "--viewport", m_db, m_out});
    QVERIFY(build.waitForFinished(60000));
    QCOMPARE(errorText(build).split('\n', Qt::SkipEmptyParts).last(),
             QStringLiteral("written 0, unchanged 6, removed 0"));
}

void TestGeneration::prune_removesOnlyPagesOfEarlierRuns_data()
{
    QTest::addColumn<bool>("window");
    QTest::newRow("ＨＰ作成 with the box ticked") << true;
    QTest::newRow("qadora-build --prune") << false;
}

// A deleted record's page and a vanished kind's page go; a file no run wrote stays, whatever
// its name; without pruning nothing goes, and a later prune still knows the pages.
void TestGeneration::prune_removesOnlyPagesOfEarlierRuns()
{
    QFETCH(bool, window);
    auto run = [&](bool prune) {
        if (window) {
            w()->Check4->setChecked(prune);
            fake().clear();
            generate();
            return;
        }
        QProcess build;
        build.start(QStringLiteral(QADORA_BUILD_EXE), QStringList{"--quiet"} + (prune ? QStringList{"--prune"} : QStringList{})
                                                            + QStringList{m_db, m_out});
        QVERIFY(build.waitForFinished(60000));
        QCOMPARE(build.exitCode(), 0);
    };
    run(false);
    for (const char* own : {"style.css", "qa099.html", "sub300.html"})
        QFile(m_out + "/" + QLatin1String(own)).open(QIODevice::WriteOnly);
    QCOMPARE(runSqlite(m_db, "DELETE FROM tbl1 WHERE No = 2;"), QByteArray()); // the only sub200 record
    run(false);
    QVERIFY(QFile::exists(m_out + "/qa002.html") && QFile::exists(m_out + "/sub200.html"));
    run(true);
    QCOMPARE(QDir(m_out).entryList(QDir::Files),
             (QStringList{"index.html", "qa001.html", "qa003.html", "qa099.html", "style.css", "sub100.html", "sub300.html"}));
    if (window)
        QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("4 ページ中 0 ページを更新、2 ページを削除"));
    // The folder moved away and a new one made in its place, holding the user's own file under
    // a name a run once wrote there: not the page that was written, so it stays.
    // Wine lets go of a finished child's handles late.
    QVERIFY(stepOutOf(m_out));
    QVERIFY(soon([&] { return QDir().rename(m_out, m_out + ".old"); }));
    QVERIFY(QDir().mkpath(m_out));
    QVERIFY(writeBytes(m_out + "/qa001.html", "the user's own"));
    QCOMPARE(runSqlite(m_db, "DELETE FROM tbl1 WHERE No = 1;"), QByteArray());
    run(true);
    QCOMPARE(readBytes(m_out + "/qa001.html"), QByteArray("the user's own"));
    QVERIFY(stepOutOf(m_out));
    QVERIFY(soon([&] { return QDir(m_out).removeRecursively() && QDir().rename(m_out + ".old", m_out); }));
    if (!window)
        return;
    // What the manifest says cannot lead outside the folder.
    const QString planted = m_dir->filePath("planted.html"); // by a path from the root
    QVERIFY(writeBytes(planted, "outside"));
    QFile manifest(manifestPath(m_out));
    QVERIFY(manifest.open(QIODevice::Append));
    manifest.write("..%2Fqa.mdb\r\n" + QUrl::toPercentEncoding(planted) + "\r\n");
    manifest.close();
    run(true);
    QVERIFY(QFile::exists(m_db) && QFile::exists(planted));
}

void TestGeneration::progress_showsOnALongRun()
{
    QList<Record> many;
    for (int i = 0; i < longRun(); ++i)
        many.append({0, i == 7 ? QStringLiteral("bad") : QStringLiteral("k%1,t").arg(i % 40), QString::number(i), QString(300, QChar(0x3042))});
    appendRecords(m_db, many);
    QtInteraction shown(w());
    fake().showProgressWith(&shown);
    showActive(w());
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    bool seen = false;
    fake().onProgress = [&](int) {
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        seen = seen || (dialog && dialog->isVisible() && dialog->value() > 0 && dialog->maximum() >= longRun() + 3);
    };
    QTest::mouseClick(w()->Command14, Qt::LeftButton);
    QVERIFY(seen);
    // The run's messages, in their order, as without a progress.
    QCOMPARE(fake().messages(), (QStringList{kMalformed, kMalformed + "\rbad", kMalformed, kDone}));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

// Cancel stops the run as a failed write does: whole pages so far, no completion message,
// the listing as the user made it.
void TestGeneration::progress_cancelStopsTheRun()
{
    QList<Record> many;
    for (int i = 0; i < 3000; ++i)
        many.append({0, QStringLiteral("k%1,t").arg(i % 40), QString::number(i), "a"});
    appendRecords(m_db, many);
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    const QStringList listed = linesOf(w()->List4);
    fake().cancelProgressAt(1000);
    QTest::mouseClick(w()->Command14, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{});
    QCOMPARE(linesOf(w()->List4), listed);
    QCOMPARE(w()->Label9->text(), QStringLiteral("3003"));
    const QStringList pages = QDir(m_out).entryList({"*.html"});
    QCOMPARE(pages.size(), 1000);
    for (const QString& page : pages)
        QVERIFY(readBytes(m_out + "/" + page).endsWith("</HTML>\r\n"));
    QVERIFY(!QFile::exists(m_out + "/index.html"));
}

// A finished progress box would take the Enter meant for "ｈｔｍｌ作成しました".
void TestGeneration::progress_closedBeforeTheCompletionMessage()
{
    QList<Record> many;
    for (int i = 0; i < 200; ++i)
        many.append({0, "k,t", QString::number(i), "a"});
    appendRecords(m_db, many);
    QtInteraction shown(w());
    fake().showProgressWith(&shown);
    showActive(w());
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    bool wasShown = false;
    fake().onProgress = [&](int done) {
        if (done == 1)
            QTest::qWait(600); // long enough for the box to appear
        wasShown = wasShown || w()->findChild<QProgressDialog*>("progress")->isVisible();
    };
    QStringList onTop;
    fake().onNotice = [&](const QString&) {
        auto* progress = w()->findChild<QProgressDialog*>("progress");
        onTop << (progress && progress->isVisible() ? "progress" : "none");
    };
    QTest::mouseClick(w()->Command14, Qt::LeftButton);
    QVERIFY(wasShown);
    QCOMPARE(fake().messages(), QStringList{kDone});
    QCOMPARE(onTop, QStringList{"none"});
}

// Every setting of the html tab, typed and clicked, comes back after a restart, and the
// rebuild with them rewrites no page.
void TestGeneration::settings_restartRestoresTheFolders_andRebuildWritesNothing()
{
    showActive(w());
    w()->SSTab1->setCurrentIndex(4);
    auto retype = [](QLineEdit* edit, const QString& text) {
        edit->setFocus();
        pressKey(edit, Qt::Key_A, Qt::ControlModifier);
        typeText(edit, text);
    };
    retype(w()->Text8, "top.html");
    retype(w()->Text15, "私のＱ＆Ａ");
    retype(w()->Text12, "http://example.jp/");
    retype(w()->Text10, "HOME");
    // On their boxes: a button stretched by the layout takes clicks only on its box and caption.
    QTest::mouseClick(w()->Option5, Qt::LeftButton, {}, QPoint(8, w()->Option5->height() / 2));
    QTest::mouseClick(w()->Check2, Qt::LeftButton, {}, QPoint(8, w()->Check2->height() / 2));
    QVERIFY(w()->Option5->isChecked() && w()->Check2->isChecked());
    generate();
    QCOMPARE(fake().messages(), QStringList{kDone});
    const QByteArray index = readBytes(m_out + "/top.html");
    QVERIFY(index.contains("http://example.jp/"));
    QVERIFY(w()->close());

    m_win = openWindow(m_db, m_out);
    QCOMPARE(w()->Text8->text(), QStringLiteral("top.html"));
    QCOMPARE(w()->Text15->text(), QStringLiteral("私のＱ＆Ａ"));
    QCOMPARE(w()->Text12->text(), QStringLiteral("http://example.jp/"));
    QCOMPARE(w()->Text10->text(), QStringLiteral("HOME"));
    QVERIFY(w()->Option5->isChecked() && !w()->Option6->isChecked());
    QVERIFY(w()->Check2->isChecked());
    generate();
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("6 ページ中 0 ページを更新"));
    QCOMPARE(readBytes(m_out + "/top.html"), index);
}

// What was typed stays on the tab when a folder never used is chosen, and is remembered for
// that folder, not the one left; a folder with settings of its own brings them back (and what
// was typed stays with the folder left); a database entry's own values win over them.
void TestGeneration::settings_followTheFolderChosen()
{
    const QString other = m_out + "/other";
    const QString third = m_dir->filePath("third");
    QDir().mkpath(other);
    QDir().mkpath(third);
    showActive(w());
    w()->SSTab1->setCurrentIndex(4);
    w()->Dir1->refresh();
    auto retype = [](QLineEdit* edit, const QString& text) {
        edit->setFocus();
        pressKey(edit, Qt::Key_A, Qt::ControlModifier);
        typeText(edit, text);
    };
    retype(w()->Text15, "私のＱ＆Ａ");
    retype(w()->Text12, "http://example.jp/");
    retype(w()->Text10, "HOME");
    QTest::mouseClick(w()->Check5, Qt::LeftButton, {}, QPoint(8, w()->Check5->height() / 2)); // no longer for phones
    QTreeWidgetItem* item = nullptr;
    for (QTreeWidgetItemIterator it(w()->Dir1); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == other)
            item = *it;
    }
    QVERIFY(item);
    const QPoint at = w()->Dir1->visualItemRect(item).center();
    QTest::mouseClick(w()->Dir1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w()->Dir1->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(w()->Dir1->path(), other);
    auto shown = [&] {
        return QStringList{w()->Text15->text(), w()->Text12->text(), w()->Text10->text(),
                           w()->Check5->isChecked() ? "phones" : "-"};
    };
    const QStringList typed{"私のＱ＆Ａ", "http://example.jp/", "HOME", "-"};
    QCOMPARE(shown(), typed);
    QVERIFY(!rememberedSiteSettings(m_out)); // the folder left was never used, and still is not

    QVERIFY(w()->close());
    m_win = openWindow(m_db);
    QCOMPARE(w()->Dir1->path(), other);
    QCOMPARE(shown(), typed);
    QVERIFY(!rememberedSiteSettings(m_out));

    // Into a folder never used and back to one with settings of its own.
    QVERIFY(w()->Dir1->setPath(third));
    QCOMPARE(shown(), typed);
    w()->Text15->setText("三番目");
    QVERIFY(w()->Dir1->setPath(other));
    QCOMPARE(shown(), typed);
    QVERIFY(w()->Dir1->setPath(third));
    QCOMPARE(w()->Text15->text(), QStringLiteral("三番目"));

    w()->List11->addItem("DB," + m_db + ",http://top.jp/,TOP," + other);
    w()->List11->setCurrentRow(0);
    QTest::mouseClick(w()->Command24, Qt::LeftButton);
    QCOMPARE(w()->Dir1->path(), other);
    QCOMPARE(shown(), (QStringList{"DB", "http://top.jp/", "TOP", "-"}));
}

// A folder never used starts with pages for phones; one remembered before that box existed
// keeps its pages as they were.
void TestGeneration::settings_phonesForAFolderNeverUsed()
{
    QVERIFY(w()->Check5->isChecked());
    const QString old = m_dir->filePath("old");
    QDir().mkpath(old);
    QSettings s = qadora::openSettings();
    s.beginGroup("sites/" + QString::fromLatin1(QCryptographicHash::hash(old.toUtf8(), QCryptographicHash::Sha1).toHex().left(16)));
    s.setValue("folder", old);
    s.setValue("style", "framed");
    s.endGroup();
    s.sync();
    QVERIFY(w()->Dir1->setPath(old));
    QVERIFY(!w()->Check5->isChecked());
    QVERIFY(w()->Option5->isChecked());
}

// Two windows on one folder: each remembers what it changed, never over what the other did.
void TestGeneration::settings_twoWindowsKeepEachOthersChanges()
{
    generate(); // the folder now has settings of its own
    auto second = openWindow(m_db, m_out);
    w()->Text15->setText("一つ目の窓");
    second->w->Text10->setText("二つ目の窓");
    generate(); // remembers the first window's title
    QVERIFY(second->w->close()); // remembers the second's label
    QVERIFY(w()->close());
    m_win = openWindow(m_db, m_out);
    QCOMPARE(w()->Text15->text(), QStringLiteral("一つ目の窓"));
    QCOMPARE(w()->Text10->text(), QStringLiteral("二つ目の窓"));
}

void TestGeneration::homeFolder_asksFirst_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("yes");
    QTest::newRow("ＨＰ作成, いいえ") << "build" << false;
    QTest::newRow("ＨＰ作成, はい") << "build" << true;
    QTest::newRow("作成して公開, いいえ") << "publish" << false;
}

// Pages straight into the home folder only when the user says so; Enter says いいえ.
void TestGeneration::homeFolder_asksFirst()
{
    QFETCH(QString, command);
    QFETCH(bool, yes);
    if (platform::windowsFileNames())
        QSKIP("Windows takes the home folder from the account's profile, which a test cannot move");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", m_out.toUtf8());
    fake().answerNext(yes);
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    if (command == "build") {
        QTest::mouseClick(w()->Command14, Qt::LeftButton);
    } else {
        QSettings s = qadora::openSettings();
        s.setValue("publish/address", "ftp://127.0.0.1:1/qa");
        s.setValue("publish/folder", m_out);
        s.sync();
        w()->buildPublish->trigger();
    }
    qputenv("HOME", home);
    QCOMPARE(fake().questions(), QStringList{"作成先確認\tホームフォルダに直接ページを作成します。よろしいですか？\t(default No)"});
    QCOMPARE(fake().messages(), yes ? QStringList{kDone} : QStringList{});
    QCOMPARE(QDir(m_out).entryList(QDir::Files).size(), yes ? 6 : 0);
}

// 参照… takes the folder from the desktop's chooser and sets it as a double-click would:
// labels, file list and the html tab's settings follow; Cancel changes nothing.
void TestGeneration::browseDir_choosesAsADoubleClickDoes()
{
    QVERIFY(w()->Dir1->toolTip().contains(QStringLiteral("ダブルクリック")));
    const QString other = m_dir->filePath("other");
    QDir().mkpath(other);
    QVERIFY(writeBytes(other + "/page.html", "x"));
    w()->Text15->setText("タイトル");
    fake().fileNameNext(QString());
    QTest::mouseClick(w()->browseDir, Qt::LeftButton);
    QCOMPARE(w()->Dir1->path(), m_out);
    fake().fileNameNext(other);
    QTest::mouseClick(w()->browseDir, Qt::LeftButton);
    QCOMPARE(fake().dialogs(), (QStringList{"folder\t" + m_out, "folder\t" + m_out}));
    QCOMPARE(w()->Dir1->path(), other);
    QCOMPARE(w()->Label36->text(), other);
    QCOMPARE(w()->Label38->text(), other);
    QCOMPARE(itemsOf(w()->File1), QStringList{"page.html"});
    QCOMPARE(w()->Text15->text(), QStringLiteral("タイトル"));
}

QTEST_MAIN(TestGeneration)
#include "tst_generation.moc"
