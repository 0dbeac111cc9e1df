// SPDX-License-Identifier: GPL-3.0-or-later
// The search boxes as a person uses them: words typed (key clicks, input-method commits for
// Japanese), a row picked from the narrowed list and loaded, shown or deleted.
#include "testenv.h"
#include "ui/appsetup.h"
#include "ui/csvdialogs.h"
#include "ui/recordsearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        setUpJapanese(*qApp);
    }
    void init();
    void cleanup();

    void display_typedWord_narrowsBothListsAndCount();
    void display_doubleClickFilteredRow_showsItsRecord();
    void delete_pickFilteredRow_deletesThatRecord();
    void modify_japaneseWord_loadsAndSavesPickedRecord();
    void modify_searchBeforeListing_listsFirst();
    void modify_kindRestriction_searchesWithinIt();
    void words_allMustMatch_widthAndCaseIgnored_data();
    void words_allMustMatch_widthAndCaseIgnored();
    void ctrlF_focusesTabsBox_escapeClears();
    void otherWriter_recordFoundAfterItIsListed();
    void otherDatabase_searchListsItFirst();
    void delete_recordsChangeUnderSearch_listFollows_data();
    void delete_recordsChangeUnderSearch_listFollows();

private:
    // Waits until the index of the database is read and the lists follow it.
    void settle()
    {
        w()->recordSearch()->waitForIndex();
        w()->recordSearch()->settle();
    }
    void pickRow(QListWidget* list, int row);
    // Clicks into the box and types, as a person does.
    void search(QLineEdit* box, const QString& text)
    {
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), box);
        typeText(box, text);
        settle();
    }

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
    {0, "sub200,中級編", "パスワードを忘れました", "ログイン画面の「再設定」を押して下さい。"},
    {0, "sub200,中級編", "Ｗｉｎｄｏｗｓで使えますか", "Windows 10 以降で使えます。"},
    {0, "sub300,上級編", "退会したい", "設定画面から手続きできます。"},
};

} // namespace

void TestSearch::init()
{
    clearSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    m_db = makeDatabase(m_dir->filePath("hpdata1.mdb"), kRecords);
    m_win = openWindow(m_db, m_dir->path());
    w()->resize(900, 650);
    showActive(w());
    settle();
}

void TestSearch::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    m_dir.reset();
}

void TestSearch::pickRow(QListWidget* list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    QCOMPARE(list->currentRow(), row);
}

void TestSearch::display_typedWord_narrowsBothListsAndCount()
{
    w()->Command18->click();
    QCOMPARE(w()->List9->count(), 5);
    search(w()->searchDisplay, QStringLiteral("ログイン"));
    QCOMPARE(itemsOf(w()->List9), (QStringList{"sub100.html , 初級編 / ログインできません / パスワードを再設定して下さい。",
                                               "sub200.html , 中級編 / パスワードを忘れました / ログイン画面の「再設定」を押して下さい。"}));
    // The hidden whole lines stay beside the rows they belong to.
    QCOMPARE(itemsOf(w()->List10), itemsOf(w()->List9));
    QCOMPARE(w()->Label24->text(), QStringLiteral("2"));

    pressKey(w()->searchDisplay, Qt::Key_Escape);
    settle();
    QCOMPARE(w()->searchDisplay->text(), QString());
    QCOMPARE(w()->List9->count(), 5);
    QCOMPARE(w()->List10->count(), 5);
    QCOMPARE(w()->Label24->text(), QStringLiteral("5"));
}

void TestSearch::display_doubleClickFilteredRow_showsItsRecord()
{
    const QString longAnswer = QString(70, QChar(u'あ')) + QStringLiteral("おわり");
    appendRecords(m_db, {{0, "sub400,長文", "長い答え", longAnswer}});
    w()->Command18->click();
    search(w()->searchDisplay, QStringLiteral("おわり"));
    QCOMPARE(w()->List9->count(), 1);
    QCOMPARE(w()->List9->item(0)->text().size(), 60);
    pickRow(w()->List9, 0);
    QTest::mouseDClick(w()->List9->viewport(), Qt::LeftButton, {}, w()->List9->visualItemRect(w()->List9->item(0)).center());
    QCOMPARE(fake().messages(), QStringList{"sub400.html , 長文 / 長い答え / " + longAnswer});
}

