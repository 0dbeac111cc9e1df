// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/dirs.h"
#include "store/recordstore.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

using namespace qadora;
using namespace qadora::test;

namespace {
const QString kNoDatabase = QStringLiteral("環境設定にてアクセスデータベースを作成してください");
const QString kNoRecords = QStringLiteral("データが登録されていません");
const QString kNotFound = QStringLiteral("該当するデータが見つかりません。\r「①データ表示（質問）」を押して一覧を表示し直して下さい");
} // namespace

class TestEditing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void add_storesAndRefreshes();
    void add_lineBreaks_data();
    void add_lineBreaks();
    void add_refusals_data();
    void add_refusals();
    void add_sameQuestionTwice();
    void add_withoutDatabase_stillClearsBoxes();
    void add_readOnlyOrFullDisk_keepsBoxes_data();
    void add_readOnlyOrFullDisk_keepsBoxes();
    void byteCount_data();
    void byteCount();
    void enterKeyPath();

    void change_roundTrips_data();
    void change_roundTrips();
    void change_editedQuestionAndMalformedKind();
    void change_sameQuestion_reachesFirst();
    void change_listingFollowsRestriction();
    void change_nothingLoaded_isRefused();
    void change_staleRecord_isNotFound();
    void change_tooLong_keepsBoxes();
    void load_refusals();
    void deleteTabLoad_leavesShownQuestion();

    void delete_removesAndRelists();
    void delete_sameQuestion_onlyFirst();
    void delete_editedQuestionBox();
    void sameQuestion_shownRecordGone_writesNothing_data();
    void sameQuestion_shownRecordGone_writesNothing();
    void delete_twice();
    void delete_specialCharacters_data();
    void delete_specialCharacters();
    void delete_withoutUsableDatabase_data();
    void delete_withoutUsableDatabase();

    void endToEnd();

    void typedKind_data();
    void typedKind();
    void storedAnswer_roundTrips_data();
    void storedAnswer_roundTrips();
    void typedBreaks_becomeCrLf();

private:
    void open(const QList<Record>& records);
    void loadForChange(int row);
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }

    QTemporaryDir* m_dir = nullptr;
    QString m_db;
    std::unique_ptr<Window> m_win;
};

void TestEditing::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    open({{0, "sub100,初級編", "Q1", "A1"}, {0, "sub200,中級編", "Q2", "a<br>\r\nb"}});
}

void TestEditing::cleanup()
{
    QVERIFY2(!fake().questionsLeft(), "a scripted answer was not used");
    m_win.reset();
    delete m_dir;
}

void TestEditing::open(const QList<Record>& records)
{
    m_db = makeDatabase(m_dir->filePath("qa.mdb"), records);
    m_win = openWindow(m_db, m_dir->path());
}

void TestEditing::loadForChange(int row)
{
    QTest::mouseClick(w()->Command2, Qt::LeftButton);
    w()->List3->setCurrentRow(row);
    QTest::mouseClick(w()->Command9, Qt::LeftButton);
}

void TestEditing::add_storesAndRefreshes()
{
    w()->show();
    w()->Combo1->setEditText("sub300,上級編");
    w()->Text1->setText("Q3");
    w()->rtext1->setPlainText("一行目\n二行目");
    QTest::mouseClick(w()->Command3, Qt::LeftButton);
    QVERIFY(fake().messages().isEmpty());
    const QList<Record> all = readAll(m_db);
    QCOMPARE(all.size(), 3);
    QCOMPARE(all[2].kind, QStringLiteral("sub300,上級編"));
    QCOMPARE(all[2].quest, QStringLiteral("Q3"));
    QCOMPARE(all[2].anser, QStringLiteral("一行目<br>\r\n二行目"));
    QCOMPARE(itemsOf(w()->List1), (QStringList{"Q1", "Q2", "Q3"}));
    QCOMPARE(w()->Label6->text(), QStringLiteral("3"));
    QCOMPARE(fake().clipboard(), QStringLiteral("一行目\n二行目")); // without markers
    QCOMPARE(w()->Text1->text(), QString());
    QCOMPARE(w()->rtext1->toPlainText(), QString());
    QCOMPARE(w()->Combo1->currentText(), QStringLiteral("sub300,上級編"));
    QCOMPARE(QApplication::focusWidget() == w()->Text1 || w()->focusWidget() == w()->Text1, true);
}

