// SPDX-License-Identifier: GPL-3.0-or-later
#include "testenv.h"
#include "ui/interaction.h"
#include "views/listings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

namespace {
const QString kMalformed = QStringLiteral("種類フォーマットが違います。半角カンマで区切られていません");
const QString kNoRecords = QStringLiteral("データが登録されていません");
} // namespace

class TestDisplayTab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup() { m_win.reset(); }

    void allRecords_rightAfterStart();
    void selectedKind_needsKindsAndSelection();
    void selectedKind_listsThatKindOnly();
    void doubleClick_showsWholeLine_data();
    void doubleClick_showsWholeLine();
    void doubleClick_withoutSelection_doesNothing();
    void malformedKind_stopsSummaryListing();
    void malformedKindToList_leavesLabel();
    void emptyTable_data();
    void emptyTable();
    void noDatabase_twoMessages();
    void htmlTabListing();
    void kindCombo_textIsFirstKind();
    void hyouji_restriction_data();
    void hyouji_restriction();
    void hyoujisel_data();
    void hyoujisel();
    void storeGoneAfterCount_isReported();

    void rowsWithLineBreaks_showWholeRow();
    void messageBox_showsPlainText_data();
    void messageBox_showsPlainText();

private:
    void useRecords(const QList<Record>& records);
    main1* w() { return m_win->w.get(); }
    FakeInteraction& fake() { return m_win->fake; }
    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<Window> m_win;
};

void TestDisplayTab::init()
{
    clearSettings();
    useRecords({{0, "sub200,中級編", "Q1", "A1"}, {0, "sub100,初級編", "Q2", QString(80, 'x')},
                {0, "sub200,中級編", "Q3", "A3"}});
}

void TestDisplayTab::useRecords(const QList<Record>& records)
{
    m_db = makeDatabase(m_dir.filePath("display.mdb"), records);
    m_win = openWindow(m_db, m_dir.path());
}

void TestDisplayTab::allRecords_rightAfterStart()
{
    QVERIFY(w()->Option1->isChecked());
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QVERIFY(fake().messages().isEmpty());
    QCOMPARE(itemsOf(w()->List10), (QStringList{"sub200.html , 中級編 / Q1 / A1",
                                                "sub100.html , 初級編 / Q2 / " + QString(80, 'x'),
                                                "sub200.html , 中級編 / Q3 / A3"}));
    QCOMPARE(itemsOf(w()->List9)[1], itemsOf(w()->List10)[1].left(60));
    QCOMPARE(w()->Label24->text(), QStringLiteral("3"));
}

void TestDisplayTab::selectedKind_needsKindsAndSelection()
{
    w()->Option2->setChecked(true);
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QTest::mouseClick(w()->Command17, Qt::LeftButton);
    QCOMPARE(itemsOf(w()->List8), (QStringList{"sub100,初級編", "sub200,中級編"}));
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{"種類を表示して下さい", "種類を選択して下さい"}));
    QCOMPARE(w()->List9->count(), 0);
}

void TestDisplayTab::selectedKind_listsThatKindOnly()
{
    w()->Option2->setChecked(true);
    QTest::mouseClick(w()->Command17, Qt::LeftButton);
    w()->List8->setCurrentRow(1);
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(itemsOf(w()->List9), (QStringList{"sub200.html , 中級編 / Q1 / A1", "sub200.html , 中級編 / Q3 / A3"}));
    QCOMPARE(w()->Label24->text(), QStringLiteral("2"));
    // A kind that no longer has records lists nothing and shows 0.
    w()->List8->item(1)->setText("sub300,上級編");
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(w()->List9->count(), 0);
    QCOMPARE(w()->Label24->text(), QStringLiteral("0"));
}

void TestDisplayTab::doubleClick_showsWholeLine_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("short") << 0;
    QTest::newRow("longer than 60") << 1;
}

void TestDisplayTab::doubleClick_showsWholeLine()
{
    QFETCH(int, row);
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    w()->show();
    QListWidgetItem* item = w()->List9->item(row);
    w()->List9->setCurrentItem(item);
    QTest::mouseClick(w()->List9->viewport(), Qt::LeftButton, {}, w()->List9->visualItemRect(item).center());
    QTest::mouseDClick(w()->List9->viewport(), Qt::LeftButton, {}, w()->List9->visualItemRect(item).center());
    QCOMPARE(fake().messages(), QStringList{w()->List10->item(row)->text()});
}

void TestDisplayTab::doubleClick_withoutSelection_doesNothing()
{
    w()->List9_DblClick();
    QVERIFY(fake().messages().isEmpty());
}

