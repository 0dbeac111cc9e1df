// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/dblist.h"
#include "settings/dirs.h"
#include "site/pagefile.h"
#include "testenv.h"
#include "ui/folderpicker.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QProcess>
#include <QFileInfo>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace qadora;
using namespace qadora::test;

namespace {
// The lists' database paths from the root of the disk: on Windows from the system drive's, as
// a path without a drive would be taken on the current one.
QString rooted(QString text)
{
    return text.replace(QLatin1String("/db/"), QDir::rootPath() + QLatin1String("db/"));
}
} // namespace

class TestDbList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void parseItems_data();
    void parseItems();
    void splitEntry_data();
    void splitEntry();

    void chooseListFile_new();
    void chooseListFile_startsBesideTheDatabase();
    void chooseListFile_existing_data();
    void chooseListFile_existing();
    void register_createsFileWithOneLine();
    void register_twice_twoEqualLines();
    void register_refusals_data();
    void register_refusals();
    void register_failedWrite_keepsOldFile();
    void load_japaneseAndHandWritten();
    void load_missingFile();
    void remove_data();
    void remove();
    void remove_notLoaded_loadsFirst();
    void remove_noListFile();
    void switchToEntry_data();
    void switchToEntry();
    void switch_refusals_data();
    void switch_refusals();
    void switch_missingDirectory_keepsOutputDirectory();
    void switch_byDoubleClick();

    void listFile_dotName_isOrdinary();
    void listFile_twoWindows_keepEachOthersEntries();
    void listFile_notShiftJis_isNeverRewritten_data();
    void listFile_notShiftJis_isNeverRewritten();
    void listFile_characterWithoutCode_isRefused_data();
    void listFile_characterWithoutCode_isRefused();
    void switch_missingDatabase_keepsGoodSetting();
    void listFile_symlink_followedAndModeKept();
    void listFile_fifo_isRefused();

private:
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    void setListFile(const QString& path)
    {
        dirs::rwsettext(2, path);
        m_win = openWindow(QString(), m_out);
    }
    void writeRaw(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QTemporaryDir* m_dir = nullptr;
    QString m_list;
    QString m_out;
    std::unique_ptr<Window> m_win;
};

void TestDbList::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    m_list = m_dir->filePath("dbnames.txt");
    m_out = m_dir->filePath("web");
    QDir().mkpath(m_out);
    m_win = openWindow(QString(), m_out);
}

void TestDbList::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    delete m_dir;
}

void TestDbList::parseItems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("quoted lines") << "\"A,a.mdb,u,l,d\"\r\n\"B,b.mdb\"\r\n" << QStringList{"A,a.mdb,u,l,d", "B,b.mdb"};
    QTest::newRow("unquoted falls apart") << "A,a.mdb,u\r\n" << QStringList{"A", "a.mdb", "u"};
    QTest::newRow("mixed") << "\"A,b\",c\r\nd" << QStringList{"A,b", "c", "d"};
    QTest::newRow("lone LF") << "\"A\"\n\"B\"" << QStringList{"A", "B"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("unclosed quote") << "\"A,b" << QStringList{"A,b"};
    QTest::newRow("ideographic spaces are text") << "　A　, B \t\r\n" << QStringList{"　A　", "B"};
}

void TestDbList::parseItems()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(parseListItems(text), items);
}

void TestDbList::splitEntry_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("shape");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("full") << "A,C:\\a.mdb,../top.html,HOME,C:\\web\\a" << int(DbEntry::Full)
                          << QStringList{"A", "C:\\a.mdb", "../top.html", "HOME", "C:\\web\\a"};
    QTest::newRow("title and database") << "A,C:\\a.mdb" << int(DbEntry::TitleAndDatabase)
                                        << QStringList{"A", "C:\\a.mdb", "", "", ""};
    QTest::newRow("third field dropped") << "A,C:\\a.mdb,../top.html" << int(DbEntry::Full)
                                         << QStringList{"A", "C:\\a.mdb", "", "", ""};
    QTest::newRow("four fields") << "A,C:\\a.mdb,u,l" << int(DbEntry::Full) << QStringList{"A", "C:\\a.mdb", "u", "l", ""};
    QTest::newRow("comma in directory") << "A,C:\\a.mdb,u,l,C:\\x,y" << int(DbEntry::Full)
                                        << QStringList{"A", "C:\\a.mdb", "u", "l", "C:\\x,y"};
    QTest::newRow("comma in database shifts") << "A,C:\\a,b.mdb,u,l,d" << int(DbEntry::Full)
                                              << QStringList{"A", "C:\\a", "b.mdb", "u", "l,d"};
    QTest::newRow("no comma") << "just a line" << int(DbEntry::NoComma) << QStringList{"", "", "", "", ""};
}