void TestEditing::add_lineBreaks_data()
{
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("stored");
    QTest::newRow("on") << true << "一行目\n二行目" << "Q" << "一行目<br>\r\n二行目";
    QTest::newRow("on, no break") << true << "一行" << "Q" << "一行";
    QTest::newRow("on, ends in a break") << true << "a\n" << "Q" << "a<br>\r\n";
    QTest::newRow("on, already marked") << true << "a<br>\nb" << "Q" << "a<br><br>\r\nb";
    QTest::newRow("off") << false << "一行目\n二行目" << "Q" << "一行目\r\n二行目";
    QTest::newRow("question never converted") << true << "a" << "質問<br>です" << "a";
}

void TestEditing::add_lineBreaks()
{
    QFETCH(bool, check);
    QFETCH(QString, typed);
    QFETCH(QString, question);
    QFETCH(QString, stored);
    w()->Check1->setChecked(check);
    w()->Combo1->setEditText("k,t");
    w()->Text1->setText(question);
    w()->rtext1->setPlainText(typed);
    QTest::mouseClick(w()->Command3, Qt::LeftButton);
    QCOMPARE(readAll(m_db).last().anser, stored);
    QCOMPARE(readAll(m_db).last().quest, question);
}

void TestEditing::add_refusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty question") << "k,t" << "" << "a" << "データが入力されていません";
    QTest::newRow("empty answer") << "k,t" << "q" << "" << "データが入力されていません";
    QTest::newRow("no comma") << "sub100" << "q" << "a" << "ファイル名,種類　のフォーマットで種類を入れて下さい(右の例参照)";
    QTest::newRow("full-width comma") << "sub100，x" << "q" << "a" << "ファイル名,種類　のフォーマットで種類を入れて下さい(右の例参照)";
    QTest::newRow("kind of 101") << "k," + QString(99, 'x') << "q" << "a" << "種類は100文字以内で入れて下さい（現在101文字）";
    QTest::newRow("question of 251") << "k,t" << QString(251, 'q') << "a" << "質問は250文字以内で入れて下さい（現在251文字）";
    QTest::newRow("just a comma") << "," << "q" << "a" << "";
    QTest::newRow("comma at the end") << "abc," << "q" << "a" << "";
}

void TestEditing::add_refusals()
{
    QFETCH(QString, kind);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    w()->Combo1->setEditText(kind);
    w()->Text1->setText(question);
    w()->rtext1->setPlainText(answer);
    QTest::mouseClick(w()->Command3, Qt::LeftButton);
    if (message.isEmpty()) {
        QVERIFY(fake().messages().isEmpty());
        QCOMPARE(readAll(m_db).size(), 3);
        return;
    }
    QCOMPARE(fake().messages(), QStringList{message});
    QCOMPARE(readAll(m_db).size(), 2);
    QCOMPARE(w()->Text1->text(), question);
    QCOMPARE(w()->rtext1->toPlainText(), answer);
    QCOMPARE(w()->Combo1->currentText(), kind);
}

void TestEditing::add_sameQuestionTwice()
{
    for (int i = 0; i < 2; ++i) {
        w()->Combo1->setEditText("k,t");
        w()->Text1->setText("同じ質問");
        w()->rtext1->setPlainText("a");
        QTest::mouseClick(w()->Command3, Qt::LeftButton);
    }
    QCOMPARE(readAll(m_db).size(), 4);
    QCOMPARE(itemsOf(w()->List1).count("同じ質問"), 2);
}

void TestEditing::add_withoutDatabase_stillClearsBoxes()
{
    m_win = openWindow(QString(), m_dir->path());
    w()->Combo1->setEditText("k,t");
    w()->Text1->setText("q");
    w()->rtext1->setPlainText("answer");
    QTest::mouseClick(w()->Command3, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{kNoDatabase, kNoDatabase, kNoRecords}));
    QCOMPARE(w()->Text1->text(), QString());
    QCOMPARE(fake().clipboard(), QStringLiteral("answer"));
}

void TestEditing::add_readOnlyOrFullDisk_keepsBoxes_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only") << true << "読み取り専用のため、書き込めません";
    QTest::newRow("full") << false << "ディスクに空きがありません";
}