void TestDisplayTab::malformedKind_stopsSummaryListing()
{
    useRecords({{0, "a,1", "q1", ""}, {0, "b,2", "q2", ""}, {0, "bad", "q3", ""}, {0, "c,3", "q4", ""}});
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(w()->List9->count(), 2);
    QCOMPARE(w()->List10->count(), 2);
    QCOMPARE(fake().messages(), QStringList{kMalformed});
    QCOMPARE(w()->Label24->text(), QStringLiteral("4"));
}

void TestDisplayTab::malformedKindToList_leavesLabel()
{
    useRecords({{0, "a,1", "q1", ""}, {0, "bad", "q3", ""}});
    w()->Label24->setText("7");
    w()->Option2->setChecked(true);
    QTest::mouseClick(w()->Command17, Qt::LeftButton);
    w()->List8->setCurrentRow(1); // "bad"
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(w()->List9->count(), 0);
    QCOMPARE(fake().messages(), QStringList{kMalformed});
    QCOMPARE(w()->Label24->text(), QStringLiteral("7"));
}

void TestDisplayTab::emptyTable_data()
{
    QTest::addColumn<bool>("allRecords");
    QTest::newRow("Option1 empties the list") << true;
    QTest::newRow("Option2 keeps the list") << false;
}

void TestDisplayTab::emptyTable()
{
    QFETCH(bool, allRecords);
    w()->Option2->setChecked(!allRecords);
    QTest::mouseClick(w()->Command17, Qt::LeftButton);
    w()->List8->setCurrentRow(0);
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    const int before = w()->List9->count();
    QVERIFY(before > 0);
    // Emptied by another program while the window holds the file open (Windows refuses a new file there).
    QVERIFY(runSqlite(m_db, "DELETE FROM tbl1;").isEmpty());
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(fake().messages(), QStringList{kNoRecords});
    QCOMPARE(w()->List9->count(), allRecords ? 0 : before);
    // The kind list box ends empty; the kind combo box keeps its entries.
    QTest::mouseClick(w()->Command17, Qt::LeftButton);
    QCOMPARE(w()->List8->count(), 0);
    w()->Combo1->addItem("keep,me");
    w()->Combo1->setEditText("keep,me");
    QTest::mouseClick(w()->Command12, Qt::LeftButton);
    QCOMPARE(w()->Combo1->count(), 1);
    QCOMPARE(w()->Combo1->currentText(), QStringLiteral("keep,me"));
}

void TestDisplayTab::noDatabase_twoMessages()
{
    m_win = openWindow(QString(), m_dir.path());
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    QCOMPARE(fake().messages(), (QStringList{"環境設定にてアクセスデータベースを作成してください", kNoRecords}));
}

void TestDisplayTab::htmlTabListing()
{
    QTest::mouseClick(w()->Command13, Qt::LeftButton);
    QCOMPARE(itemsOf(w()->List4), (QStringList{"Q1", "Q2", "Q3"}));
    QCOMPARE(w()->Label9->text(), QStringLiteral("3"));
}

void TestDisplayTab::kindCombo_textIsFirstKind()
{
    useRecords({{0, "sub200,中級", "1", "a"}, {0, "sub100,初級", "2", "a"}, {0, "sub200,中級", "3", "a"}, {0, "sub100,初級", "4", "a"}});
    w()->Combo1->setEditText("typed,kind");
    QTest::mouseClick(w()->Command12, Qt::LeftButton);
    QCOMPARE(w()->Combo1->count(), 2);
    QCOMPARE(w()->Combo1->itemText(0), QStringLiteral("sub100,初級"));
    QCOMPARE(w()->Combo1->itemText(1), QStringLiteral("sub200,中級"));
    QCOMPARE(w()->Combo1->currentText(), QStringLiteral("sub100,初級"));
}

void TestDisplayTab::hyouji_restriction_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("showKinds");
    QTest::addColumn<int>("select");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("unchecked lists all") << false << true << 0 << QStringList{"Q1", "Q2", "Q3"} << QStringList{};
    QTest::newRow("checked, no kinds") << true << false << -1 << QStringList{"old"} << QStringList{"種類を表示して下さい"};
    QTest::newRow("checked, none selected") << true << true << -1 << QStringList{"old"} << QStringList{"種類を選択して下さい"};
    QTest::newRow("checked, sub200") << true << true << 1 << QStringList{"Q1", "Q3"} << QStringList{};
}

void TestDisplayTab::hyouji_restriction()
{
    QFETCH(bool, checked);
    QFETCH(bool, showKinds);
    QFETCH(int, select);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, messages);
    w()->List2->addItem("old");
    w()->Label7->setText("old");
    w()->Check3->setChecked(checked);
    if (showKinds)
        QTest::mouseClick(w()->Command25, Qt::LeftButton);
    if (select >= 0)
        w()->List12->setCurrentRow(select);
    QTest::mouseClick(w()->Command5, Qt::LeftButton); // the delete tab's listing follows the restriction too
    QCOMPARE(itemsOf(w()->List2), lines);
    QCOMPARE(fake().messages(), messages);
    QCOMPARE(w()->Label7->text(), messages.isEmpty() ? QString::number(lines.size()) : QStringLiteral("old"));
}

