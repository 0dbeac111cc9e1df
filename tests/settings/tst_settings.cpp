// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/dirs.h"
#include "site/pagefile.h"
#include "testenv.h"
#include "ui/folderpicker.h"

#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QSettings>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { clearSettings(); }

    void databasePathFromSetting_data();
    void databasePathFromSetting();
    void procedures_readAndSave();

    void startup_firstRun();
    void startup_databaseForms_data();
    void startup_databaseForms();
    void startup_deletedDatabase_keepsThePath();
    void startup_restoresOutputDirectory();
    void startup_missingOutputDirectory_fallsBackToHome();
    void startup_listFilePathShown();
    void close_savesOutputDirectoryEvenWhenUnchanged();
    void handEditedValues_keepTheirCommas_data();
    void handEditedValues_keepTheirCommas();

private:
    struct Started {
        std::unique_ptr<FakeInteraction> fake;
        std::unique_ptr<main1> w;
        Started() = default;
        Started(Started&&) = default;
        // The window works in its output folder, which Windows keeps from being removed while
        // it is a program's current folder: closed, the test steps out of it.
        ~Started()
        {
            if (w) {
                w.reset();
                QDir::setCurrent(QDir::tempPath());
            }
        }
    };
    Started start()
    {
        Started s;
        s.fake = std::make_unique<FakeInteraction>();
        s.w = std::make_unique<main1>(s.fake.get());
        s.w->Form_Load();
        return s;
    }
    QTemporaryDir m_dir;
};

void TestSettings::databasePathFromSetting_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("path");
    QTest::newRow("bare path") << "C:\\db\\a.mdb" << "C:\\db\\a.mdb";
    QTest::newRow("list entry") << "Title,C:\\db\\a.mdb,,HOME,C:\\out" << "C:\\db\\a.mdb";
    QTest::newRow("title and path") << "Title,C:\\db\\a.mdb" << "C:\\db\\a.mdb";
    QTest::newRow("comma in the path") << "C:\\a,b\\x.mdb" << "b\\x.mdb";
    QTest::newRow("linux path") << "/home/u/qa.mdb" << "/home/u/qa.mdb";
    QTest::newRow("empty") << "" << "";
}

void TestSettings::databasePathFromSetting()
{
    QFETCH(QString, stored);
    QFETCH(QString, path);
    QCOMPARE(qadora::databasePathFromSetting(stored), path);
}

void TestSettings::procedures_readAndSave()
{
    QCOMPARE(dirs::rwfirstdir(1), QString());
    QCOMPARE(dirs::rwpgmname(2, "/x/a.mdb"), QString());
    QCOMPARE(dirs::rwpgmname(1), QStringLiteral("/x/a.mdb"));
    QCOMPARE(dirs::rwsettext(3, "/x/dbnames.txt"), QString()); // any mode but 1 saves
    QCOMPARE(dirs::rwsettext(1), QStringLiteral("/x/dbnames.txt"));
    dirs::rwpgmname(2, QString());
    QCOMPARE(dirs::rwpgmname(1), QString());
    QCOMPARE(dirs::rwfirstdir(1), QString());
}

void TestSettings::startup_firstRun()
{
    Started s = start();
    QCOMPARE(s.fake->messages(), QStringList{"メニューバーの「ファイル」「データベースの設定」を選択し\rデータベースを作成して下さい"});
    QCOMPARE(s.w->Label1->text(), QString());
    QCOMPARE(s.w->Label28->text(), QString());
    QCOMPARE(s.w->Label22->text(), QStringLiteral("ﾌｫｰﾏｯﾄ:\r　subindexﾌｧｲﾙ名 　半角ｶﾝﾏ　 subindexﾀｲﾄﾙ名\r"
                                                  "　subindexﾌｧｲﾙ名 = 英数字半角8文字以内\r例：\r　sub100,初級編"));
    QCOMPARE(s.w->SSTab1->currentIndex(), 0);
    QCOMPARE(s.w->databasePath(), QString());
    // Never an empty or dead output directory.
    QCOMPARE(s.w->Label36->text(), QDir::homePath());
    QCOMPARE(s.w->Dir1->path(), QDir::homePath());
}

void TestSettings::startup_databaseForms_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("usable");
    const QString db = m_dir.filePath("a.mdb");
    QTest::newRow("bare") << db << db << true;
    QTest::newRow("list entry") << "Title," + db + ",,HOME," + m_dir.path() << db << true;
    QTest::newRow("title and path") << "Title," + db << db << true;
    // Read as a list entry; its relative name is taken in the output folder (home, none saved).
    QTest::newRow("comma in the path") << m_dir.filePath("a,b/x.mdb") << QDir::home().filePath("b/x.mdb") << false;
    QTest::newRow("directory") << m_dir.path() << m_dir.path() << false;
}