// The add is refused in words that say why and name the file; what was typed stays.
void TestEditing::add_readOnlyOrFullDisk_keepsBoxes()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, reason);
    QTemporaryDir mountPoint;
    if (!mountTmpfs(mountPoint.path(), readOnly ? "size=1m" : "size=64k"))
        QSKIP("mounting a tmpfs is not permitted here");
    const QString db = mountPoint.filePath("disk.mdb");
    QVERIFY(QFile::copy(m_db, db));
    if (readOnly && !remountReadOnly(mountPoint.path())) {
        unmount(mountPoint.path());
        QSKIP("remounting the tmpfs read-only is not permitted here");
    }
    if (!readOnly) { // the disk filled up to the last block
        QFile filler(mountPoint.filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
        }
    }
    m_win = openWindow(db, m_dir->path());
    w()->Combo1->setEditText("k,t");
    w()->Text1->setText("q");
    w()->rtext1->setPlainText(QString(8000, u'答'));
    QTest::mouseClick(w()->Command3, Qt::LeftButton);
    const QList<Record> after = readAll(db);
    unmount(mountPoint.path());
    QCOMPARE(fake().messages(), QStringList{"データベースに書き込めませんでした\r" + reason + "\r" + db});
    QCOMPARE(after.size(), 2);
    QCOMPARE(w()->Text1->text(), QStringLiteral("q"));
    QCOMPARE(w()->rtext1->toPlainText(), QString(8000, u'答'));
}

void TestEditing::byteCount_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("shown");
    QTest::newRow("abc") << "abc" << " 3";
    QTest::newRow("あい") << "あい" << " 4";
    QTest::newRow("a CR LF b") << "a\nb" << " 4";
    QTest::newRow("ｱ") << "ｱ" << " 2";
    QTest::newRow("é") << "é" << " 1";
    QTest::newRow("empty") << "" << " 0";
}

void TestEditing::byteCount()
{
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    w()->rtext1->setPlainText(answer);
    QTest::mouseClick(w()->Command26, Qt::LeftButton);
    QCOMPARE(w()->Label26->text(), shown);
    QCOMPARE(w()->rtext1->toPlainText(), answer);
}

void TestEditing::enterKeyPath()
{
    w()->show();
    QVERIFY(QTest::qWaitForWindowActive(w()));
    w()->SSTab1->setCurrentIndex(1);
    w()->Combo1->setFocus();
    QTest::keyClick(w()->Combo1->lineEdit(), Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->Text1);
    QTest::keyClick(w()->Text1, Qt::Key_Return);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->rtext1);
    QTest::keyClicks(w()->rtext1, "ab");
    QTest::keyClick(w()->rtext1, Qt::Key_Return); // plain Enter stays in the box
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->rtext1);
    QTest::keyClick(w()->rtext1, Qt::Key_Return, Qt::ShiftModifier);
    QApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), w()->Command3);
    // The key was not swallowed: both line breaks reached the answer.
    QCOMPARE(w()->rtext1->toPlainText().count(QRegularExpression("[\n\u2028]")), 2);
    QCOMPARE(readAll(m_db).size(), 2);
}

void TestEditing::change_roundTrips_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("atLoad");
    QTest::addColumn<bool>("atSave");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("storedAfter");
    QTest::newRow("on, on") << "a<br>\r\nb" << true << true << "a\nb" << "a<br>\r\nb";
    // A break tag of the user's own is not given a second break.
    QTest::newRow("off, on") << "a<br>\r\nb" << false << true << "a<br>\nb" << "a<br>\r\nb";
    QTest::newRow("off, on, unmarked") << "a\r\nb" << false << true << "a\nb" << "a<br>\r\nb";
    QTest::newRow("on, on, unmarked") << "a\r\nb" << true << true << "a\nb" << "a<br>\r\nb";
    QTest::newRow("off, off") << "a<br>\r\nb\r\nc" << false << false << "a<br>\nb\nc" << "a<br>\r\nb\r\nc";
    QTest::newRow("on, off") << "a<br>\r\nb" << true << false << "a\nb" << "a\r\nb";
    QTest::newRow("marker not before a break") << "x<br>y" << true << true << "x<br>y" << "x<br>y";
}

