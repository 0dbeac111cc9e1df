// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/csvimport.h"
#include "history/backups.h"
#include "store/sqlitestore.h"
#include "testenv.h"
#include "ui/csvdialogs.h"
#include "ui/folderpicker.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace qadora;
using namespace qadora::test;

namespace {

// Runs `act` on the modal dialog of type D that `open` shows; `act` must close it.
template<typename D, typename Open, typename Act>
void withDialog(Open open, Act act)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        act(dialog);
        if (dialog->isVisible()) {
            dialog->reject();
            QFAIL("the dialog stayed open");
        }
    });
    open();
    QVERIFY(seen);
}

QString makeNumbered(const QString& path, const QList<Record>& records)
{
    QFile::remove(path);
    createDatabase(path);
    writeRecordsKeepingNumbers(path, std::vector<Record>(records.begin(), records.end()));
    return path;
}

const QString kViewport = QStringLiteral("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");

} // namespace

class TestExchange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void importPreview_typedThroughTheDialog();
    void importWorkbook_theShopOwnersFaqInOnePreview();
    void importPreview_refusesTheIndexPageTheTabNames();
    void importPreview_headerTypedAsFarRightAsColumnXfd();
    void export_offersUtf8ForACharacterShiftJisLacks();
    void exportWorkbook_japaneseHeaderChosenAndReadBack();
    void renameKind_typedConfirmedAndTakenBack();
    void viewport_onEveryPageOnlyWhenTicked();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void TestExchange::initTestCase()
{
    isolateSettings();
}

