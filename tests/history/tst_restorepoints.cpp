// SPDX-License-Identifier: GPL-3.0-or-later
// Restore points made by the window and given back through its dialogs, typed as a person does.
#include "editing/kindrename.h"
#include "history/backups.h"
#include "testenv.h"
#include "ui/csvdialogs.h"
#include "ui/interaction.h"
#include "ui/restoredialog.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestRestorePoints : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();
    void everyImportRenameAndRestore_makesAPointThatSaysWhy();
    void unreadableBackups_cannotBeChosen();
    void emptyFolderButton_accountWithoutDataFolder_trashes();
    void longNameOrLink_importsAfterABackupAndListsThem_data();
    void longNameOrLink_importsAfterABackupAndListsThem();

private:
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    QString path(const QString& name) { return m_dir->filePath(name); }
    void import(const QByteArray& csv);
    // Opens バックアップから復元…, moves in the list with `keys`, then presses Enter on it and
    // answers the question with `yes`; the lines the list showed.
    QStringList restoreWith(const QList<Qt::Key>& keys, bool yes);
    QStringList reasonsAndCounts();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Window> m_win;
    QString m_db;
};

void TestRestorePoints::init()
{
    clearSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(path("outside")));
    writeBytes(path("outside/planted.txt"), "mine");
    m_db = makeDatabase(path("qa.mdb"), {{0, "sub1,初級", "一", "a"}, {0, "sub1,初級", "二", "b"}, {0, "sub2,中級", "三", "c"}});
    m_win = openWindow(m_db, m_dir->path());
    showActive(w());
}

void TestRestorePoints::cleanup()
{
    // The window goes even when a check fails, so that no dialog of it outlives the test.
    const bool answersLeft = fake().questionsLeft();
    m_win.reset();
    QVERIFY2(!answersLeft, "a scripted answer was not used");
    QCOMPARE(readBytes(path("outside/planted.txt")), QByteArray("mine"));
    m_dir.reset();
}

void TestRestorePoints::import(const QByteArray& csv)
{
    writeBytes(path("in.csv"), "No,kind,quest,anser\n" + csv);
    fake().fileNameNext(path("in.csv"));
    const auto preview = onNextModal([](QWidget* dialog) {
        QVERIFY(qobject_cast<ImportDialog*>(dialog));
        pressOnDialog(dialog, Qt::Key_Return);
    });
    w()->importCsv->trigger();
}

QStringList TestRestorePoints::restoreWith(const QList<Qt::Key>& keys, bool yes)
{
    QtInteraction shown(w());
    fake().showQuestionsWith(&shown);
    QStringList seen;
    std::optional<ModalWait> confirming;
    const auto choosing = onNextModal([&](QWidget* chooser) {
        auto* list = chooser->findChild<QListWidget*>("backups");
        seen = itemsOf(list);
        for (Qt::Key key : keys)
            pressOnDialog(chooser, key);
        confirming.emplace(onNextModal([yes](QWidget* question) {
            if (yes)
                QTest::mouseClick(question->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes), Qt::LeftButton);
            else
                pressOnDialog(question, Qt::Key_Return);
        }));
        pressOnDialog(chooser, Qt::Key_Return);
    });
    w()->findChild<QAction*>("restore")->trigger();
    fake().showQuestionsWith(nullptr);
    return seen;
}

QStringList TestRestorePoints::reasonsAndCounts()
{
    QStringList lines;
    for (const BackupEntry& b : backupsOf(m_db))
        lines << backupReasonText(b.reason) + " " + QString::number(b.records);
    return lines;
}

// Each import, kind rename and restore makes its own restore point, not only the session's first
// change; the list says why each was made and what it holds, the question both counts.
void TestRestorePoints::everyImportRenameAndRestore_makesAPointThatSaysWhy()
{
    import(",\"sub1,初級\",四,d\n");
    import(",\"sub1,初級\",五,e\n");
    QCOMPARE(fake().messages(), (QStringList{"1 件のデータを取り込みました", "1 件のデータを取り込みました"}));
    QCOMPARE(reasonsAndCounts(), (QStringList{"取り込み前 4", "取り込み前 3"}));

    const auto rename = onNextModal([](QWidget* dialog) {
        auto* d = qobject_cast<RenameKindDialog*>(dialog);
        QVERIFY(d);
        d->newKind->setFocus();
        d->newKind->selectAll();
        typeText(d->newKind, QStringLiteral("sub9,上級"));
        pressOnDialog(d, Qt::Key_Return);
    });
    QTest::mouseClick(w()->renameKind, Qt::LeftButton);
    QCOMPARE(reasonsAndCounts(), (QStringList{"種類の変更前 5", "取り込み前 4", "取り込み前 3"}));

    // Enter on the question is No; then the oldest, chosen with End, comes back.
    const QList<Record> five = readAll(m_db);
    QStringList seen = restoreWith({Qt::Key_End}, false);
    const QString time = QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d　");
    QCOMPARE(seen.size(), 3);
    for (const auto& [line, rest] : {std::pair(0, "種類の変更前　5 件"), std::pair(1, "取り込み前　4 件"), std::pair(2, "取り込み前　3 件")})
        QVERIFY2(QRegularExpression(time + rest + "$").match(seen[line]).hasMatch(), qPrintable(seen[line]));
    QVERIFY2(fake().questions().last().contains(QStringLiteral("現在 5 件 → 復元後 3 件")), qPrintable(fake().questions().last()));
    QCOMPARE(readAll(m_db), five);

    restoreWith({Qt::Key_End}, true);
    QCOMPARE(readAll(m_db).size(), 3);
    QCOMPARE(reasonsAndCounts(), (QStringList{"復元前 5", "種類の変更前 5", "取り込み前 4", "取り込み前 3"}));
}