void TestDbList::splitEntry()
{
    QFETCH(QString, line);
    QFETCH(int, shape);
    QFETCH(QStringList, fields);
    const DbEntry e = qadora::splitEntry(line);
    QCOMPARE(int(e.shape), shape);
    QCOMPARE((QStringList{e.title, e.database, e.address, e.label, e.directory}), fields);
}

// Not in the output folder, where a list file would be published with the site.
void TestDbList::chooseListFile_startsBesideTheDatabase()
{
    QDir().mkpath(m_dir->filePath("data"));
    m_win = openWindow(makeDatabase(m_dir->filePath("data/qa.mdb")), m_out);
    QDir::setCurrent(m_out);
    fake().fileNameNext(QString());
    QTest::mouseClick(w()->Command19, Qt::LeftButton);
    QCOMPARE(fake().dialogs().value(0).section('\t', 1, 1), m_dir->filePath("data"));
}

void TestDbList::chooseListFile_new()
{
    fake().fileNameNext(m_list);
    QTest::mouseClick(w()->Command19, Qt::LeftButton);
    QCOMPARE(fake().dialogs(), QStringList{"save\t" + QDir::currentPath() + "\tﾃｷｽﾄﾌｧｲﾙ|*.txt|All Files|*.*|\tdbnames.txt"});
    QCOMPARE(w()->Label28->text(), m_list);
    QCOMPARE(dirs::rwsettext(1), m_list);
    QVERIFY(!QFile::exists(m_list)); // made by the first registration
}

void TestDbList::chooseListFile_existing_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestDbList::chooseListFile_existing()
{
    QFETCH(bool, yes);
    writeRaw(m_list, "\"A,a.mdb\"\r\n");
    fake().fileNameNext(m_list);
    fake().answerNext(yes);
    QTest::mouseClick(w()->Command19, Qt::LeftButton);
    QCOMPARE(fake().questions(), QStringList{"ファイル上書き確認\t\n" + m_list + " のファイルに上書きしますか？"});
    QCOMPARE(w()->Label28->text(), yes ? m_list : QString());
    QCOMPARE(dirs::rwsettext(1), yes ? m_list : QString());
    QCOMPARE(readBytes(m_list), QByteArray("\"A,a.mdb\"\r\n")); // used unchanged
}

void TestDbList::register_createsFileWithOneLine()
{
    setListFile(m_list);
    w()->Text11->setText("A");
    w()->Label30->setText("/db/a.mdb");
    w()->Text13->setText("../top.html");
    w()->Text14->clear();
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"書込み完了"});
    QCOMPARE(readBytes(m_list), "\"A,/db/a.mdb,../top.html,," + m_out.toUtf8() + "\"\r\n");
    QCOMPARE(itemsOf(w()->List11), QStringList{"A,/db/a.mdb,../top.html,," + m_out});
    QCOMPARE(w()->Text11->text() + w()->Label30->text() + w()->Text13->text() + w()->Text14->text(), QString());
}

void TestDbList::register_twice_twoEqualLines()
{
    setListFile(m_list);
    for (int i = 0; i < 2; ++i) {
        w()->Text11->setText("日本語のＤＢ");
        w()->Label30->setText("/db/a.mdb");
        w()->Text13->setText("http://");
        w()->Text14->setText("ホーム");
        QTest::mouseClick(w()->Command21, Qt::LeftButton);
    }
    const QByteArray line = "\"\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x82\x63\x82\x61,/db/a.mdb,http://,\x83\x7a\x81\x5b\x83\x80," + m_out.toUtf8() + "\"\r\n";
    QCOMPARE(readBytes(m_list), line + line);
    QCOMPARE(w()->List11->count(), 2);
}