void TestSearch::delete_pickFilteredRow_deletesThatRecord()
{
    w()->SSTab1->setCurrentIndex(2);
    w()->Command5->click();
    // "windows" in ASCII finds the full-width question and the half-width answer alike.
    search(w()->searchDelete, QStringLiteral("windows"));
    QCOMPARE(itemsOf(w()->List2), QStringList{"Ｗｉｎｄｏｗｓで使えますか"});
    QCOMPARE(w()->Label7->text(), QStringLiteral("1"));
    pickRow(w()->List2, 0);
    w()->Command6->click();
    QCOMPARE(w()->Text7->text(), QStringLiteral("Ｗｉｎｄｏｗｓで使えますか"));
    w()->Command7->click();
    QCOMPARE(fake().messages(), QStringList{"削除しました"});
    const QList<Record> left = readAll(m_db);
    QCOMPARE(left.size(), 4);
    QVERIFY(std::none_of(left.begin(), left.end(), [](const Record& r) { return r.quest.startsWith(u'Ｗ'); }));
    // The list stays narrowed to the word: nothing left that holds it.
    settle();
    QCOMPARE(w()->List2->count(), 0);
    QCOMPARE(w()->Label7->text(), QStringLiteral("0"));
    // Undone and redone, the record comes and goes within the narrowed list, and the count
    // of the database follows at once.
    pressKey(w()->List2, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w()->recordCount->text(), QStringLiteral("データ件数：5件"));
    settle();
    QCOMPARE(itemsOf(w()->List2), QStringList{"Ｗｉｎｄｏｗｓで使えますか"});
    QCOMPARE(w()->Label7->text(), QStringLiteral("1"));
    pressKey(w()->List2, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w()->recordCount->text(), QStringLiteral("データ件数：4件"));
    settle();
    QCOMPARE(w()->List2->count(), 0);
    QTest::mouseClick(w()->searchDelete, Qt::LeftButton);
    pressKey(w()->searchDelete, Qt::Key_Escape);
    QCOMPARE(w()->List2->count(), 4);
    QCOMPARE(w()->Label7->text(), QStringLiteral("4"));
}

void TestSearch::modify_japaneseWord_loadsAndSavesPickedRecord()
{
    w()->SSTab1->setCurrentIndex(3);
    w()->Command2->click();
    search(w()->searchModify, QStringLiteral("再設定"));
    QCOMPARE(itemsOf(w()->List3), (QStringList{"ログインできません", "パスワードを忘れました"}));
    // The second row of the narrowed list is the third record, not the full list's second.
    pickRow(w()->List3, 1);
    w()->Command9->click();
    QCOMPARE(w()->Text4->text(), QStringLiteral("パスワードを忘れました"));
    QCOMPARE(w()->Text3->text(), QStringLiteral("sub200,中級編"));
    w()->Text5->setPlainText(QStringLiteral("メールで届くリンクから変更して下さい。"));
    w()->Command10->click();
    QCOMPARE(fake().messages(), QStringList{"データを変更しました"});
    QCOMPARE(readAll(m_db)[2].anser, QStringLiteral("メールで届くリンクから変更して下さい。"));
    QCOMPARE(readAll(m_db)[1].anser, QStringLiteral("月額５００円です。"));
    // Its answer no longer holds the word: once the change is read, the row goes.
    QTRY_COMPARE(itemsOf(w()->List3), QStringList{"ログインできません"});
    QCOMPARE(w()->Label13->text(), QStringLiteral("1"));
}

void TestSearch::modify_searchBeforeListing_listsFirst()
{
    w()->SSTab1->setCurrentIndex(3);
    QCOMPARE(w()->List3->count(), 0);
    search(w()->searchModify, QStringLiteral("退会"));
    QCOMPARE(itemsOf(w()->List3), QStringList{"退会したい"});
    QCOMPARE(w()->Label13->text(), QStringLiteral("1"));
    pressKey(w()->searchModify, Qt::Key_Escape);
    QCOMPARE(w()->List3->count(), 5);
}

void TestSearch::modify_kindRestriction_searchesWithinIt()
{
    w()->SSTab1->setCurrentIndex(3);
    w()->Check3->setChecked(true);
    w()->Command25->click();
    pickRow(w()->List12, 0); // sub100,初級編
    search(w()->searchModify, QStringLiteral("パスワード"));
    QCOMPARE(itemsOf(w()->List3), QStringList{"ログインできません"});
    pressKey(w()->searchModify, Qt::Key_Escape);
    QCOMPARE(itemsOf(w()->List3), (QStringList{"ログインできません", "料金はいくらですか"}));
}

void TestSearch::words_allMustMatch_widthAndCaseIgnored_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("two words, both in one record") << "ログイン　再設定" << QStringList{"ログインできません", "パスワードを忘れました"};
    QTest::newRow("one word in the kind, one in the answer") << "中級 windows" << QStringList{"Ｗｉｎｄｏｗｓで使えますか"};
    QTest::newRow("full-width digits find half-width") << "５００" << QStringList{"料金はいくらですか"};
    QTest::newRow("half-width kana find full-width") << "ﾛｸﾞｲﾝ" << QStringList{"ログインできません", "パスワードを忘れました"};
    QTest::newRow("upper case finds lower") << "SUB3" << QStringList{"退会したい"};
    QTest::newRow("hiragana is not katakana") << "ろぐいん" << QStringList{};
    QTest::newRow("a word across two fields") << "編ログ" << QStringList{};
    QTest::newRow("one word missing") << "ログイン 退会" << QStringList{};
}