// The preview lists what cannot be taken before anything is written; a record another program
// adds meanwhile is seen at "取り込む", and the dialog shows the new outcome first.
void TestExchange::importPreview_typedThroughTheDialog()
{
    const QString db = makeNumbered(path("import.mdb"), {{1, "sub100,初級編", "既存の質問", "a"}});
    // As LibreOffice writes it: UTF-8 without a BOM, LF line ends.
    const QString file = path("faq.csv");
    writeBytes(file, "No,kind,quest,anser\n"
                     ",\"sub100,初級編\",新しい質問,答え１\n"
                     ",sub100,種類が変,x\n"
                     ",\"sub100,初級編\",,空の質問\n"
                     ",\"sub100,初級編\",既存の質問,y\n"
                     ",\"sub100,初級編\",新しい質問,重複\n"
                     ",\"sub100,初級編\",\"二行の\n答え\",z\n");
    auto win = openWindow(db);
    const QList<Record> before = readAll(db);

    // Cancelled: nothing happens.
    win->fake.fileNameNext(file);
    withDialog<ImportDialog>([&] { win->w->importCsv->trigger(); }, [](ImportDialog* d) { pressKey(d, Qt::Key_Escape); });
    QCOMPARE(win->fake.messages(), QStringList());
    QCOMPARE(readAll(db), before);

    win->fake.fileNameNext(file);
    withDialog<ImportDialog>([&] { win->w->importCsv->trigger(); }, [&](ImportDialog* d) {
        // A kind without a comma is taken as a title with a page name, unless that is unticked.
        QCOMPARE(d->summary->text(), QStringLiteral("文字コード：UTF-8（自動判別）\n追加するデータ：3 件\n取り込めない行：3 行"));
        d->pageNames->setFocus();
        pressKey(d->pageNames, Qt::Key_Space);
        QVERIFY(!d->pageNames->isChecked());
        QCOMPARE(d->summary->text(), QStringLiteral("文字コード：UTF-8（自動判別）\n追加するデータ：2 件\n取り込めない行：4 行"));
        QCOMPARE(itemsOf(d->problems), (QStringList{"種類に半角カンマがありません（1 行）", "　3 行目：種類「sub100」に半角カンマがありません",
                                                    "質問が空です（1 行）", "　4 行目：質問が空です", "質問が重複しています（2 行）",
                                                    "　5 行目：同じ質問がすでにあります（No.1）",
                                                    "　6 行目：同じ質問が 2 行目にもあります"}));
        // Another encoding is read at once; back to the guess.
        d->encoding->setFocus();
        pressKey(d->encoding, Qt::Key_Down);
        QVERIFY(d->summary->text().startsWith(QStringLiteral("文字コード：Shift_JIS\n")));
        pressKey(d->encoding, Qt::Key_Up);
        QVERIFY(d->summary->text().startsWith(QStringLiteral("文字コード：UTF-8（自動判別）\n")));
        QCOMPARE(readAll(db), before); // nothing written yet

        runSqlite(db, QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES ('sub100,初級編', '新しい質問', 'b');"));
        pressKey(d->encoding, Qt::Key_Return);
        QVERIFY(d->isVisible());
        QVERIFY(d->findChild<QLabel*>("importChanged")->isVisible());
        QCOMPARE(d->summary->text(), QStringLiteral("文字コード：UTF-8（自動判別）\n追加するデータ：1 件\n取り込めない行：5 行"));
        QCOMPARE(d->problems->item(1)->text(), QStringLiteral("　2 行目：同じ質問がすでにあります（No.2）"));
        pressKey(d->encoding, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages(), QStringList{"1 件のデータを取り込みました"});
    const QList<Record> after = readAll(db);
    QCOMPARE(after.size(), 3);
    QCOMPARE(after.last(), (Record{3, "sub100,初級編", "二行の\r\n答え", "z"}));
    QCOMPARE(backupsOf(db).size(), 1);
    QCOMPARE(backupsOf(db).first().records, 2);

    // One step of the history, whatever the number of records.
    win->w->findChild<QAction*>("undo")->trigger();
    QCOMPARE(readAll(db), after.mid(0, 2));
    QCOMPARE(win->w->statusBar()->currentMessage(), QStringLiteral("元に戻しました：取り込み（1 件）"));
    win->w->findChild<QAction*>("redo")->trigger();
    QCOMPARE(readAll(db), after);
}

// A character Shift_JIS lacks: the user is told which and where, and may write UTF-8 instead;
// saying No writes nothing.
// The shop owner's workbook, as LibreOffice wrote it: Japanese headers under a title row,
// plain categories. One preview: a column's use changed and changed back, a page name typed,
// Enter on 取り込む; the site then builds with no link to a page that is not there.
void TestExchange::importWorkbook_theShopOwnersFaqInOnePreview()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("soffice (libreoffice-calc-nogui) is not installed");
    QADORA_NEEDS_PROGRAM("soffice");
    QADORA_NEEDS_PROGRAM("python3");
    QProcess maker;
    maker.start(QStringLiteral("python3"), {QStringLiteral(QADORA_SOURCE_DIR "/tests/exchange/make_shop_workbook.py"), path("shop")});
    QVERIFY2(maker.waitForFinished(300000) && maker.exitCode() == 0, maker.readAllStandardError().constData());
    const QString db = makeNumbered(path("shop.mdb"), {});
    auto win = openWindow(db);
    win->w->Check1->setChecked(true); // 改行を<br>改行にする, as the user keeps it
    win->fake.fileNameNext(path("shop/shop.xlsx"));
    withDialog<ImportDialog>([&] { win->w->importCsv->trigger(); }, [&](ImportDialog* d) {
        QCOMPARE(d->summary->text(), QStringLiteral("シート：FAQ\n追加するデータ：42 件\n取り込めない行：0 行"));
        QCOMPARE(d->header->text(), QStringLiteral("見出し：3 行目\n見出しの上の行は読み飛ばします：1 行目：ショップのよくある質問（2024年版）\n"
                                                   "使わない列：（2 列目・見出しなし）"));
        QVERIFY(d->lineBreaks->isChecked());
        QCOMPARE(d->sheet->count(), 2);
        QCOMPARE(d->categories->rowCount(), 6);
        QCOMPARE(d->sample->item(0, 0)->text(), QStringLiteral("4")); // the sheet's own row
        QCOMPARE(d->sample->item(0, 2)->text(), QStringLiteral("sub010,ご注文について"));
        // The answer column not used: nothing can be taken; used again: all of it.
        auto* answerUse = d->findChild<QComboBox*>("importColumn3");
        answerUse->setFocus();
        pressKey(answerUse, Qt::Key_Down);
        QCOMPARE(answerUse->currentText(), QStringLiteral("使わない"));
        QVERIFY(d->summary->text().contains(QStringLiteral("見出しに種類・質問・回答の列がありません")));
        QVERIFY(!d->importButton->isEnabled());
        pressKey(answerUse, Qt::Key_Up);
        QCOMPARE(d->summary->text(), QStringLiteral("シート：FAQ\n追加するデータ：42 件\n取り込めない行：0 行"));
        // The first category's page name typed over, and Enter.
        auto* pageName = d->findChild<QLineEdit*>("importPageName0");
        QCOMPARE(pageName->text(), QStringLiteral("sub010"));
        pageName->setFocus();
        pageName->selectAll();
        typeText(pageName, QStringLiteral("order"));
        pressKey(pageName, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages(), QStringList{"42 件のデータを取り込みました"});
    const QList<Record> records = readAll(db);
    QCOMPARE(records.size(), 42);
    QCOMPARE(records[0], (Record{1, "order,ご注文について", "ご注文についての質問その1ですか？", "一行目の答え<br>\r\n二行目の答え"}));
    QCOMPARE(records[7].kind, QStringLiteral("sub020,お支払いについて"));
    QCOMPARE(records[41].kind, QStringLiteral("sub060,その他"));

    // Every local link of every page names a page that was written.
    const QString site = path("shop-site");
    QVERIFY(QDir().mkpath(site));
    QProcess build;
    build.start(buildPath(QStringLiteral(QADORA_BUILD_EXE)), {db, site});
    QVERIFY(build.waitForFinished(60000) && build.exitCode() == 0);
    const QStringList pages = QDir(site).entryList({QStringLiteral("*.html")}, QDir::Files);
    QCOMPARE(pages.size(), 1 + 6 + 42);
    static const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)\""), QRegularExpression::CaseInsensitiveOption);
    for (const QString& page : pages) {
        const QByteArray bytes = readBytes(site + QLatin1Char('/') + page);
        for (auto it = href.globalMatch(QString::fromLatin1(bytes)); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(pages.contains(target), qPrintable(page + QStringLiteral(" → ") + target));
        }
    }
}

// An .xlsx name: no encoding or separator to choose; the Japanese header chosen with the
// arrow keys; the workbook comes back in through 取り込み… as the same records.
// The index page typed on the html tab is the one no kind's page may replace.
void TestExchange::importPreview_refusesTheIndexPageTheTabNames()
{
    const QString db = makeNumbered(path("index.mdb"), {});
    const QString file = path("index.csv");
    writeBytes(file, "kind,quest,anser\r\n\"index,t\",q1,a\r\n\"top,t\",q2,a\r\n");
    auto win = openWindow(db);
    win->w->Text8->selectAll();
    QTest::keyClicks(win->w->Text8, QStringLiteral("top.html"));
    QCOMPARE(win->w->Text8->text(), QStringLiteral("top.html"));
    win->fake.fileNameNext(file);
    withDialog<ImportDialog>([&] { win->w->importCsv->trigger(); }, [](ImportDialog* d) {
        QCOMPARE(itemsOf(d->problems), (QStringList{"種類のページ名が使えません（1 行）",
                                                    "　3 行目：種類「top,t」：ほかのページと同じファイル名になるため作成できません（top.html）"}));
        pressKey(d->importButton, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages(), QStringList{"1 件のデータを取り込みました"});
    QCOMPARE(readAll(db), (QList<Record>{{1, "index,t", "q1", "a"}}));
}

// A cell typed in the header row's last column: the thousands of columns between are one row
// of the column table and one entry of the columns not used; the far column can still be chosen.
void TestExchange::importPreview_headerTypedAsFarRightAsColumnXfd()
{
    const QString db = makeNumbered(path("wide.mdb"), {});
    const QString file = path("wide.csv");
    const QByteArray between(16380, ',');
    writeBytes(file, "kind,quest,anser" + between + ",X\r\n\"sub100,t\",q1,a" + between + ",far\r\n");
    auto win = openWindow(db);
    win->fake.fileNameNext(file);
    withDialog<ImportDialog>([&] { win->w->importCsv->trigger(); }, [](ImportDialog* d) {
        QCOMPARE(d->columns->rowCount(), 5);
        QCOMPARE(d->columns->item(3, 0)->text(), QStringLiteral("（4〜16383 列目）"));
        QVERIFY(!d->columns->cellWidget(3, 1)->isEnabled());
        QCOMPARE(d->header->text(), QStringLiteral("見出し：1 行目\n使わない列：（4〜16383 列目・見出しなし）、「X」"));
        auto* answer = d->findChild<QComboBox*>("importColumn2");
        auto* far = d->findChild<QComboBox*>("importColumn16383");
        answer->setFocus();
        pressKey(answer, Qt::Key_Down); // 使わない
        far->setFocus();
        pressKey(far, Qt::Key_Up); // 回答
        QCOMPARE(d->header->text(), QStringLiteral("見出し：1 行目\n使わない列：「anser」、（4〜16383 列目・見出しなし）"));
        pressKey(d->importButton, Qt::Key_Return);
    });
    QCOMPARE(readAll(db), (QList<Record>{{1, "sub100,t", "q1", "far"}}));
}

void TestExchange::exportWorkbook_japaneseHeaderChosenAndReadBack()
{
    const QList<Record> records{{4, "sub100,初級編", "「〜」とは？😀", "一行目<br>\r\n二行目"}, {9, "sub100,初級編", "=A1", "007"}};
    const QString db = makeNumbered(path("book.mdb"), records);
    auto win = openWindow(db);
    // A Japanese name (libxlsxwriter opens its files by narrow paths).
    const QString book = path("よくある質問.xlsx");
    win->fake.fileNameNext(book);
    withDialog<ExportDialog>([&] { win->w->exportCsv->trigger(); }, [](ExportDialog* d) {
        QVERIFY(!d->utf8->isEnabled() && !d->tab->isEnabled());
        QVERIFY(d->headerEnglish->isChecked());
        d->headerJapanese->setFocus();
        pressKey(d->headerJapanese, Qt::Key_Space);
        QVERIFY(d->headerJapanese->isChecked() && !d->headerEnglish->isChecked());
        pressKey(d->headerJapanese, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages(), QStringList{"2 件のデータを書き出しました\r" + book});
    win->fake.clear();

    const QString target = makeNumbered(path("book-back.mdb"), {});
    auto back = openWindow(target);
    back->fake.fileNameNext(book);
    withDialog<ImportDialog>([&] { back->w->importCsv->trigger(); }, [](ImportDialog* d) {
        QVERIFY(!d->encoding->isEnabled());
        QCOMPARE(d->header->text(), QStringLiteral("見出し：1 行目"));
        // A tick changed and changed back plans again from the sheet read when the preview opened.
        d->lineBreaks->setFocus();
        pressKey(d->lineBreaks, Qt::Key_Space);
        pressKey(d->lineBreaks, Qt::Key_Space);
        QCOMPARE(d->sheetReads(), 1);
        QCOMPARE(d->summary->text(), QStringLiteral("シート：Q&A\n追加するデータ：2 件\n取り込めない行：0 行"));
        pressKey(d->importButton, Qt::Key_Return);
    });
    QCOMPARE(back->fake.messages(), QStringList{"2 件のデータを取り込みました"});
    QCOMPARE(readAll(target), records);
}

void TestExchange::export_offersUtf8ForACharacterShiftJisLacks()
{
    const QList<Record> records{{4, "sub100,初級編", "「〜」とは？", "波ダッシュです"}, {9, "sub100,初級編", "=A1", "x"}};
    const QString db = makeNumbered(path("export.mdb"), records);
    auto win = openWindow(db);
    const QString refused = path("refused.csv");
    win->fake.fileNameNext(refused);
    win->fake.answerNext(false);
    withDialog<ExportDialog>([&] { win->w->exportCsv->trigger(); }, [](ExportDialog* d) {
        QVERIFY(d->shiftJis->isChecked() && d->comma->isChecked());
        pressKey(d, Qt::Key_Return);
    });
    const QString question = QStringLiteral("文字コード確認\tShift_JIS にない文字 「〜」（U+301C） があるため、書き出せませんでした\r"
                                            "No.4 の質問「「〜」とは？」\r\rUTF-8（BOM付き）で書き出しますか？");
    QCOMPARE(win->fake.questions(), QStringList{question});
    QCOMPARE(win->fake.messages(), QStringList());
    QVERIFY(!QFile::exists(refused));

    // A file of that name is the user's: Enter on the question keeps it.
    win->fake.clear();
    const QString file = path("faq.tsv");
    writeBytes(file, "edited in a spreadsheet");
    win->fake.fileNameNext(file);
    win->fake.answerNext(false);
    bool dialogShown = false;
    QTimer::singleShot(0, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialogShown = true;
            d->reject();
        }
    });
    win->w->exportCsv->trigger();
    QCoreApplication::processEvents();
    QVERIFY(!dialogShown);
    QCOMPARE(win->fake.questions(), QStringList{"ファイル上書き確認\t\n" + file + " のファイルに上書きしますか？\t(default No)"});
    QCOMPARE(readBytes(file), QByteArray("edited in a spreadsheet"));
    win->fake.fileNameNext(file);
    win->fake.answerNext(true); // overwrite
    withDialog<ExportDialog>([&] { win->w->exportCsv->trigger(); }, [](ExportDialog* d) {
        QVERIFY(d->tab->isChecked()); // from the name
        d->utf8->setFocus();
        pressKey(d->utf8, Qt::Key_Space);
        QVERIFY(d->utf8->isChecked());
        pressKey(d, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages(), QStringList{"2 件のデータを書き出しました\r" + file});
    QVERIFY(!win->fake.questionsLeft());
    QVERIFY(readBytes(file).startsWith("\xEF\xBB\xBFNo\tkind\tquest\tanser\r\n4\t"));
    const QString copy = makeNumbered(path("copy.mdb"), {});
    QByteArray bytes;
    QString error;
    QVERIFY(csv::readImportFile(file, &bytes, &error));
    csv::ExistingRecords none;
    StoreStatus status;
    QVERIFY(openStore(copy, &status)->applyChanges(csv::planImport(bytes, {std::nullopt, csv::Separator::Tab}, none).additions).ok());
    QCOMPARE(readAll(copy), records);
}

// 種類の変更…: the kind typed on the tab comes first; the new kind is typed and checked as a
// new record's kind; the count shows before anything changes; the change is one step of the
// history; the next ＨＰ作成 with pruning removes the old sub-index page.
void TestExchange::renameKind_typedConfirmedAndTakenBack()
{
    const QList<Record> records{{1, "sub100,初級編", "q1", "a"}, {2, "sub200,中級編", "q2", "a"},
                                {5, "sub100,初級編", "q3", "a"}, {6, "sub100,初級編", "q4", "a"}};
    const QString db = makeNumbered(path("rename.mdb"), records);
    const QString site = path("rename-site");
    QDir().mkpath(site);
    auto win = openWindow(db, site);
    main1* w = win->w.get();
    w->Check4->setChecked(true);
    w->Command13->click();
    w->Command14->click();
    QVERIFY(QFile::exists(site + "/sub100.html"));
    QTest::mouseClick(w->Command12, Qt::LeftButton); // the kinds into the kind box
    QCOMPARE(w->Combo1->currentText(), QStringLiteral("sub100,初級編"));
    win->fake.clear();

    withDialog<RenameKindDialog>([&] { QTest::mouseClick(w->renameKind, Qt::LeftButton); }, [&](RenameKindDialog* d) {
        QCOMPARE(d->kind->currentText(), QStringLiteral("sub100,初級編"));
        QCOMPARE(d->newKind->text(), QStringLiteral("sub100,初級編"));
        QCOMPARE(d->count->text(), QStringLiteral("3 件のデータの種類が変わります"));
        d->newKind->setFocus();
        d->newKind->selectAll();
        typeText(d->newKind, QStringLiteral("sub200,中級編"));
        QCOMPARE(d->count->text(), QStringLiteral("3 件のデータの種類が変わります\n「sub200,中級編」の 1 件と同じ種類になります"));
        d->newKind->selectAll();
        typeText(d->newKind, QStringLiteral("sub101　入門編"));
        pressKey(d->newKind, Qt::Key_Return);
        QVERIFY(d->isVisible());
        QCOMPARE(win->fake.messages(), QStringList{"ファイル名,種類　のフォーマットで種類を入れて下さい(右の例参照)"});
        QCOMPARE(readAll(db), records);
        d->newKind->selectAll();
        typeText(d->newKind, QStringLiteral("sub101,入門編"));
        pressKey(d->newKind, Qt::Key_Return);
    });
    QCOMPARE(win->fake.messages().last(), QStringLiteral("3 件のデータの種類を変更しました"));
    QList<Record> renamed = records;
    for (Record& r : renamed) {
        if (r.kind == QStringLiteral("sub100,初級編"))
            r.kind = QStringLiteral("sub101,入門編");
    }
    QCOMPARE(readAll(db), renamed);
    QCOMPARE(w->Combo1->currentText(), QStringLiteral("sub101,入門編"));
    QStringList kinds;
    for (int i = 0; i < w->Combo1->count(); ++i)
        kinds << w->Combo1->itemText(i);
    QCOMPARE(kinds, (QStringList{"sub101,入門編", "sub200,中級編"}));

    w->Command13->click();
    w->Command14->click();
    QVERIFY(!QFile::exists(site + "/sub100.html"));
    QVERIFY(QFile::exists(site + "/sub101.html"));

    // Taken back in one step, and done again.
    w->findChild<QAction*>("undo")->trigger();
    QCOMPARE(readAll(db), records);
    QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("元に戻しました：種類の変更「sub100,初級編」→「sub101,入門編」"));
    QCOMPARE(w->Combo1->itemText(0), QStringLiteral("sub100,初級編"));
    w->findChild<QAction*>("redo")->trigger();
    QCOMPARE(readAll(db), renamed);
}

// Ticked (the start, for a folder never used): the viewport line after the META line of every
// page and nothing else, as qadora-build --viewport writes it; off: pages as before.
void TestExchange::viewport_onEveryPageOnlyWhenTicked()
{
    const QString db = makeNumbered(path("phone.mdb"), {{1, "sub100,初級編", "q1", "a"}, {2, "sub200,中級編", "q2", "b"}});
    const QString site = path("phone-site");
    QDir().mkpath(site);
    auto win = openWindow(db, site);
    main1* w = win->w.get();
    QVERIFY(w->Check5->isChecked());
    QCOMPARE(w->Check5->text(), QStringLiteral("スマートフォン向けの表示にする"));
    QTest::mouseClick(w->Check5, Qt::LeftButton, {}, QPoint(8, w->Check5->height() / 2));
    QVERIFY(!w->Check5->isChecked());
    QTest::mouseClick(w->Check5, Qt::LeftButton, {}, QPoint(8, w->Check5->height() / 2));
    QVERIFY(w->Check5->isChecked());
    w->Command13->click();
    w->Command14->click();
    const QMap<QString, QByteArray> pages = filesBelow(site);
    QCOMPARE(pages.size(), 5);

    const QString plain = path("phone-plain");
    const QString phone = path("phone-cli");
    for (const QString& dir : {plain, phone}) {
        QDir().mkpath(dir);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(buildPath(QStringLiteral(QADORA_BUILD_EXE)), QStringList{db, dir} << (dir == phone ? QStringList{"--viewport"} : QStringList{}));
        QVERIFY2(p.waitForFinished(60000) && p.exitCode() == 0, qPrintable(p.errorString() + " " + p.readAll()));
    }
    QCOMPARE(filesBelow(phone), pages);
    const QMap<QString, QByteArray> before = filesBelow(plain);
    for (auto it = pages.cbegin(); it != pages.cend(); ++it) {
        QList<QByteArray> lines = it.value().split('\n');
        QCOMPARE(lines[3], (kViewport + "\r").toLatin1());
        lines.removeAt(3);
        QCOMPARE(lines.join('\n'), before.value(it.key()));
    }

    // Remembered with the folder: another folder never used keeps what the tab shows, a
    // restart brings it back.
    const QString other = path("phone-other");
    QDir().mkpath(other);
    QVERIFY(w->Dir1->setPath(other));
    QVERIFY(w->Check5->isChecked());
    QVERIFY(w->Dir1->setPath(site));
    QVERIFY(w->Check5->isChecked());
    QVERIFY(w->close());
    win = openWindow(db, site);
    QVERIFY(win->w->Check5->isChecked());
}

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