void TestDbList::register_refusals_data()
{
    QTest::addColumn<bool>("listFile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("no list file") << false << "A" << "/a.mdb" << "複数ＤＢ指定時の環境設定ﾌｧｲﾙ指定を行って下さい" << false;
    QTest::newRow("no title") << true << "" << "/a.mdb" << "登録するＤＢ名とファイル名の両方を指定して下さい" << false;
    QTest::newRow("no database") << true << "A" << "" << "登録するＤＢ名とファイル名の両方を指定して下さい" << false;
    QTest::newRow("comma in title") << true << "A,B" << "/a.mdb" << ", の文字は使えません" << true;
    QTest::newRow("double quote") << true << "A\"B" << "/a.mdb" << "\" の文字は使えません" << false;
}

void TestDbList::register_refusals()
{
    QFETCH(bool, listFile);
    QFETCH(QString, title);
    QFETCH(QString, database);
    QFETCH(QString, message);
    QFETCH(bool, cleared);
    writeRaw(m_list, "\"old,/old.mdb\"\r\n");
    if (listFile)
        setListFile(m_list);
    w()->Text11->setText(title);
    w()->Label30->setText(database);
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{message});
    QCOMPARE(readBytes(m_list), QByteArray("\"old,/old.mdb\"\r\n"));
    QCOMPARE(w()->Text11->text(), cleared ? QString() : title);
}

void TestDbList::register_failedWrite_keepsOldFile()
{
#ifdef Q_OS_WIN
    // Windows: a list file with the read-only attribute cannot be replaced.
    const QString readOnly = m_dir->filePath("readonly.txt");
    writeRaw(readOnly, "\"A,/a.mdb\"\r\n");
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser));
    setListFile(readOnly);
    w()->Text11->setText("C");
    w()->Label30->setText("/c.mdb");
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    const QByteArray kept = readBytes(readOnly);
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(fake().messages().size(), 1);
    QVERIFY2(fake().messages()[0].startsWith("ファイルに書き込めませんでした\r" + readOnly + "\r"), qPrintable(fake().messages()[0]));
    QCOMPARE(kept, QByteArray("\"A,/a.mdb\"\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList({".qadora-*"}, QDir::Files | QDir::Hidden), QStringList{});
    return;
#endif
    QTemporaryDir small;
    if (!mountTmpfs(small.path(), "size=64k"))
        QSKIP("mounting a tmpfs is not permitted here");
    const QString list = small.filePath("dbnames.txt");
    writeRaw(list, "\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n");
    setListFile(list);
    w()->Text11->setText("C");
    w()->Label30->setText("/" + QString(100000, 'x') + ".mdb"); // larger than the disk
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    const QByteArray after = readBytes(list);
    const QStringList left = QDir(small.path()).entryList(QDir::Files | QDir::Hidden);
    unmount(small.path());
    QCOMPARE(fake().messages().size(), 1);
    QVERIFY2(fake().messages()[0].startsWith("ファイルに書き込めませんでした\r" + list + "\r"), qPrintable(fake().messages()[0].left(200)));
    QCOMPARE(after, QByteArray("\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n"));
    QCOMPARE(left, QStringList{"dbnames.txt"});
}

void TestDbList::load_japaneseAndHandWritten()
{
    writeRaw(m_list, "\"\x83\x65\x83\x58\x83\x67,/t.mdb,u,l,/d\"\r\nhand,written,line\r\n");
    setListFile(m_list);
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    QCOMPARE(itemsOf(w()->List11), (QStringList{"テスト,/t.mdb,u,l,/d", "hand", "written", "line"}));
    QVERIFY(fake().messages().isEmpty());
}

void TestDbList::load_missingFile()
{
    setListFile(m_list);
    w()->List11->addItem("stale");
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"複数ＤＢ指定時の環境設定ﾌｧｲﾙを指定して下さい"});
    QCOMPARE(w()->List11->count(), 0);
}

void TestDbList::remove_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("select");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("yes") << true << 1 << QByteArray("\"A,/a.mdb\"\r\n\"C,/c.mdb\"\r\n") << QStringList{};
    QTest::newRow("no") << false << 1 << QByteArray("\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n\"C,/c.mdb\"\r\n") << QStringList{};
    QTest::newRow("yes, nothing selected") << true << -1 << QByteArray("\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n\"C,/c.mdb\"\r\n")
                                           << QStringList{"リストの中から削除する行を選んでください"};
}