void TestDisplayTab::hyoujisel_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("two records") << "sub200,中級編" << QStringList{"Q1", "Q3"} << QStringList{"1", "3"};
    QTest::newRow("exact kind only") << "sub200,中級" << QStringList{} << QStringList{};
    QTest::newRow("no such kind") << "sub900,x" << QStringList{} << QStringList{};
}

void TestDisplayTab::hyoujisel()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, questions);
    QFETCH(QStringList, numbers);
    w()->List4->addItems({"old1", "old2"});
    w()->List5->addItems({"7", "8"});
    w()->hyoujisel(w()->List4, w()->Label9, kind);
    QCOMPARE(itemsOf(w()->List4), questions);
    QCOMPARE(itemsOf(w()->List5), numbers);
    QCOMPARE(w()->Label9->text(), QString::number(questions.size()));
    QVERIFY(fake().messages().isEmpty());
}

void TestDisplayTab::storeGoneAfterCount_isReported()
{
    const Listing listing = listRecords(m_dir.filePath("no-such.mdb"), 3, std::nullopt, LineFormat::Summary);
    QVERIFY(!listing.status.ok());
    QCOMPARE(listing.status.message, kNoDataMessage);
    QVERIFY(listing.visible.isEmpty());
}


// A summary line with line breaks shows all of its 60 characters in one row, the breaks as
// marks; what the rows hold and what the double-click shows stay exact.
void TestDisplayTab::rowsWithLineBreaks_showWholeRow()
{
    const QString answer = QStringLiteral("一行目<br>\r\n二行目\n三\r四") + QChar(0x2028) + QStringLiteral("五");
    useRecords({{0, "sub100,初級編", "質問", answer}});
    QTest::mouseClick(w()->Command18, Qt::LeftButton);
    const QString line = QStringLiteral("sub100.html , 初級編 / 質問 / ") + answer;
    QCOMPARE(itemsOf(w()->List9), QStringList{line.left(60)});
    QCOMPARE(itemsOf(w()->List10), QStringList{line});
    const QModelIndex row = w()->List9->model()->index(0, 0);
    auto* delegate = qobject_cast<QStyledItemDelegate*>(w()->List9->itemDelegateForIndex(row));
    QVERIFY(delegate);
    QCOMPARE(delegate->displayText(row.data(), QLocale()),
             QStringLiteral("sub100.html , 初級編 / 質問 / 一行目<br>↵二行目↵三↵四↵五"));
    w()->List9->setCurrentRow(0);
    w()->List9_DblClick();
    QCOMPARE(fake().messages(), QStringList{line});
}

void TestDisplayTab::messageBox_showsPlainText_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("markup") << "<b>太字</b><br>\r\n次の行";
    QTest::newRow("6,000 characters") << (QStringLiteral("長い答えの一行です。<br>\r\n").repeated(400));
}

// The double-click's box as a person sees it: the answer's markup as text, within a
// 1024×768 screen, the rest reached by scrolling, OK in reach.
void TestDisplayTab::messageBox_showsPlainText()
{
    QFETCH(QString, answer);
    useRecords({{0, "sub100,初級編", "Q", answer}});
    QtInteraction interaction;
    main1 window(&interaction);
    interaction.setParentWidget(&window);
    window.Form_Load();
    showActive(&window);
    QTest::mouseClick(window.Command18, Qt::LeftButton);
    window.List9->setCurrentRow(0);

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(box);
        auto* text = box->findChild<QLabel*>("messageText");
        QVERIFY(text);
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QCOMPARE(text->text(), QString("sub100.html , 初級編 / Q / " + answer).replace("\r\n", "\n"));
        QVERIFY(box->width() <= 1024 && box->height() <= 768);
        auto* ok = box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isVisible());
        QVERIFY(box->rect().contains(QRect(ok->mapTo(box, QPoint(0, 0)), ok->size())));
        if (answer.size() > 1000)
            QVERIFY(box->findChild<QScrollArea*>()->verticalScrollBar()->isVisible());
        seen = true;
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    const QPoint row = window.List9->visualItemRect(window.List9->item(0)).center();
    QTest::mouseClick(window.List9->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(window.List9->viewport(), Qt::LeftButton, {}, row);
    QVERIFY(seen);
}

QTEST_MAIN(TestDisplayTab)
#include "tst_displaytab.moc"