void TestEditing::change_roundTrips()
{
    QFETCH(QString, stored);
    QFETCH(bool, atLoad);
    QFETCH(bool, atSave);
    QFETCH(QString, shown);
    QFETCH(QString, storedAfter);
    open({{0, "k,t", "Q", stored}});
    w()->Check1->setChecked(atLoad);
    loadForChange(0);
    QCOMPARE(w()->Text3->text(), QStringLiteral("k,t"));
    QCOMPARE(w()->Text4->text(), QStringLiteral("Q"));
    QCOMPARE(w()->Text5->toPlainText(), shown);
    QCOMPARE(w()->shownquest(), QStringLiteral("Q"));
    w()->Check1->setChecked(atSave);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"データを変更しました"});
    QCOMPARE(readAll(m_db)[0].anser, storedAfter);
    QCOMPARE(w()->Text5->toPlainText(), QString());
}

void TestEditing::change_editedQuestionAndMalformedKind()
{
    loadForChange(1);
    w()->Text4->setText("Q2 changed");
    w()->Text3->setText("no comma");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(readAll(m_db)[1].quest, QStringLiteral("Q2 changed"));
    QCOMPARE(readAll(m_db)[1].kind, QStringLiteral("no comma"));
    QCOMPARE(itemsOf(w()->List3), (QStringList{"Q1", "Q2 changed"}));
    QCOMPARE(w()->Label13->text(), QStringLiteral("2"));
    QCOMPARE(w()->shownquest(), QStringLiteral("Q2")); // saving leaves it
}

void TestEditing::change_sameQuestion_reachesFirst()
{
    open({{0, "k,1", "same", "first"}, {0, "k,2", "same", "second"}});
    loadForChange(1);
    QCOMPARE(w()->Text5->toPlainText(), QStringLiteral("first"));
    w()->Text5->setPlainText("changed");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(readAll(m_db)[0].anser, QStringLiteral("changed"));
    QCOMPARE(readAll(m_db)[1].anser, QStringLiteral("second"));
}

void TestEditing::change_listingFollowsRestriction()
{
    w()->Check3->setChecked(true);
    QTest::mouseClick(w()->Command25, Qt::LeftButton);
    w()->List12->setCurrentRow(0);
    loadForChange(0);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(itemsOf(w()->List3), QStringList{"Q1"});
}

void TestEditing::change_nothingLoaded_isRefused()
{
    const QString refused = QStringLiteral("変更するデータを「③修正データの表示」で表示させて下さい");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    loadForChange(0);
    QTest::mouseClick(w()->Command11, Qt::LeftButton);
    QCOMPARE(w()->shownquest(), QStringLiteral("Q1")); // abandoning leaves it
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    loadForChange(0);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{refused, refused, "データを変更しました", refused}));
    QCOMPARE(readAll(m_db)[0].quest, QStringLiteral("Q1"));
    QCOMPARE(readAll(m_db)[0].anser, QStringLiteral("A1"));
}

void TestEditing::change_staleRecord_isNotFound()
{
    loadForChange(0);
    StoreStatus status;
    QVERIFY(openStore(m_db, &status)->removeFirstByQuestion("Q1").ok());
    w()->Text5->setPlainText("new");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{kNotFound});
    QCOMPARE(readAll(m_db).size(), 1);
    QCOMPARE(readAll(m_db)[0].anser, QStringLiteral("a<br>\r\nb"));
    QCOMPARE(w()->Text5->toPlainText(), QStringLiteral("new"));
    // Loading the stale line says the same and reads nothing.
    w()->Text3->clear();
    QTest::mouseClick(w()->Command9, Qt::LeftButton);
    QCOMPARE(fake().messages().last(), kNotFound);
    QCOMPARE(w()->Text3->text(), QString());
}

void TestEditing::change_tooLong_keepsBoxes()
{
    loadForChange(0);
    const QString longQuestion(251, 'q');
    w()->Text4->setText(longQuestion);
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"質問は250文字以内で入れて下さい（現在251文字）"});
    QCOMPARE(w()->Text4->text(), longQuestion);
    QCOMPARE(readAll(m_db)[0].quest, QStringLiteral("Q1"));
}