void TestDbList::remove()
{
    QFETCH(bool, yes);
    QFETCH(int, select);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, messages);
    writeRaw(m_list, "\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n\"C,/c.mdb\"\r\n");
    setListFile(m_list);
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    if (select >= 0)
        w()->List11->setCurrentRow(select);
    fake().answerNext(yes);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(fake().questions(), QStringList{"削除確認\tリストより削除します。よろしいですか。\t(no icon)\t(default No)"});
    QCOMPARE(readBytes(m_list), bytes);
    QCOMPARE(fake().messages(), messages);
}

void TestDbList::remove_notLoaded_loadsFirst()
{
    writeRaw(m_list, "\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n");
    setListFile(m_list);
    w()->List11->addItem("foreign,/x.mdb"); // not from this file
    w()->List11->setCurrentRow(0);
    fake().answerNext(true);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(readBytes(m_list), QByteArray("\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n"));
    QCOMPARE(itemsOf(w()->List11), (QStringList{"A,/a.mdb", "B,/b.mdb"}));
}

void TestDbList::remove_noListFile()
{
    w()->List11->addItem("A,/a.mdb");
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"複数ＤＢ指定時の環境設定ﾌｧｲﾙ指定を行って下さい"});
    QVERIFY(fake().questions().isEmpty());
}

void TestDbList::switchToEntry_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected"); // db, Text11, Text15, Text12, Text13, Text10, Text14, Label38
    QTest::addColumn<bool>("movesDir");
    QTest::newRow("full") << "A,/db/a.mdb,../top.html,HOME,DIR"
                          << QStringList{"/db/a.mdb", "A", "A", "../top.html", "../top.html", "HOME", "HOME", "DIR"} << true;
    QTest::newRow("title and database") << "A,/db/a.mdb"
                                        << QStringList{"/db/a.mdb", "A", "A", "keep12", "", "keep10", "", ""} << false;
    QTest::newRow("address dropped") << "A,/db/a.mdb,../top.html"
                                     << QStringList{"/db/a.mdb", "A", "A", "", "", "", "", ""} << false;
    // Not the file of that name in an output folder chosen later.
    QTest::newRow("relative database") << "A,a.mdb,u,l,DIR" << QStringList{"DIR/a.mdb", "A", "A", "u", "u", "l", "l", "DIR"} << true;
    QTest::newRow("comma in database") << "A,/db/a,b.mdb,u"
                                       << QStringList{"/db/a", "A", "A", "b.mdb", "b.mdb", "u", "u", ""} << false;
}

void TestDbList::switchToEntry()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QFETCH(bool, movesDir);
    const QString dir = m_dir->filePath("other");
    QDir().mkpath(dir);
    line = rooted(line.replace("DIR", dir));
    expected.replaceInStrings("DIR", dir);
    for (QString& e : expected)
        e = rooted(e);
    w()->Text12->setText("keep12");
    w()->Text10->setText("keep10");
    w()->List11->addItem(line);
    w()->List11->setCurrentRow(0);
    QTest::mouseClick(w()->Command24, Qt::LeftButton);
    QVERIFY(fake().messages().isEmpty());
    QCOMPARE(w()->databasePath(), expected[0]);
    QCOMPARE(dirs::rwpgmname(1), expected[0]);
    QCOMPARE(w()->Label1->text(), expected[0]);
    QCOMPARE(w()->Label30->text(), expected[0]);
    QCOMPARE((QStringList{w()->Text11->text(), w()->Text15->text(), w()->Text12->text(), w()->Text13->text(),
                          w()->Text10->text(), w()->Text14->text(), w()->Label38->text()}),
             expected.mid(1));
    QCOMPARE(w()->Label36->text(), movesDir ? dir : m_out);
    QCOMPARE(QDir::currentPath(), movesDir ? dir : m_out);
}

void TestDbList::switch_refusals_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing selected") << "" << "リストの中から変更するＤＢの行を選んで下さい";
    QTest::newRow("no comma") << "hand-written" << "選択した行はＤＢの指定になっていません（半角カンマで区切られていません）";
}