void TestSettings::startup_databaseForms()
{
    QFETCH(QString, stored);
    QFETCH(QString, path);
    QFETCH(bool, usable);
    makeDatabase(m_dir.filePath("a.mdb"));
    QDir(m_dir.path()).mkpath("a,b");
    makeDatabase(m_dir.filePath("a,b/x.mdb"));
    dirs::rwpgmname(2, stored);
    Started s = start();
    QCOMPARE(s.w->databasePath(), path);
    QCOMPARE(s.w->Label1->text(), usable ? path : QString());
    QCOMPARE(s.fake->messages().size(), usable ? 0 : 1);
}

void TestSettings::startup_deletedDatabase_keepsThePath()
{
    const QString db = makeDatabase(m_dir.filePath("gone.mdb"));
    dirs::rwpgmname(2, db);
    QFile::remove(db);
    Started s = start();
    QCOMPARE(s.fake->messages().size(), 1);
    QCOMPARE(s.w->Label1->text(), QString());
    QCOMPARE(s.w->databasePath(), db);
}

void TestSettings::startup_restoresOutputDirectory()
{
    QTemporaryDir out;
    QFile(QDir(out.path()).filePath("page.html")).open(QIODevice::WriteOnly);
    dirs::rwfirstdir(2, out.path() + "/");
    Started s = start();
    const QString expected = outputDirForm(out.path());
    QCOMPARE(s.w->Dir1->path(), expected);
    QCOMPARE(s.w->Label36->text(), expected);
    QCOMPARE(s.w->Label38->text(), expected);
    QCOMPARE(itemsOf(s.w->File1), QStringList{"page.html"});
    QCOMPARE(QDir::currentPath(), expected);
}

void TestSettings::startup_missingOutputDirectory_fallsBackToHome()
{
    const QString unplugged = m_dir.filePath("no-such-dir");
    dirs::rwfirstdir(2, unplugged);
    Started s = start();
    QCOMPARE(s.w->Dir1->path(), QDir::homePath());
    QCOMPARE(s.w->Label36->text(), QDir::homePath());
    QCOMPARE(s.w->Label38->text(), QDir::homePath());
    // Closed without a directory picked, the saved one stays for the next start.
    s.w->close();
    QCOMPARE(dirs::rwfirstdir(1), unplugged);
    Started again = start();
    QVERIFY(again.w->Dir1->setPath(m_dir.path()));
    again.w->close();
    QCOMPARE(dirs::rwfirstdir(1), outputDirForm(m_dir.path()));
}

void TestSettings::startup_listFilePathShown()
{
    dirs::rwsettext(2, "/somewhere/dbnames.txt");
    Started s = start();
    QCOMPARE(s.w->Label28->text(), QStringLiteral("/somewhere/dbnames.txt"));
}

void TestSettings::close_savesOutputDirectoryEvenWhenUnchanged()
{
    QTemporaryDir out;
    dirs::rwfirstdir(2, out.path());
    Started s = start();
    clearSettings();
    s.w->close();
    QCOMPARE(dirs::rwfirstdir(1), outputDirForm(out.path()));
    // Nothing else is written at close.
    QCOMPARE(dirs::rwpgmname(1), QString());
}

void TestSettings::handEditedValues_keepTheirCommas_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("value");
    QTest::newRow("list entry") << "pgmname2=Title,/db/a.mdb,,HOME,/out" << "Title,/db/a.mdb,,HOME,/out";
    QTest::newRow("directory") << "firstdir=/srv/a,b" << "/srv/a,b";
    QTest::newRow("list file") << "settext2=/x/a,b.txt" << "/x/a,b.txt";
}

// Written with a text editor, unquoted, where the README says the settings live.
void TestSettings::handEditedValues_keepTheirCommas()
{
    QFETCH(QString, line);
    QFETCH(QString, value);
    const QString file = qadora::openSettings().fileName();
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[startup]\n" + line.toUtf8() + "\n");
    f.close();
    const QString key = line.section('=', 0, 0);
    const QString read = key == "pgmname2" ? dirs::rwpgmname(1) : key == "firstdir" ? dirs::rwfirstdir(1) : dirs::rwsettext(1);
    QCOMPARE(read, value);
    if (key == "pgmname2") {
        Started s = start();
        // The entry's folder, absolute (on Windows with the drive).
        QCOMPARE(s.w->databasePath(), QFileInfo(QStringLiteral("/db/a.mdb")).absoluteFilePath());
    }
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