// A file that does not read as a Q&A database is listed as 読み込めません but cannot be chosen:
// the keys pass over it, and where it is all there is, Enter restores nothing.
void TestRestorePoints::unreadableBackups_cannotBeChosen()
{
    QString error, good;
    QVERIFY2(backUp(m_db, &error, &good), qPrintable(error));
    const QString junk = backupFolderFor(m_db) + "/qa 2099-01-01 10-00-00-000 #5 import.mdb";
    writeBytes(junk, "not a database");
    runSqlite(m_db, "DELETE FROM tbl1;");

    const QStringList seen = restoreWith({Qt::Key_Up, Qt::Key_Home}, true);
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].endsWith(QStringLiteral("　読み込めません")));
    QCOMPARE(readAll(m_db).size(), 3);
    QCOMPARE(readBytes(junk), QByteArray("not a database"));

    // Only the unreadable one: the restore button cannot be pressed.
    for (const BackupEntry& b : backupsOf(m_db)) {
        if (b.path != junk)
            QFile::remove(b.path);
    }
    const QByteArray before = readBytes(m_db);
    bool disabled = false;
    const auto choosing = onNextModal([&](QWidget* chooser) {
        disabled = !chooser->findChild<QPushButton*>("restoreButton")->isEnabled();
        pressOnDialog(chooser, Qt::Key_Return);
        QVERIFY(chooser->isVisible());
        pressOnDialog(chooser, Qt::Key_Escape);
    });
    w()->findChild<QAction*>("restore")->trigger();
    QVERIFY(disabled);
    QCOMPARE(readBytes(m_db), before);
    QVERIFY(fake().questions().size() == 1); // the first restore's only
}

// A new account has no ~/.local/share: ﾃﾞｨﾚｸﾄﾘ内全削除 makes the home trash and trashes.
void TestRestorePoints::emptyFolderButton_accountWithoutDataFolder_trashes()
{
    QADORA_LINUX_ONLY("a new account's freedesktop trash under $HOME (Windows has the Recycle Bin)");
    const QString site = path("site");
    QVERIFY(QDir().mkpath(site));
    writeBytes(site + "/index.html", "i");
    writeBytes(site + "/qa001.html", "q");
    m_win = openWindow(m_db, site);
    QVERIFY(QDir().mkpath(path("home")));
    const QByteArray home = qgetenv("HOME");
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(path("home")));
    qunsetenv("XDG_DATA_HOME");
    fake().answerNext(true);
    QTest::mouseClick(w()->Command16, Qt::LeftButton);
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", data);
    QCOMPARE(fake().messages(), QStringList());
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("2 個のファイルをごみ箱に移しました"));
    QCOMPARE(QDir(path("home/.local/share/Trash/files")).entryList(QDir::Files, QDir::Name),
             (QStringList{"index.html", "qa001.html"}));
    QCOMPARE(QDir(site).entryList(QDir::Files), QStringList());
}

void TestRestorePoints::longNameOrLink_importsAfterABackupAndListsThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("80 kana") << QString(80, u'あ') + ".mdb" << false;
    QTest::newRow("opened through a link, backed up by the real path before") << "linked.mdb" << true;
}

void TestRestorePoints::longNameOrLink_importsAfterABackupAndListsThem()
{
    QFETCH(QString, name);
    QFETCH(bool, throughLink);
    if (throughLink)
        QADORA_LINUX_ONLY("a symbolic link (QFile::link makes a shortcut, a file of its own, on Windows)");
    const QString real = makeDatabase(path(name), {{0, "sub1,初級", "一", "a"}});
    QString opened = real;
    if (throughLink) {
        QString error;
        QVERIFY2(backUp(real, &error), qPrintable(error));
        opened = path("link.mdb");
        QVERIFY(QFile::link(real, opened));
    }
    m_win = openWindow(opened, m_dir->path());
    m_db = opened;
    import(",\"sub1,初級\",二,b\n");
    QCOMPARE(fake().messages(), QStringList{"1 件のデータを取り込みました"});
    QCOMPARE(readAll(real).size(), 2);
    const QStringList seen = restoreWith({Qt::Key_End}, true);
    QCOMPARE(seen.size(), throughLink ? 2 : 1);
    QVERIFY2(seen[0].endsWith(QStringLiteral("　取り込み前　1 件")), qPrintable(seen[0]));
    QCOMPARE(readAll(real).size(), 1);
}

QTEST_MAIN(TestRestorePoints)
#include "tst_restorepoints.moc"