void TestDbList::switch_refusals()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    w()->Text11->setText("title");
    if (!line.isEmpty()) {
        w()->List11->addItem(line);
        w()->List11->setCurrentRow(0);
    } else {
        w()->List11->addItem("A,/a.mdb");
    }
    QTest::mouseClick(w()->Command24, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{message});
    QCOMPARE(w()->databasePath(), QString());
    QCOMPARE(w()->Text11->text(), QStringLiteral("title"));
}

void TestDbList::switch_missingDirectory_keepsOutputDirectory()
{
    const QString gone = m_dir->filePath("gone");
    w()->List11->addItem(rooted("A,/db/a.mdb,u,l,") + gone);
    w()->List11->setCurrentRow(0);
    QTest::mouseClick(w()->Command24, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"html作成Dirが見つかりません。現在のDirのままにします\r" + gone});
    QCOMPARE(w()->Dir1->path(), m_out);
    QCOMPARE(w()->Label36->text(), m_out);
    QCOMPARE(w()->Label38->text(), m_out);
    QCOMPARE(w()->databasePath(), rooted("/db/a.mdb"));
    QCOMPARE(w()->Text12->text(), QStringLiteral("u"));
}

void TestDbList::switch_byDoubleClick()
{
    w()->List11->addItem(rooted("A,/db/a.mdb"));
    w()->show();
    QListWidgetItem* item = w()->List11->item(0);
    const QPoint at = w()->List11->visualItemRect(item).center();
    QTest::mouseClick(w()->List11->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w()->List11->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(w()->databasePath(), rooted("/db/a.mdb"));
}

void TestDbList::listFile_dotName_isOrdinary()
{
    const QString list = m_dir->filePath(".dbnames.txt");
    writeRaw(list, "\"A,/a.mdb\"\r\n");
    setListFile(list);
    w()->Text11->setText("B");
    w()->Label30->setText("/b.mdb");
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QCOMPARE(readBytes(list), "\"A,/a.mdb\"\r\n\"B,/b.mdb,http://,," + m_out.toUtf8() + "\"\r\n");
    w()->List11->setCurrentRow(1);
    fake().answerNext(true);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(readBytes(list), QByteArray("\"A,/a.mdb\"\r\n"));
    QCOMPARE(fake().messages(), QStringList{"書込み完了"});
}

// Window A loads the list, window B registers an entry, A removes a line: B's entry stays,
// A reloads and says so.
void TestDbList::listFile_twoWindows_keepEachOthersEntries()
{
    writeRaw(m_list, "\"A,/a.mdb\"\r\n\"B,/b.mdb\"\r\n");
    setListFile(m_list);
    std::unique_ptr<Window> other = openWindow(QString(), m_out);
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    other->w->Text11->setText("C");
    other->w->Label30->setText("/c.mdb");
    QTest::mouseClick(other->w->Command21, Qt::LeftButton);
    const QByteArray withC = readBytes(m_list);
    QVERIFY(withC.endsWith("\"C,/c.mdb,http://,," + m_out.toUtf8() + "\"\r\n"));
    w()->List11->setCurrentRow(0);
    fake().answerNext(true);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(readBytes(m_list), withC);
    QCOMPARE(fake().messages().size(), 1);
    QVERIFY(fake().messages()[0].startsWith("ほかのウィンドウやプログラムがファイルを変更していたため"));
    QCOMPARE(w()->List11->count(), 3);
    // Now that A shows the file as it is, the removal goes through.
    w()->List11->setCurrentRow(0);
    fake().answerNext(true);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    QCOMPARE(readBytes(m_list), withC.mid(QByteArray("\"A,/a.mdb\"\r\n").size()));
}

void TestDbList::listFile_notShiftJis_isNeverRewritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UTF-8") << QByteArray("\"日本語,/a.mdb\"\r\n");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\"A,/a.mdb\"\r\n");
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE\"\0A\0,\0/\0a\0\"\0\r\0\n\0", 20);
    QTest::newRow("broken Shift_JIS") << QByteArray("\"A\x81\",/a.mdb\r\n");
}