void TestEditing::load_refusals()
{
    QTest::mouseClick(w()->Command2, Qt::LeftButton);
    QTest::mouseClick(w()->Command9, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"表示したい行をリストにて選択して下さい"});
    w()->List3->setCurrentRow(0);
    makeDatabase(m_db);
    QTest::mouseClick(w()->Command9, Qt::LeftButton);
    QCOMPARE(fake().messages().last(), kNoRecords);
    QCOMPARE(w()->Text3->text(), QString());
}

void TestEditing::deleteTabLoad_leavesShownQuestion()
{
    loadForChange(0);
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(1);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QCOMPARE(w()->Text7->text(), QStringLiteral("Q2"));
    QCOMPARE(w()->Text2->toPlainText(), QStringLiteral("a\nb"));
    QCOMPARE(w()->shownquest(), QStringLiteral("Q1"));
    w()->Text5->setPlainText("changed");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QCOMPARE(readAll(m_db)[0].anser, QStringLiteral("changed"));
    QCOMPARE(readAll(m_db)[1].anser, QStringLiteral("a<br>\r\nb"));
}

void TestEditing::delete_removesAndRelists()
{
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(0);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QCOMPARE(w()->Text6->text(), QStringLiteral("sub100,初級編"));
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{"削除しました"});
    QCOMPARE(itemsOf(w()->List2), QStringList{"Q2"});
    QCOMPARE(w()->Label7->text(), QStringLiteral("1"));
    QCOMPARE(w()->Text6->text() + w()->Text7->text() + w()->Text2->toPlainText(), QString());
    QCOMPARE(readAll(m_db).size(), 1);
}

void TestEditing::delete_sameQuestion_onlyFirst()
{
    open({{0, "k,1", "same", "first"}, {0, "k,2", "same", "second"}});
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(1);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(readAll(m_db).size(), 1);
    QCOMPARE(readAll(m_db)[0].anser, QStringLiteral("second"));
    QCOMPARE(itemsOf(w()->List2), QStringList{"same"});
}

void TestEditing::delete_editedQuestionBox()
{
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(0);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    w()->Text7->setText("Q2");
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(readAll(m_db).size(), 1);
    QCOMPARE(readAll(m_db)[0].quest, QStringLiteral("Q1"));
    // A question that no record has deletes nothing.
    w()->Text7->setText("nobody");
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(fake().messages().last(), kNotFound);
    QCOMPARE(readAll(m_db).size(), 1);
}

void TestEditing::sameQuestion_shownRecordGone_writesNothing_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("change") << 3;
    QTest::newRow("delete") << 2;
}

// Another program deletes the shown record of two that share a question: step ④ must not
// reach the other one, which the user never saw.
void TestEditing::sameQuestion_shownRecordGone_writesNothing()
{
    QFETCH(int, tab);
    open({{0, "k,1", "same", "first"}, {0, "k,2", "same", "second"}});
    showActive(w());
    w()->SSTab1->setCurrentIndex(tab);
    QListWidget* list = tab == 3 ? w()->List3 : w()->List2;
    QTest::mouseClick(tab == 3 ? w()->Command2 : w()->Command5, Qt::LeftButton);
    list->setCurrentRow(0);
    QTest::mouseClick(tab == 3 ? w()->Command9 : w()->Command6, Qt::LeftButton);
    QCOMPARE(runSqlite(m_db, "DELETE FROM tbl1 WHERE No = 1;"), QByteArray());
    pressKey(QApplication::focusWidget(), Qt::Key_Return, tab == 3 ? Qt::ControlModifier : Qt::NoModifier);
    QCOMPARE(fake().messages(), QStringList{kNotFound});
    QCOMPARE(readAll(m_db), (QList<Record>{{2, "k,2", "same", "second"}}));
}

void TestEditing::delete_twice()
{
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(0);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{"削除しました", "削除したいデータを表示させて下さい"}));
    QCOMPARE(readAll(m_db).size(), 1);
}

void TestEditing::delete_specialCharacters_data()
{
    QTest::addColumn<QString>("question");
    QTest::newRow("apostrophe") << "What's new?";
    QTest::newRow("percent") << "100%";
    QTest::newRow("underscore") << "a_b";
}

void TestEditing::delete_specialCharacters()
{
    QFETCH(QString, question);
    open({{0, "k,1", "100X", "d"}, {0, "k,1", "aXb", "d"}, {0, "k,1", question, "a"}});
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(2);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QCOMPARE(w()->Text7->text(), question);
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(readAll(m_db).size(), 2);
    QCOMPARE(itemsOf(w()->List2), (QStringList{"100X", "aXb"}));
}

