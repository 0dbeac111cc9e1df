// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/backups.h"
#include "settings/dirs.h"
#include "testenv.h"
#include "ui/interaction.h"
#include "ui/restoredialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

using namespace qadora;
using namespace qadora::test;

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void randomChanges_undoneAndRedoneThroughTheWindow();
    void undo_refusedWhileAnotherProgramChangedTheRecord();
    void undoKey_inAnEmptiedBox_takesTheAddBack();
    void history_followsTheDatabase();
    void backups_firstChangeOfASession_andRestoreByKeys();

private:
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    QAction* action(const char* name) { return w()->findChild<QAction*>(name); }
    void open(const QList<Record>& records);
    // The focus, where a person's next key goes.
    QWidget* focus() { return QApplication::focusWidget(); }
    void retype(QWidget* box, const QString& text);
    void clickRow(QListWidget* list, int row);
    void add(const QString& kind, const QString& quest, const QString& answer);
    void change(int row, const QString& quest, const QString& answer);
    void remove(int row);

    QTemporaryDir* m_dir = nullptr;
    QString m_db;
    std::unique_ptr<Window> m_win;
};

void TestUndo::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    open({{0, "sub1,初級", "一", "答え一"}, {0, "sub1,初級", "二", "a\r\nb"}, {0, "sub2,中級", "三", "答え三"}});
}

void TestUndo::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    delete m_dir;
}

void TestUndo::open(const QList<Record>& records)
{
    m_db = makeDatabase(m_dir->filePath("qa.mdb"), records);
    m_win = openWindow(m_db, m_dir->path());
    showActive(w());
}

void TestUndo::retype(QWidget* box, const QString& text)
{
    box->setFocus();
    pressKey(box, Qt::Key_A, Qt::ControlModifier);
    typeText(box, text);
}

void TestUndo::clickRow(QListWidget* list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// The entry tab's Enter path: kind, Enter, question, Enter, answer, Shift+Enter, Enter.
void TestUndo::add(const QString& kind, const QString& quest, const QString& answer)
{
    w()->SSTab1->setCurrentIndex(1);
    retype(w()->Combo1->lineEdit(), kind + "\n");
    QCOMPARE(focus(), w()->Text1);
    typeText(focus(), quest + "\n");
    QCOMPARE(focus(), w()->rtext1);
    typeText(focus(), answer);
    pressKey(focus(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(focus(), w()->Command3);
    pressKey(focus(), Qt::Key_Return);
}

void TestUndo::change(int row, const QString& quest, const QString& answer)
{
    w()->SSTab1->setCurrentIndex(3);
    QTest::mouseClick(w()->Command2, Qt::LeftButton);
    clickRow(w()->List3, row);
    QTest::mouseClick(w()->Command9, Qt::LeftButton);
    retype(w()->Text4, quest);
    retype(w()->Text5, answer);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
}

void TestUndo::remove(int row)
{
    w()->SSTab1->setCurrentIndex(2);
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    clickRow(w()->List2, row);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QCOMPARE(focus(), w()->Command7);
    pressKey(focus(), Qt::Key_Return);
}

// Twenty adds, changes and deletes made as a person makes them, then every one undone with
// Ctrl+Z: the same records with the same numbers; then every one redone from the menu.
void TestUndo::randomChanges_undoneAndRedoneThroughTheWindow()
{
    const QList<Record> start = readAll(m_db);
    QRandomGenerator random(16);
    QStringList said; // what each change and delete says when it is done
    for (int i = 0; i < 20; ++i) {
        const int records = int(readAll(m_db).size());
        const int op = records == 0 ? 0 : random.bounded(3);
        const QString n = QString::number(i);
        if (op == 0) {
            add("sub" + n + ",種類" + n, "質問" + n, "答え" + n + "\n二行目");
        } else if (op == 1) {
            change(random.bounded(records), "変更" + n, "新しい答え" + n);
            said << "データを変更しました";
        } else {
            remove(random.bounded(records));
            said << "削除しました";
            if (records == 1) // the listing after the delete finds the table empty
                said.insert(said.size() - 1, "データが登録されていません");
        }
    }
    QCOMPARE(fake().messages(), said);
    const QList<Record> end = readAll(m_db);
    QVERIFY(action("undo")->isEnabled() && !action("redo")->isEnabled());
    QCOMPARE(w()->undoStack()->count(), 20);

    for (int i = 0; i < 20; ++i)
        pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(m_db), start);
    QVERIFY(!action("undo")->isEnabled());
    QCOMPARE(w()->statusBar()->currentMessage(), "元に戻しました：" + w()->undoStack()->command(0)->text());
    // The listings on the tabs follow.
    QCOMPARE(itemsOf(w()->List2), (QStringList{"一", "二", "三"}));
    QCOMPARE(itemsOf(w()->List3), (QStringList{"一", "二", "三"}));
    QCOMPARE(w()->Label13->text(), QStringLiteral("3"));

    for (int i = 0; i < 20; ++i)
        action("redo")->trigger();
    QCOMPARE(readAll(m_db), end);
    QVERIFY(!action("redo")->isEnabled());
    QVERIFY(w()->statusBar()->currentMessage().startsWith("やり直しました："));
    QCOMPARE(fake().messages(), said);
}

// Another program (sqlite3) changes the record between the add and its undo: the undo is
// refused, nothing is written, and it can be tried again once the record is back.
void TestUndo::undo_refusedWhileAnotherProgramChangedTheRecord()
{
    add("k,t", "新しい", "答え");
    const QList<Record> added = readAll(m_db);
    QCOMPARE(runSqlite(m_db, "UPDATE tbl1 SET anser = 'theirs' WHERE quest = '新しい';"), QByteArray());
    w()->Command4->setFocus();
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(fake().messages(), QStringList{"ほかのプログラムがこのデータを変更したため、元に戻せません\r新しい"});
    QCOMPARE(readAll(m_db).last().anser, QStringLiteral("theirs"));
    QVERIFY(action("undo")->isEnabled() && !action("redo")->isEnabled());

    // As it was: Shift+Enter, which leaves the answer box, has put a line break at its end.
    QCOMPARE(added.last().anser, QStringLiteral("答え<br>\r\n"));
    QCOMPARE(runSqlite(m_db, "UPDATE tbl1 SET anser = '答え<br>' || char(13, 10) WHERE quest = '新しい';"), QByteArray());
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(m_db).size(), added.size() - 1);
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("元に戻しました：データの追加「新しい」"));
    // Its number is taken meanwhile: the redo is refused in its own words.
    QCOMPARE(runSqlite(m_db, QString("INSERT INTO tbl1 (No, kind, quest, anser) VALUES (%1, 'x,x', 'よそ', 'y');").arg(added.last().no)),
             QByteArray());
    action("redo")->trigger();
    QCOMPARE(fake().messages().last(), QStringLiteral("ほかのプログラムがこのデータを変更したため、やり直せません\rよそ"));
    QVERIFY(action("redo")->isEnabled());
}