void TestDbList::listFile_notShiftJis_isNeverRewritten()
{
    QFETCH(QByteArray, bytes);
    writeRaw(m_list, bytes);
    setListFile(m_list);
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    QVERIFY(w()->List11->count() > 0); // shows what it can
    w()->Text11->setText("B");
    w()->Label30->setText("/b.mdb");
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    w()->List11->setCurrentRow(0);
    fake().answerNext(true);
    QTest::mouseClick(w()->Command23, Qt::LeftButton);
    const QString refusal = "Shift_JISのテキストファイルではないため、書き込みできません\r" + m_list;
    QCOMPARE(fake().messages(), (QStringList{refusal, refusal}));
    QCOMPARE(readBytes(m_list), bytes);
    QCOMPARE(w()->Text11->text(), QStringLiteral("B"));
}

void TestDbList::listFile_characterWithoutCode_isRefused_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("named");
    QTest::newRow("wave dash in the directory") << "2024〜2025" << "/db/a.mdb" << "「〜」（U+301C）";
    QTest::newRow("accent in the database") << "web" << "/db/café/a.mdb" << "「é」（U+00E9）";
    QTest::newRow("emoji in the database") << "web" << "/db/😀.mdb" << "「😀」（U+1F600）";
}

void TestDbList::listFile_characterWithoutCode_isRefused()
{
    QFETCH(QString, directory);
    QFETCH(QString, database);
    QFETCH(QString, named);
    const QString out = m_dir->filePath(directory);
    QDir().mkpath(out);
    writeRaw(m_list, "\"A,/a.mdb\"\r\n");
    setListFile(m_list);
    w()->Dir1->setPath(out);
    w()->Text11->setText("B");
    w()->Label30->setText(database);
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QCOMPARE(fake().messages().size(), 1);
    QVERIFY2(fake().messages()[0].startsWith(named + "はShift_JISで書けない文字のため、登録できません\r"),
             qPrintable(fake().messages()[0]));
    QCOMPARE(readBytes(m_list), QByteArray("\"A,/a.mdb\"\r\n"));
    QCOMPARE(w()->Label30->text(), database); // kept to be mended
}

void TestDbList::switch_missingDatabase_keepsGoodSetting()
{
    const QString good = makeDatabase(m_dir->filePath("good.mdb"));
    dirs::rwpgmname(2, good);
    w()->List11->addItem(rooted("A,/db/2024&#12316;2025/a.mdb"));
    w()->List11->setCurrentRow(0);
    QTest::mouseClick(w()->Command24, Qt::LeftButton);
    QCOMPARE(dirs::rwpgmname(1), good);
    QCOMPARE(fake().messages(), QStringList{"データベースファイルが見つかりません。次回の起動時は前のデータベースを使います\r"
                                            + rooted("/db/2024&#12316;2025/a.mdb")});
}

void TestDbList::listFile_symlink_followedAndModeKept()
{
    QADORA_LINUX_ONLY("symbolic links and permission bits");
#ifndef Q_OS_WIN
    const QString target = m_dir->filePath("real-list.txt");
    writeRaw(target, "\"A,/a.mdb\"\r\n");
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QFile::link(target, m_list));
    setListFile(m_list);
    w()->Text11->setText("B");
    w()->Label30->setText("/b.mdb");
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QVERIFY(QFileInfo(m_list).isSymLink());
    QCOMPARE(readBytes(target), "\"A,/a.mdb\"\r\n\"B,/b.mdb,http://,," + m_out.toUtf8() + "\"\r\n");
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0600u);
    QCOMPARE(QDir(m_dir->path()).entryList({".qadora-*"}, QDir::Files | QDir::Hidden), QStringList{});
#endif
}

void TestDbList::listFile_fifo_isRefused()
{
#ifdef Q_OS_WIN
    // No FIFOs on Windows: a folder under the list file's name is not a file either.
    QVERIFY(QDir().mkdir(m_list));
#else
    QCOMPARE(QProcess::execute("mkfifo", {m_list}), 0);
#endif
    setListFile(m_list);
    w()->Text11->setText("B");
    w()->Label30->setText("/b.mdb");
    QTest::mouseClick(w()->Command21, Qt::LeftButton);
    QTest::mouseClick(w()->Command20, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{"通常のファイルではないため、書き込みできません\r" + m_list,
                                             "複数ＤＢ指定時の環境設定ﾌｧｲﾙを指定して下さい"}));
    QVERIFY(!QFileInfo(m_list).isFile() && QFileInfo::exists(m_list));
}

QTEST_MAIN(TestDbList)
#include "tst_dblist.moc"