void TestEditing::delete_withoutUsableDatabase_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");
    QTest::newRow("no database") << "none" << kNoDatabase;
    QTest::newRow("file missing") << "missing" << "データがありません";
}

void TestEditing::delete_withoutUsableDatabase()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    if (setup == "none")
        m_win = openWindow(QString(), m_dir->path());
    else
        QFile::remove(m_db);
    w()->Text7->setText("Q1");
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{message});
    QVERIFY(setup == "none" || !QFile::exists(m_db));
}

void TestEditing::endToEnd()
{
    m_win = openWindow(QString(), m_dir->path());
    const QString path = m_dir->filePath("new.mdb");
    fake().fileNameNext(path);
    w()->dbmake->trigger();
    const QList<QStringList> records{{"sub100,初級編", "質問A", "答えA"}, {"sub200,中級編", "質問B", "答え\nB"},
                                     {"sub100,初級編", "質問C", "答えC"}};
    for (const QStringList& r : records) {
        w()->Combo1->setEditText(r[0]);
        w()->Text1->setText(r[1]);
        w()->rtext1->setPlainText(r[2]);
        QTest::mouseClick(w()->Command3, Qt::LeftButton);
    }
    loadForChange(1);
    w()->Text4->setText("質問B2");
    QTest::mouseClick(w()->Command10, Qt::LeftButton);
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(0);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QTest::mouseClick(w()->Command7, Qt::LeftButton);
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{"データを変更しました", "削除しました"}));
    QCOMPARE(itemsOf(w()->List9), (QStringList{"sub200.html , 中級編 / 質問B2 / 答え<br>\r\nB",
                                               "sub100.html , 初級編 / 質問C / 答えC"}));
    QCOMPARE(w()->Label24->text(), QStringLiteral("2"));
}

void TestEditing::typedKind_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("prefix of a kind") << "sub200,a";
    QTest::newRow("another case") << "SUB200,ABC";
    QTest::newRow("input method") << "sub100,初級";
}

// Typed with the existing kinds loaded as completion candidates, then Enter all the way:
// the kind is stored as typed and the box's items stay as they were.
void TestEditing::typedKind()
{
    QFETCH(QString, typed);
    open({{0, "sub200,abc", "Q1", "A1"}, {0, "sub100,初級編", "Q2", "A2"}});
    showActive(w());
    w()->SSTab1->setCurrentIndex(1);
    QTest::mouseClick(w()->Command12, Qt::LeftButton);
    const QStringList items{w()->Combo1->itemText(0), w()->Combo1->itemText(1)};
    QLineEdit* kindEdit = w()->Combo1->lineEdit();
    kindEdit->setFocus();
    pressKey(kindEdit, Qt::Key_A, Qt::ControlModifier);
    typeText(kindEdit, typed);
    pressKey(kindEdit, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w()->Text1);
    QCOMPARE(w()->Combo1->currentText(), typed);
    typeText(w()->Text1, "質問");
    pressKey(w()->Text1, Qt::Key_Return);
    typeText(w()->rtext1, "答え");
    pressKey(w()->rtext1, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), w()->Command3);
    pressKey(w()->Command3, Qt::Key_Return);
    QCOMPARE(fake().messages(), QStringList{});
    const QList<Record> all = readAll(m_db);
    QCOMPARE(all.size(), 3);
    QCOMPARE(all[2].kind, typed);
    QCOMPARE(all[2].quest, QStringLiteral("質問"));
    QCOMPARE(all[2].anser, QStringLiteral("答え<br>\r\n"));
    QCOMPARE(w()->Combo1->count(), 2);
    QCOMPARE((QStringList{w()->Combo1->itemText(0), w()->Combo1->itemText(1)}), items);
}