void TestSearch::words_allMustMatch_widthAndCaseIgnored()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, rows);
    w()->SSTab1->setCurrentIndex(3);
    w()->Command2->click();
    search(w()->searchModify, typed);
    QCOMPARE(itemsOf(w()->List3), rows);
    QCOMPARE(w()->Label13->text(), QString::number(rows.size()));
}

void TestSearch::ctrlF_focusesTabsBox_escapeClears()
{
    const std::pair<int, QLineEdit*> boxes[] = {{0, w()->searchDisplay}, {2, w()->searchDelete}, {3, w()->searchModify}};
    for (const auto& [tab, box] : boxes) {
        w()->SSTab1->setCurrentIndex(tab);
        w()->SSTab1->currentWidget()->setFocus();
        box->setText(QStringLiteral("abc"));
        pressKey(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        QCOMPARE(box->selectedText(), QStringLiteral("abc"));
        pressKey(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(box->text(), QString());
    }
}

void TestSearch::otherWriter_recordFoundAfterItIsListed()
{
    w()->SSTab1->setCurrentIndex(2);
    w()->Command5->click();
    search(w()->searchDelete, QStringLiteral("解約"));
    QCOMPARE(w()->List2->count(), 0);
    runSqlite(m_db, "INSERT INTO tbl1 (kind, quest, anser) VALUES ('sub300,上級編', '解約の方法', 'メールで連絡して下さい。');");
    w()->Command5->click();
    QTRY_COMPARE(itemsOf(w()->List2), QStringList{"解約の方法"});
    QCOMPARE(w()->Label7->text(), QStringLiteral("1"));
}

void TestSearch::otherDatabase_searchListsItFirst()
{
    w()->SSTab1->setCurrentIndex(3);
    search(w()->searchModify, QStringLiteral("ログイン")); // lists the first database
    QCOMPARE(w()->List3->count(), 2);
    const QString other = makeDatabase(m_dir->filePath("other.mdb"), {{0, "sub1,a", "別のデータベースの質問", "ログインの答え"}});
    QVERIFY(w()->openDatabase(other));
    // The listing on the tab is of the database before; the search lists the one in use.
    typeText(w()->searchModify, QStringLiteral("の"));
    settle();
    QCOMPARE(itemsOf(w()->List3), QStringList{"別のデータベースの質問"});
    pickRow(w()->List3, 0);
    w()->Command9->click();
    QCOMPARE(w()->Text5->toPlainText(), QStringLiteral("ログインの答え"));
}

void TestSearch::delete_recordsChangeUnderSearch_listFollows_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("rows");
    // Deleted from four rows: the listing's new count is the count the search showed.
    QTest::newRow("a delete") << "で" << "delete" << QStringList{"料金はいくらですか", "Ｗｉｎｄｏｗｓで使えますか", "退会したい"};
    QTest::newRow("the delete undone") << "パスワード" << "undo" << QStringList{"ログインできません", "パスワードを忘れました"};
    QTest::newRow("the kind renamed") << "中級" << "rename" << QStringList{};
}

void TestSearch::delete_recordsChangeUnderSearch_listFollows()
{
    QFETCH(QString, typed);
    QFETCH(QString, change);
    QFETCH(QStringList, rows);
    w()->SSTab1->setCurrentIndex(2);
    w()->Command5->click();
    search(w()->searchDelete, typed);
    if (change != "rename") {
        pickRow(w()->List2, 0);
        w()->Command6->click();
        w()->Command7->click();
    }
    if (change == "undo")
        pressKey(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    if (change == "rename") {
        const auto dialog = onNextModal([](QWidget* dialog) {
            auto* rename = qobject_cast<RenameKindDialog*>(dialog);
            rename->kind->setCurrentIndex(rename->kind->findText(QStringLiteral("sub200,中級編")));
            rename->newKind->selectAll();
            typeText(rename->newKind, QStringLiteral("sub200,応用編"));
            pressKey(rename->newKind, Qt::Key_Return);
        });
        w()->renameKind->click();
        showActive(w()); // back from the dialog
    }
    settle();
    QCOMPARE(itemsOf(w()->List2), rows);
    QCOMPARE(w()->Label7->text(), QString::number(rows.size()));
    QTest::mouseClick(w()->searchDelete, Qt::LeftButton);
    pressKey(w()->searchDelete, Qt::Key_Escape);
    const QString records = QString::number(readAll(m_db).size());
    QCOMPARE(QString::number(w()->List2->count()), records);
    QCOMPARE(w()->Label7->text(), records);
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