// After an add the question box is empty and has the focus: Ctrl+Z there takes the add back.
// While a box has typing of its own, Ctrl+Z undoes that typing only.
void TestUndo::undoKey_inAnEmptiedBox_takesTheAddBack()
{
    add("k,t", "四", "答え");
    QCOMPARE(focus(), w()->Text1);
    typeText(focus(), "abc");
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w()->Text1->text(), QString());
    QCOMPARE(readAll(m_db).size(), 4);
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(m_db).size(), 3);
    QCOMPARE(itemsOf(w()->List1), (QStringList{"一", "二", "三"}));
    QCOMPARE(w()->Label6->text(), QStringLiteral("3"));
    // The box can redo its typing, so Ctrl+Y there is the box's; the menu redoes the add.
    pressKey(focus(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w()->Text1->text(), QStringLiteral("abc"));
    action("redo")->trigger();
    QCOMPARE(readAll(m_db).size(), 4);
    QCOMPARE(w()->statusBar()->currentMessage(), QStringLiteral("やり直しました：データの追加「四」"));
    // The emptied answer box gives the keys up too.
    w()->rtext1->setFocus();
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(m_db).size(), 3);
}

// Each database keeps its own history; the one that was switched to is the one undone.
void TestUndo::history_followsTheDatabase()
{
    const QString other = makeDatabase(m_dir->filePath("other.mdb"), {{0, "k,t", "よそ", "x"}});
    remove(0);
    QCOMPARE(readAll(m_db).size(), 2);
    fake().fileNameNext(other);
    fake().answerNext(false); // adopt it as it is
    action("dbmake")->trigger();
    QVERIFY(!action("undo")->isEnabled());
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(other).size(), 1);
    fake().fileNameNext(m_db);
    fake().answerNext(false);
    action("dbmake")->trigger();
    QVERIFY(action("undo")->isEnabled());
    pressKey(focus(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(m_db).size(), 3);
    QCOMPARE(readAll(m_db).first(), (Record{1, "sub1,初級", "一", "答え一"}));
}

// The first change of a session backs the database up once; ファイル → バックアップから復元…
// lists the backups, and the chosen one comes back after a question whose Enter is No.
void TestUndo::backups_firstChangeOfASession_andRestoreByKeys()
{
    const QList<Record> start = readAll(m_db);
    add("k,t", "四", "a");
    add("k,t", "五", "b");
    QList<BackupEntry> backups = backupsOf(m_db);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(backups[0].records, 3);

    QtInteraction shown(w());
    fake().showQuestionsWith(&shown);
    QStringList seen;
    std::optional<ModalWait> confirming;
    auto chooseFirstThen = [&](std::function<void(QWidget*)> answer) {
        return onNextModal([&, answer](QWidget* chooser) {
            auto* list = chooser->findChild<QListWidget*>("backups");
            seen = itemsOf(list);
            confirming.emplace(onNextModal(answer));
            pressOnDialog(chooser, Qt::Key_Return);
        });
    };
    const auto first = chooseFirstThen([](QWidget* question) { pressOnDialog(question, Qt::Key_Return); });
    action("restore")->trigger();
    QCOMPARE(seen, QStringList{backupLine(backups[0])});
    QVERIFY(seen[0].endsWith("　3 件"));
    QCOMPARE(readAll(m_db).size(), 5);

    const auto second = chooseFirstThen([](QWidget* question) {
        QTest::mouseClick(question->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes), Qt::LeftButton);
    });
    action("restore")->trigger();
    QCOMPARE(readAll(m_db), start);
    QCOMPARE(w()->statusBar()->currentMessage(), "バックアップから復元しました：" + backupLine(backups[0]));
    // The state restored over is a backup too, and the history of the old state is gone.
    backups = backupsOf(m_db);
    QCOMPARE(backups.size(), 2);
    QCOMPARE(backups[0].records, 5);
    QVERIFY(!action("undo")->isEnabled());
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