void TestEditing::storedAnswer_roundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("markers");
    QTest::addColumn<QString>("saved");
    const QString nbsp(QChar(0x00A0));
    const QString ls(QChar(QChar::LineSeparator));
    const QString ps(QChar(QChar::ParagraphSeparator));
    // text, and what a save with markers on makes of it (nothing, when empty)
    const QList<std::tuple<const char*, QString, QString>> texts{
        {"lone CR", "a\rb", ""},
        {"lone LF", "a\nb", ""},
        {"CR LF", "a\r\nb", "a<br>\r\nb"},
        {"marked CR LF", "a<br>\r\nb", ""},
        {"capital tag before CR LF", "a<BR>\r\nb", ""},
        {"XHTML tag before CR LF", "a<br />\r\nb", ""},
        {"marker alone", "x<br>y", ""},
        {"marker before lone LF", "x<br>\ny", ""},
        {"U+2028", "a" + ls + "b", ""},
        {"U+2029", "a" + ps + "b", ""},
        {"no-break space", "a" + nbsp + "b" + nbsp, ""},
        {"tabs and trailing spaces", "\ta\tb  \r\n  ", "\ta\tb  <br>\r\n  "},
        {"emoji", "😀<br>\r\n🍣", ""},
        {"breaks only", "\r\n\r\r\n\n\n", "<br>\r\n\r<br>\r\n\n\n"},
    };
    for (const auto& [name, text, marked] : texts) {
        QTest::addRow("%s, markers on", name) << text << true << (marked.isEmpty() ? text : marked);
        QTest::addRow("%s, markers off", name) << text << false << text;
    }
}

// Loaded and saved untouched, an answer stays as stored, but for the markers every CR LF gets
// while markers are on; the delete tab shows it as stored. The question goes through its box
// too, and is what the delete finds the record by.
void TestEditing::storedAnswer_roundTrips()
{
    QFETCH(QString, text);
    QFETCH(bool, markers);
    QFETCH(QString, saved);
    const Record stored{1, "k," + text, "Q" + text, text};
    open({stored});
    showActive(w());
    w()->Check1->setChecked(markers);
    w()->SSTab1->setCurrentIndex(3);
    loadForChange(0);
    QCOMPARE(QApplication::focusWidget(), w()->Command10);
    pressKey(w()->Command10, Qt::Key_Return);
    QCOMPARE(fake().messages(), QStringList{"データを変更しました"});
    QCOMPARE(readAll(m_db), (QList<Record>{{1, stored.kind, stored.quest, saved}}));

    w()->SSTab1->setCurrentIndex(2);
    QTest::mouseClick(w()->Command5, Qt::LeftButton);
    w()->List2->setCurrentRow(0);
    QTest::mouseClick(w()->Command6, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), w()->Command7);
    QCOMPARE(storedAnswer(w()->Text2->parts(), markers), saved);
    pressKey(w()->Command7, Qt::Key_Return);
    QCOMPARE(fake().messages().last(), QStringLiteral("削除しました"));
    QCOMPARE(readAll(m_db), QList<Record>{});
}

void TestEditing::typedBreaks_becomeCrLf()
{
    const QString nbsp(QChar(0x00A0));
    open({{0, "k,t", "Q", "a\nb"}});
    showActive(w());
    w()->SSTab1->setCurrentIndex(3);
    loadForChange(0);
    w()->Text5->setFocus();
    w()->Text5->moveCursor(QTextCursor::End);
    typeText(w()->Text5, "\nc");
    pressKey(w()->Text5, Qt::Key_Return, Qt::ShiftModifier);
    typeText(w()->Text5, "d" + nbsp);
    pressKey(w()->Command10, Qt::Key_Return);
    QCOMPARE(readAll(m_db)[0].anser, "a\nb<br>\r\nc<br>\r\nd" + nbsp);

    // The entry tab: typed breaks, a no-break space and the byte count of what is stored.
    w()->SSTab1->setCurrentIndex(1);
    w()->Combo1->lineEdit()->setFocus();
    typeText(w()->Combo1->lineEdit(), "k,t\n");
    typeText(w()->Text1, "Q2\n");
    typeText(w()->rtext1, "x" + nbsp + "\ny");
    QTest::mouseClick(w()->Command26, Qt::LeftButton);
    QCOMPARE(w()->Label26->text(), QStringLiteral(" 5"));
    pressKey(w()->rtext1, Qt::Key_Return, Qt::ShiftModifier);
    pressKey(w()->Command3, Qt::Key_Return);
    QCOMPARE(readAll(m_db)[1].anser, "x" + nbsp + "<br>\r\ny<br>\r\n");
    QCOMPARE(fake().clipboard(), "x" + nbsp + "\ny\n");
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
