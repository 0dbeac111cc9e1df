// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "history/backups.h"
#include "site/cp932.h"
#include "store/sqlitestore.h"
#include "workbook/workbookreader.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::csv;
using namespace qadora::test;

Q_DECLARE_METATYPE(qadora::csv::Encoding)
Q_DECLARE_METATYPE(qadora::csv::Separator)

namespace {

// Texts that spreadsheets, encoders and line-break handling get wrong. Each is used as the
// kind (before a comma), the question and the answer of one record.
struct Hostile {
    const char* name;
    QString text;
    bool inXml = true; // false: XML, so a workbook, cannot hold it
    // false: LibreOffice's own workbooks change it. It reads "_x1_" as U+0001 but writes it
    // as it is, and writes a text holding "_x005F_" without escaping its underscore.
    bool libreOfficeKeeps = true;
};

QList<Hostile> hostileTexts()
{
    return {
        {"emoji", QStringLiteral("絵文字😀です")},
        {"wave dash", QStringLiteral("10時〜12時")},
        {"minus sign", QStringLiteral("−5度")},
        {"circled digit", QStringLiteral("①番")},
        {"no-break space", QStringLiteral("a\u00A0b")},
        {"tabs", QStringLiteral("\tタブ\t入り\t")},
        {"br and CR LF", QStringLiteral("一行目<br>\r\n二行目")},
        {"quotes", QStringLiteral("\"引用\"と'単引用'")},
        {"commas", QStringLiteral("a,b,,c,")},
        {"leading =", QStringLiteral("=SUM(A1:A3)")},
        {"leading +", QStringLiteral("+81-3-1234-5678")},
        {"leading -", QStringLiteral("-1")},
        {"leading @", QStringLiteral("@mention")},
        {"apostrophe before =", QStringLiteral("'=1")},
        {"apostrophes before a number", QStringLiteral("''007")},
        {"apostrophe before text", QStringLiteral("'abc")},
        {"zero-padded number", QStringLiteral("007")},
        {"fraction", QStringLiteral("1/2")},
        {"full-width digits", QStringLiteral("１２３")},
        {"date", QStringLiteral("2024/01/02")},
        {"time", QStringLiteral("12:30")},
        {"truth value", QStringLiteral("true")},
        {"exponent", QStringLiteral("1e5")},
        {"lone CR", QStringLiteral("a\rb")},
        {"lone LF", QStringLiteral("a\nb")},
        {"U+2028", QStringLiteral("a\u2028b")},
        {"every break", QStringLiteral("\r\n\n\r\r\n\n\n\r\r")},
        {"leading break", QStringLiteral("\r\n先頭")},
        {"pilcrows", QStringLiteral("¶n¶¶r¶\n¶")},
        {"spaces around", QStringLiteral("  両端  ")},
        {"ideographic spaces", QStringLiteral("　全角　")},
        {"half-width katakana", QStringLiteral("ｱｲｳﾞ")},
        {"yen sign", QStringLiteral("¥100")},
        {"backslash", QStringLiteral("C:\\dir\\")},
        {"leading U+FEFF", QStringLiteral("\uFEFF先頭にBOMの文字")},
        {"leading U+FFFE", QStringLiteral("\uFFFE先頭"), false},
        {"controls", QStringLiteral("\x01\x1a\x7f"), false},
        {"looks like an escape", QStringLiteral("_x0041_と_x00e9_")},
        {"escaped underscore", QStringLiteral("_x005F_x0041_"), true, false},
        {"short escape", QStringLiteral("_x1_ _x7f_"), true, false},
        {"upper-case escape", QStringLiteral("_X0041_ _x_ x0041_ _x00411_")},
        {"U+FFFF", QStringLiteral("a\uFFFFb"), false},
        {"lone surrogate", QString(QChar(0xD800)) + QStringLiteral("孤立"), false},
    };
}

bool inCp932(const QString& text)
{
    return cp932::firstWithoutCode(text) < 0;
}

// The text is in the kind's title: a kind's page name must be a file name the site can have.
Record hostileRecord(qint64 no, const QString& text)
{
    return {no, QStringLiteral("k,") + text, text, text};
}

// A database holding exactly these records with their numbers; a number above them all was
// given and deleted, so the sequence runs ahead of the records.
QString makeNumbered(const QString& path, const QList<Record>& records, qint64 sequence = 0)
{
    QFile::remove(path);
    createDatabase(path);
    writeRecordsKeepingNumbers(path, std::vector<Record>(records.begin(), records.end()));
    if (sequence > 0)
        runSqlite(path, QStringLiteral("UPDATE sqlite_sequence SET seq = %1 WHERE name = 'tbl1';").arg(sequence));
    return path;
}

ImportPlan plan(const QString& database, const QByteArray& bytes, Separator separator = Separator::Comma,
                std::optional<Encoding> encoding = std::nullopt)
{
    ExistingRecords existing;
    const StoreStatus status = readExisting(database, &existing);
    if (!status.ok())
        qFatal("%s", qPrintable(status.message));
    return planImport(bytes, {encoding, separator}, existing);
}

// Imports the file as the window does after the preview; the plan, or a failure in `error`.
ImportPlan importFile(const QString& database, const QString& file, QString* error,
                      std::optional<Encoding> encoding = std::nullopt)
{
    QByteArray bytes;
    if (!readImportFile(file, &bytes, error))
        return {};
    ImportPlan p = plan(database, bytes, separatorFor(file), encoding);
    StoreStatus status;
    auto store = openStore(database, &status);
    if (store)
        status = store->applyChanges(p.additions);
    *error = status.message;
    return p;
}

QString problemsText(const ImportPlan& p)
{
    QStringList lines;
    for (const ImportProblem& problem : p.problems)
        lines << QStringLiteral("%1: %2").arg(problem.line).arg(problem.reason);
    return lines.join(QLatin1Char('\n'));
}

QList<qint64> numbersOf(const ChangeSet& changes)
{
    QList<qint64> numbers;
    for (const RecordChange& c : changes)
        numbers << c.after->no;
    return numbers;
}

} // namespace

class TestCsv : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void roundTrip_data();
    void roundTrip();
    void fileBytes_data();
    void fileBytes();
    void export_keepsTheOldFileOnFailure();
    void importProblems_data();
    void importProblems();
    void import_indexPageName_data();
    void import_indexPageName();
    void import_numbersAsAddsDo();
    void import_refusesAHugeFile_data();
    void import_refusesAHugeFile();
    void libreOfficeRoundTrip();
    void workbook_shopOwner_data();
    void workbook_shopOwner();
    void workbook_refused_data();
    void workbook_refused();
    void workbook_rowsOutOfOrder();
    void workbook_mergedOverWholeRowsAndColumns();
    void workbook_cellsPastTheLastColumn();
    void workbook_hostileRepeats_data();
    void workbook_hostileRepeats();
    void workbook_libreOfficeSavesItAgain();
    void workbook_cellLimit_data();
    void workbook_cellLimit();
    void commandLine();
    void commandLine_workbookUnderJapaneseNames();

private:
    // The shop owner's workbook as LibreOffice wrote it (xlsx and ods), made once.
    QString shopWorkbook(const QString& extension);
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString csv(const QString& name, const QByteArray& bytes) const
    {
        writeBytes(path(name), bytes);
        return path(name);
    }
};

void TestCsv::initTestCase()
{
    isolateSettings();
}

void TestCsv::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<Separator>("separator");
    QTest::addColumn<bool>("workbook");
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<bool>("inXml");
    for (const Hostile& h : hostileTexts()) {
        QTest::addRow("%s, Shift_JIS", h.name) << h.text << Encoding::ShiftJis << Separator::Comma << false << false << h.inXml;
        QTest::addRow("%s, UTF-8", h.name) << h.text << Encoding::Utf8 << Separator::Comma << false << false << h.inXml;
        QTest::addRow("%s, UTF-8 TSV", h.name) << h.text << Encoding::Utf8 << Separator::Tab << false << false << h.inXml;
        QTest::addRow("%s, UTF-8, Japanese header", h.name) << h.text << Encoding::Utf8 << Separator::Comma << false << true << h.inXml;
        QTest::addRow("%s, xlsx", h.name) << h.text << Encoding::Utf8 << Separator::Comma << true << false << h.inXml;
        QTest::addRow("%s, xlsx, Japanese header", h.name) << h.text << Encoding::Utf8 << Separator::Comma << true << true << h.inXml;
    }
}

// Export, then import into a new database: the same records, numbers and characters. A text
// Shift_JIS cannot hold stops the export, naming the character and the record.
void TestCsv::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(Encoding, encoding);
    QFETCH(Separator, separator);
    QFETCH(bool, workbook);
    QFETCH(bool, japanese);
    QFETCH(bool, inXml);
    const QList<Record> records{{7, "sub100,初級編", "普通の質問", "普通の答え"}, hostileRecord(41, text)};
    const QString source = makeNumbered(path("source.mdb"), records, 50);
    const QString file = path(workbook ? "out.xlsx" : separator == Separator::Tab ? "out.tsv" : "out.csv");
    QFile::remove(file);
    ExportOptions options{encoding, separator};
    options.workbook = workbook;
    options.japaneseHeader = japanese;
    const ExportResult exported = exportRecords(source, file, options);
    // A workbook cannot hold what XML cannot: the export stops, naming the record and the field.
    if (workbook && !inXml) {
        QVERIFY(!exported.ok);
        QVERIFY2(exported.message.startsWith(QStringLiteral("Excel のブックに入れられない文字（"))
                     && exported.message.endsWith(QStringLiteral("No.41「%1」の種類").arg(text)),
                 qPrintable(exported.message));
        QVERIFY(!QFile::exists(file));
        return;
    }
    // UTF-8 holds every character, but half of a surrogate pair is none.
    if (encoding == Encoding::Utf8 && !workbook && !text.isValidUtf16()) {
        QVERIFY(!exported.ok && exported.notInEncoding && exported.message.contains(QStringLiteral("No.41")));
        QVERIFY(!QFile::exists(file));
        return;
    }
    if (encoding == Encoding::ShiftJis && !inCp932(text) && !workbook) {
        QVERIFY(!exported.ok && exported.notInEncoding);
        QVERIFY2(exported.message.contains(cp932::describeCharacter(char32_t(cp932::firstWithoutCode(text))))
                     && exported.message.contains(QStringLiteral("No.41")),
                 qPrintable(exported.message));
        QVERIFY(!QFile::exists(file));
        return;
    }
    QVERIFY2(exported.ok, qPrintable(exported.message));
    QCOMPARE(exported.records, 2);
    const QString target = makeNumbered(path("target.mdb"), {});
    QString error;
    const ImportPlan p = importFile(target, file, &error, encoding);
    // Control characters other tools cut texts at are written out but not taken in again.
    if (QByteArrayView(QTest::currentDataTag()).startsWith("controls")) {
        QCOMPARE(problemsText(p), QStringLiteral("3: 行が壊れています（2 列目に制御文字（U+0001）があります）"));
        QCOMPARE(readAll(target), records.mid(0, 1));
        return;
    }
    QVERIFY2(error.isEmpty() && p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(error + p.fatal + problemsText(p)));
    QCOMPARE(readAll(target), records);
}

void TestCsv::fileBytes_data()
{
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<Separator>("separator");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray body = "No,kind,quest,anser\r\n"
                            "3,\"sub100,初級編\",'=1+1,\"a\n"
                            "b¶r\n"
                            "c\"\r\n"
                            "12,\"x,\"\"y\"\"\",\" lead\",'007\r\n";
    QTest::newRow("Shift_JIS") << Encoding::ShiftJis << Separator::Comma << cp932::encode(QString::fromUtf8(body));
    QTest::newRow("UTF-8 has a BOM") << Encoding::Utf8 << Separator::Comma << "\xEF\xBB\xBF" + body;
    QTest::newRow("TSV") << Encoding::Utf8 << Separator::Tab
                         << QByteArray("\xEF\xBB\xBFNo\tkind\tquest\tanser\r\n"
                                       "3\tsub100,初級編\t'=1+1\t\"a\nb¶r\nc\"\r\n"
                                       "12\t\"x,\"\"y\"\"\"\t\" lead\"\t'007\r\n");
}

// The file as Excel reads it: CR LF between records, LF inside a cell, quotes only where
// needed, and an apostrophe before what would be a formula or a number.
void TestCsv::fileBytes()
{
    QFETCH(Encoding, encoding);
    QFETCH(Separator, separator);
    QFETCH(QByteArray, bytes);
    const QString db = makeNumbered(path("bytes.mdb"), {{3, "sub100,初級編", "=1+1", "a\r\nb\rc"},
                                                         {12, "x,\"y\"", " lead", "007"}});
    QVERIFY(exportRecords(db, path("bytes.csv"), {encoding, separator}).ok);
    QCOMPARE(readBytes(path("bytes.csv")), bytes);
}

void TestCsv::export_keepsTheOldFileOnFailure()
{
    const QString db = makeNumbered(path("fail.mdb"), {{1, "a,b", "絵文字😀", "x"}});
    const QString file = csv("old.csv", "old contents");
    const ExportResult r = exportRecords(db, file, {Encoding::ShiftJis, Separator::Comma});
    QCOMPARE(r.message, QStringLiteral("Shift_JIS にない文字 「😀」（U+1F600） があるため、書き出せませんでした\r"
                                       "No.1 の質問「絵文字😀」"));
    QCOMPARE(readBytes(file), QByteArray("old contents"));
    // Half of a surrogate pair is no character in UTF-8 either.
    const QString broken = makeNumbered(path("broken.mdb"), {{2, "a,b", "q", QString(QChar(0xD800))}});
    QVERIFY(exportRecords(broken, file, {Encoding::Utf8, Separator::Comma}).notInEncoding);
    QCOMPARE(readBytes(file), QByteArray("old contents"));
    // A full disk is said in the user's words, not the system's English.
    const QString full = path("full");
    QVERIFY(QDir().mkpath(full));
    if (mountTmpfs(full, QStringLiteral("size=64k"))) {
        const QString big = makeNumbered(path("big.mdb"), {{1, "a,b", "q", QString(200000, u'x')}});
        const ExportResult r = exportRecords(big, full + QStringLiteral("/out.csv"), {Encoding::Utf8, Separator::Comma});
        unmount(full);
        QVERIFY2(!r.ok && r.message.endsWith(QStringLiteral("ディスクに空きがありません")), qPrintable(r.message));
    }
    // Never over the database itself.
    QVERIFY(!exportRecords(db, db, {Encoding::Utf8, Separator::Comma}).ok);
    QCOMPARE(readAll(db).size(), 1);
}

void TestCsv::importProblems_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problems");
    QTest::addColumn<QList<qint64>>("added");
    const QByteArray head = "No,kind,quest,anser\r\n";
    // The database holds No 5 "既存の質問"; its sequence has reached 9.
    QTest::newRow("kind without a comma") << head + "20,sub100,q1,a\r\n,\"k,t\",q2,a\r\n"
                                          << "2: 種類「sub100」に半角カンマがありません" << QList<qint64>{10};
    QTest::newRow("empty question") << head + ",\"k,t\",,a\r\n,\"k,t\",q,\r\n" << "2: 質問が空です" << QList<qint64>{10};
    QTest::newRow("question in the database") << head + ",\"k,t\",既存の質問,a\r\n"
                                              << "2: 同じ質問がすでにあります（No.5）" << QList<qint64>{};
    QTest::newRow("question earlier in the file")
        << head + ",\"k,t\",q,a\r\n,\"k,t\",\"multi\nline\",a\r\n,\"k,t\",q,b\r\n"
        << "5: 同じ質問が 2 行目にもあります" << QList<qint64>{10, 11};
    QTest::newRow("too long") << head + ",\"k,t\"," + QByteArray(251, 'q') + ",a\r\n,\"k," + QByteArray(99, 't') + "\",q,a\r\n"
                              << "2: 質問は250文字以内で入れて下さい（現在251文字）\n"
                                 "3: 種類は100文字以内で入れて下さい（現在101文字）"
                              << QList<qint64>{};
    QTest::newRow("text after a closing quote") << head + ",\"k,t\"x,q,a\r\n,\"k,t\",q2,a\r\n"
                                                << "2: 行が壊れています（引用符（\"）で囲まれた項目の後に文字があります）"
                                                << QList<qint64>{10};
    QTest::newRow("quote inside a bare cell") << head + ",\"k,t\",5\" screen,a\r\n"
                                              << "2: 行が壊れています（引用符で囲まれていない項目に引用符（\"）があります）"
                                              << QList<qint64>{};
    QTest::newRow("unclosed quote after a break") << head + ",\"k,t\",\"q\r\nx\",a\r\n,\"k,t\",q3,a\r\n,\"k,t\",\"open,a\r\n"
                                                  << "5: 行が壊れています（引用符（\"）が閉じられていません）"
                                                  << QList<qint64>{10, 11};
    QTest::newRow("too few and too many cells")
        << head + ",\"k,t\",q\r\n,\"k,t\",q2,a,x\r\n,\"k,t\",q3,a,,\r\n"
        << "2: 行が壊れています（項目が 3 個しかありません。見出しは 4 個です）\n"
           "3: 行が壊れています（項目が 5 個あります。見出しは 4 個です）"
        << QList<qint64>{10};
    QTest::newRow("bytes that are not Shift_JIS") << head + ",\"k,t\",\x81\x20,a\r\n,\"k,t\",\x82\xA0,a\r\n"
                                                  << "2: 行が壊れています（Shift_JIS として読めない文字があります）"
                                                  << QList<qint64>{10};
    QTest::newRow("numbers taken, repeated or wrong")
        << head + "5,\"k,t\",q1,a\r\n30,\"k,t\",q2,a\r\n30,\"k,t\",q3,a\r\n%2x,\"k,t\",q4,a\r\n0,\"k,t\",q5,a\r\n"
                  "2147483648,\"k,t\",q6,a\r\n 2147483647 ,\"k,t\",q7,a\r\n,\"k,t\",q8,a\r\n"
        << "2: 番号 5 のデータがすでにあります\n"
           "4: 番号 30 は 3 行目にもあります\n"
           "5: 番号「%2x」が正しくありません（1 から 2147483647 までの整数）\n"
           "6: 番号「0」が正しくありません（1 から 2147483647 までの整数）\n"
           "7: 番号「2147483648」が正しくありません（1 から 2147483647 までの整数）\n"
           "9: これ以上番号を付けられません"
        << QList<qint64>{30, 2147483647};
    QTest::newRow("blank rows are skipped") << head + "\r\n,,,\r\n,\"k,t\",q,a\r\n\r\n" << "" << QList<qint64>{10};
    QTest::newRow("UTF-16 (Excel's Unicode text)")
        << QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE).encode(QStringLiteral("kind\tquest\tanser\r\nk,t\t質問\ta\r\n"))
        << "" << QList<qint64>{10};
    QTest::newRow("NUL and ESC in cells, tab and breaks allowed")
        << head + QByteArray(",\"k,t\",q#x,a\r\n,\"k,t\",q2,a\x1b\r\n,\"k,t\",\"q3\ttab\",\"a\r\nb\"\r\n").replace('#', '\0')
        << "2: 行が壊れています（3 列目に制御文字（U+0000）があります）\n"
           "3: 行が壊れています（4 列目に制御文字（U+001B）があります）"
        << QList<qint64>{10};
    QTest::newRow("kinds the build refuses")
        << head + ",../../evil,q1,a\r\n,\",t\",q2,a\r\n,\".x,t\",q3,a\r\n,\"index,t\",q4,a\r\n,\"QA005,t\",q5,a\r\n"
                  ",\"d\\x,t\",q6,a\r\n,\"A,t\",q7,a\r\n,\"s1,t\",q8,a\r\n,\"S1,u\",q9,a\r\n,\"s1,v\",q10,a\r\n,\"qa5,t\",q11,a\r\n"
        << "2: 種類「../../evil」に半角カンマがありません\n"
           "3: 種類「,t」：半角カンマの前（ページのファイル名）が空です\n"
           "4: 種類「.x,t」：「.」で始まるファイル名のページは公開されません\n"
           "5: 種類「index,t」：ほかのページと同じファイル名になるため作成できません（index.html）\n"
           "6: 種類「QA005,t」：ほかのページと同じファイル名になるため作成できません（QA005.html）\n"
           "7: 種類「d\\x,t」：ファイル名に「/」や「\\」は使えません\n"
           "8: ファイル名「A.html」がほかの種類の「a.html」と大文字・小文字だけ違います（同じファイルになります）\n"
           "10: ファイル名「S1.html」がほかの種類の「s1.html」と大文字・小文字だけ違います（同じファイルになります）"
        << QList<qint64>{10, 11, 12};
    QTest::newRow("the modern style's search page, in any letter case, whatever the style")
        << head + ",\"search,t\",q1,a\r\n,\"SEARCH,t\",q2,a\r\n,\"searches,t\",q3,a\r\n,\"search.x,t\",q4,a\r\n"
        << "2: 種類「search,t」：ほかのページと同じファイル名になるため作成できません（search.html）\n"
           "3: 種類「SEARCH,t」：ほかのページと同じファイル名になるため作成できません（SEARCH.html）"
        << QList<qint64>{10, 11};
    QTest::newRow("a kind that climbs out of the folder") << head + ",\"../../evil,t\",q,a\r\n"
                                                          << "2: 種類「../../evil,t」：ファイル名に「/」や「\\」は使えません"
                                                          << QList<qint64>{};
    const QByteArray emoji = QStringLiteral("😀").toUtf8();
    QTest::newRow("lengths count characters, an emoji as one")
        << "\xEF\xBB\xBF" + head + ",\"k," + emoji.repeated(98) + "\",q1,a\r\n,\"k," + emoji.repeated(99) + "\",q2,a\r\n"
        << "3: 種類は100文字以内で入れて下さい（現在101文字）" << QList<qint64>{10};
    QTest::newRow("UTF-16 of an odd length")
        << QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE).encode(QStringLiteral("kind\tquest\tanser\r\n")) + "x"
        << "0: UTF-16 のファイルの長さが奇数のため読み込めません（最後の 1 バイトが半端です）" << QList<qint64>{};
    QTest::newRow("no header") << QByteArray("1,\"k,t\",q,a\r\n")
                               << "0: 最初の 10 行に見出し（種類・質問・回答の列の名前）がありません\r"
                                  "見出しの名前：番号（No）、種類（カテゴリ・分類・kind）、質問（Q・quest）、回答（答え・A・anser）"
                               << QList<qint64>{};
}

// What the preview lists, line by line, and the numbers of the records it would add.
void TestCsv::importProblems()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problems);
    QFETCH(QList<qint64>, added);
    const QString db = makeNumbered(path("problems.mdb"), {{5, "a,b", "既存の質問", "x"}}, 9);
    const ImportPlan p = plan(db, bytes);
    QCOMPARE(p.fatal.isEmpty() ? problemsText(p) : QStringLiteral("0: ") + p.fatal, problems);
    QCOMPARE(numbersOf(p.additions), added);
    QCOMPARE(readAll(db).size(), 1); // a plan writes nothing
}

void TestCsv::import_indexPageName_data()
{
    QTest::addColumn<QString>("indexName");
    QTest::addColumn<QString>("problems");
    QTest::addColumn<QString>("proposed");
    const QString clash = QStringLiteral("種類「%1,t」：ほかのページと同じファイル名になるため作成できません（%1.html）");
    QTest::newRow("index.html") << "index.html" << "2: " + clash.arg("index") << "sub010";
    QTest::newRow("another name, in another case") << "TOP.html" << "3: " + clash.arg("top") << "sub010";
    QTest::newRow("the index named as a proposal would be") << "sub010.html" << "" << "sub020";
    QTest::newRow("an index that is no .html file") << "index.htm" << "" << "sub010";
}

// The index page a kind's page must not replace is the one the site is built with, as the html
// tab or qadora-build --index names it; a proposed page name steps over it.
void TestCsv::import_indexPageName()
{
    QFETCH(QString, indexName);
    QFETCH(QString, problems);
    QFETCH(QString, proposed);
    ImportOptions options;
    options.pageNames = true;
    options.indexName = indexName;
    const ImportPlan p = planImport("kind,quest,anser\r\n\"index,t\",q1,a\r\n\"top,t\",q2,a\r\nカテゴリ,q3,a\r\n", options, {});
    QCOMPARE(problemsText(p), problems);
    QCOMPARE(p.categories.value(0).pageName, proposed);
}

// Without a No column the file's rows are numbered above every number the database ever gave
// and every number the file gives; columns are found by name, in any order, and a TSV is
// recognised by its header whatever its name.
void TestCsv::import_numbersAsAddsDo()
{
    const QString db = makeNumbered(path("numbers.mdb"), {{3, "a,b", "q0", "x"}}, 40);
    ImportPlan p = plan(db, "\xEF\xBB\xBF" "quest,anser,kind\r\n質問1,答え,\"k,t\"\r\nq2,a,\"k,t\"\r\n");
    QCOMPARE(p.encoding, Encoding::Utf8);
    QCOMPARE(numbersOf(p.additions), (QList<qint64>{41, 42}));
    QCOMPARE(p.additions.first().after->quest, QStringLiteral("質問1"));
    // Only the file's BOM is skipped: a cell's own U+FEFF is its text.
    p = plan(db, "\xEF\xBB\xBF" "quest,anser,kind\r\n\xEF\xBB\xBF質問1,\xEF\xBB\xBF,\"k,t\"\r\n");
    QCOMPARE(p.additions.first().after->quest, QStringLiteral("\uFEFF質問1"));
    QCOMPARE(p.additions.first().after->anser, QStringLiteral("\uFEFF"));
    p = plan(db, "No\tkind\tquest\tanser\r\n\tk,t\tq1\ta\r\n100\tk,t\tq2\ta\r\n");
    QCOMPARE(p.separator, Separator::Tab);
    QCOMPARE(numbersOf(p.additions), (QList<qint64>{101, 100}));
    StoreStatus status;
    QVERIFY(openStore(db, &status)->applyChanges(p.additions).ok());
    // After an import an add continues above it, as it would after added records.
    RecordChange done;
    QVERIFY(openStore(db, &status)->add({0, "a,b", "next", "x"}, &done).ok());
    QCOMPARE(done.after->no, 102);
}

void TestCsv::import_refusesAHugeFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("257 MB") << QString();
    QTest::newRow("reports 0 bytes and never ends") << QStringLiteral("/proc/self/pagemap");
}

// A file chosen by mistake (an image, an archive, a file of /proc) is not read into memory whole.
void TestCsv::import_refusesAHugeFile()
{
    QFETCH(QString, file);
    if (file.isEmpty()) {
        QFile big(path("big.csv"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(257) << 20)); // sparse
        file = big.fileName();
    }
    QByteArray bytes;
    QString error;
    QVERIFY(!readImportFile(file, &bytes, &error));
    QVERIFY2(error.startsWith(QStringLiteral("ファイルが大きすぎるため読み込めません")), qPrintable(error));
    QVERIFY(bytes.isEmpty());
    QFile::remove(path("big.csv"));
}

// Excel-like tools: LibreOffice opens each exported file, saves it as .xlsx, opens that and
// saves it as CSV again in the same encoding; the import reads back the same records.
void TestCsv::libreOfficeRoundTrip()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("soffice (libreoffice-calc-nogui) is not installed");
    QADORA_NEEDS_PROGRAM("soffice");
    struct Run {
        Encoding encoding;
        const char* name;
        int charset; // LibreOffice's number for the encoding
        QList<Record> records;
    };
    QList<Run> runs{{Encoding::ShiftJis, "sjis", 64, {}}, {Encoding::Utf8, "utf8", 76, {}}};
    for (Run& run : runs) {
        qint64 no = 3;
        for (const Hostile& h : hostileTexts()) {
            // Not held by a workbook (controls), or changed by LibreOffice's own workbooks.
            if (!h.inXml || !h.libreOfficeKeeps || (run.encoding == Encoding::ShiftJis && !inCp932(h.text)))
                continue;
            run.records << hostileRecord(no, h.text);
            no += 2;
        }
    }
    // Both conversions of a step run at once, each with a LibreOffice profile of its own.
    const auto convert = [&](const QString& step, const QString& to, const char* ext) {
        QList<QProcess*> processes;
        for (const Run& run : runs) {
            const QString in = path(QStringLiteral("lo-%1-%2.%3").arg(run.name, step, QLatin1String(ext)));
            // Comma, double quote, the encoding, from line 1, Japanese.
            const QString filter = QStringLiteral("44,34,%1,1,,1041").arg(run.charset);
            QStringList args{QStringLiteral("-env:UserInstallation=file://") + path(QStringLiteral("lo-profile-") + run.name),
                             QStringLiteral("--headless")};
            if (to.contains(QLatin1String("%1")))
                args << QStringLiteral("--convert-to") << to.arg(filter);
            else
                args << QStringLiteral("--infilter=Text - txt - csv (StarCalc):") + filter << QStringLiteral("--convert-to") << to;
            args << QStringLiteral("--outdir") << path(QStringLiteral("lo-") + step) << in;
            auto* p = new QProcess(this);
            p->setProcessChannelMode(QProcess::MergedChannels);
            p->start(soffice, args);
            processes << p;
        }
        for (QProcess* p : processes) {
            QVERIFY2(p->waitForFinished(240000) && p->exitCode() == 0, p->readAll().constData());
            delete p;
        }
    };
    for (const Run& run : runs) {
        const QString db = makeNumbered(path(QStringLiteral("lo-%1.mdb").arg(run.name)), run.records);
        QVERIFY(exportRecords(db, path(QStringLiteral("lo-%1-csv.csv").arg(run.name)), {run.encoding, Separator::Comma}).ok);
    }
    convert(QStringLiteral("csv"), QStringLiteral("xlsx"), "csv");
    for (const Run& run : runs)
        QFile::rename(path(QStringLiteral("lo-csv/lo-%1-csv.xlsx").arg(run.name)), path(QStringLiteral("lo-%1-xlsx.xlsx").arg(run.name)));
    convert(QStringLiteral("xlsx"), QStringLiteral("csv:Text - txt - csv (StarCalc):%1"), "xlsx");
    for (const Run& run : runs) {
        const QString back = path(QStringLiteral("lo-xlsx/lo-%1-xlsx.csv").arg(run.name));
        const QString target = makeNumbered(path(QStringLiteral("lo-%1-back.mdb").arg(run.name)), {});
        QString error;
        const ImportPlan p = importFile(target, back, &error, run.encoding);
        QVERIFY2(error.isEmpty() && p.fatal.isEmpty() && p.problems.isEmpty(),
                 qPrintable(error + p.fatal + problemsText(p)));
        // LibreOffice writes LF between rows and quotes every text: a file that is not ours.
        QVERIFY(readBytes(back) != readBytes(path(QStringLiteral("lo-%1-csv.csv").arg(run.name))));
        QCOMPARE(readAll(target), run.records);
    }
}

QString TestCsv::shopWorkbook(const QString& extension)
{
    const QString file = path(QStringLiteral("shop/shop.") + extension);
    if (!QFile::exists(file)) {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            return QString();
        if (!programStarts(QStringLiteral("soffice")) || !programStarts(QStringLiteral("python3")))
            return QString();
        QProcess p;
        p.start(QStringLiteral("python3"), {QStringLiteral(QADORA_SOURCE_DIR "/tests/exchange/make_shop_workbook.py"), path("shop")});
        if (!p.waitForFinished(300000) || p.exitCode() != 0)
            qFatal("make_shop_workbook.py failed: %s", p.readAllStandardError().constData());
    }
    return file;
}

void TestCsv::workbook_shopOwner_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("xlsx (LibreOffice)") << "xlsx";
    QTest::newRow("ods (LibreOffice)") << "ods";
}

// A title row above Japanese headers, a blank column, plain categories merged down over their
// rows, a date, a formatted number and line breaks: every row comes in, at its sheet row.
void TestCsv::workbook_shopOwner()
{
    QFETCH(QString, extension);
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("soffice (libreoffice-calc-nogui) is not installed");
    QADORA_NEEDS_PROGRAM("soffice");
    QADORA_NEEDS_PROGRAM("python3");
    const QString file = shopWorkbook(extension);
    QVERIFY(!file.isEmpty());
    // A kind of the database already has one of the titles: its page is taken again.
    const QString db = makeNumbered(path("shop.mdb"), {{1, "sub010,既存の種類", "既存の質問", "x"}, {2, "faq,その他", "q", "x"}});
    QByteArray bytes;
    QString error;
    QVERIFY2(readImportFile(file, &bytes, &error), qPrintable(error));
    ExistingRecords existing;
    QVERIFY(readExisting(db, &existing).ok());
    ImportOptions options;
    options.pageNames = true;
    ImportPlan p = planImport(bytes, options, existing);
    QVERIFY2(p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(p.fatal + problemsText(p)));
    QVERIFY(p.workbook);
    QCOMPARE(p.sheets, (QStringList{"FAQ", "メモ"}));
    QCOMPARE(p.headerLine, 3);
    QCOMPARE(p.skipped, QStringList{"1 行目：ショップのよくある質問（2024年版）"});
    QCOMPARE(p.columns, (QList<int>{KindColumn, kIgnored, QuestColumn, AnserColumn}));
    QList<Category> expected{{"ご注文について", "sub020", 7}, {"お支払いについて", "sub030", 7}, {"配送について", "sub040", 7},
                             {"返品・交換について", "sub050", 7}, {"会員登録について", "sub060", 7}, {"その他", "faq", 7}};
    QCOMPARE(p.categories, expected);
    QFile want(path("shop/shop.txt"));
    QVERIFY(want.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(want.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(p.additions.size(), 42);
    QHash<QString, QString> pages;
    for (const Category& c : expected)
        pages.insert(c.title, c.pageName);
    for (int i = 0; i < 42; ++i) {
        const QStringList f = lines[i].split(QLatin1Char('\t'));
        QCOMPARE(p.additionLines[i], f[0].toInt());
        const Record& r = *p.additions[i].after;
        QCOMPARE(r, (Record{3 + i, pages.value(f[1]) + "," + f[1], f[2], QString(f[3]).replace("\\n", "\r\n")}));
    }
    // The page names as edited, and the markers of the window's line-break option.
    options.chosenPageNames.insert(QStringLiteral("ご注文について"), QStringLiteral("order"));
    options.lineBreakMarks = true;
    p = planImport(bytes, options, existing);
    QCOMPARE(p.additions[0].after->kind, QStringLiteral("order,ご注文について"));
    QCOMPARE(p.categories[1].pageName, QStringLiteral("sub020"));
    QCOMPARE(p.additions[0].after->anser, QStringLiteral("一行目の答え<br>\r\n二行目の答え"));
    QCOMPARE(p.additions[3].after->anser, QStringLiteral("すでに<br>\r\n改行があります")); // not doubled
    // A page name that the site cannot have refuses its rows.
    options.chosenPageNames.insert(QStringLiteral("配送について"), QStringLiteral("Order"));
    p = planImport(bytes, options, existing);
    QCOMPARE(p.problems.size(), 7);
    QCOMPARE(p.problems[0].line, 18);
    QCOMPARE(p.problems[0].reason, QStringLiteral("ファイル名「Order.html」がほかの種類の「order.html」と大文字・小文字だけ違います（同じファイルになります）"));
    // Without page names each plain category is refused, grouped under one cause.
    options = {};
    p = planImport(bytes, options, existing);
    QCOMPARE(p.problems.size(), 42);
    QCOMPARE(p.problems[0].cause, QStringLiteral("種類に半角カンマがありません"));
    QCOMPARE(p.problems[41].cause, p.problems[0].cause);
    // Another sheet, by name.
    options.sheet = QStringLiteral("メモ");
    QVERIFY(planImport(bytes, options, existing).fatal.startsWith(QStringLiteral("最初の 10 行に見出し")));
    options.sheet = QStringLiteral("ない");
    QCOMPARE(planImport(bytes, options, existing).fatal, QStringLiteral("シート「ない」がありません（このブックのシート：FAQ、メモ）"));
}

void TestCsv::workbook_refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fatal");
    // What Office writes for a workbook with a password: an OLE container, not a zip.
    QTest::newRow("password-protected") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0')
                                        << "パスワードで保護されたブック（または古い形式の .xls）は読み込めません。"
                                           "パスワードを外し、.xlsx か .ods で保存してから取り込んで下さい";
    QTest::newRow("a zip that is no workbook") << QByteArray("PK\x03\x04", 4) + QByteArray(100, 'x')
                                               << "ブックが壊れているため読み込めません（Excel・LibreOffice のブックではありません）";
}

void TestCsv::workbook_refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fatal);
    QCOMPARE(planImport(bytes, {}, {}).fatal, fatal);
    // A workbook cut short.
    const QString file = shopWorkbook(QStringLiteral("xlsx"));
    if (file.isEmpty())
        return;
    const QByteArray whole = readBytes(file);
    const QString cut = planImport(whole.left(whole.size() - 200), {}, {}).fatal;
    QVERIFY2(cut.startsWith(QStringLiteral("ブックが壊れているため読み込めません")), qPrintable(cut));
    // One of its parts damaged: the bytes of its sheet's entry changed.
    QByteArray damaged = whole;
    const qsizetype at = damaged.indexOf("xl/worksheets/sheet1.xml") + 40;
    for (qsizetype i = at; i < at + 64 && i < damaged.size(); ++i)
        damaged[i] = char(damaged[i] ^ 0x55);
    const QString broken = planImport(damaged, {}, {}).fatal;
    QVERIFY2(broken.startsWith(QStringLiteral("ブックが壊れているため読み込めません")), qPrintable(broken));
}

namespace {

// Writes a one-sheet workbook at `file` through Python's zipfile, as a tool other than Qadora
// would: `definitions` make `rows` (and what else the sheet needs) with c(ref, text) for a text
// cell; `parts` add the sheet and any further parts to the open zip `z`.
bool writeWorkbookByPython(const QString& file, const QString& definitions, const QString& parts)
{
    const QString script = QStringLiteral(R"(
import sys, zipfile
def c(ref, text): return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, text)
)") + definitions + QStringLiteral(R"(
ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('xl/workbook.xml', '<workbook %s xmlns:r="%s"><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, rel))
    z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>' % rel)
)") + parts;
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, file});
    return python.waitForFinished() && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

} // namespace

// A workbook whose rows and cells are not in order, with a cell given twice (the last counts)
// and an empty styles part: each row is read at its own number.
void TestCsv::workbook_rowsOutOfOrder()
{
    QADORA_NEEDS_PROGRAM("python3");
    const QString file = path("unordered.xlsx");
    QVERIFY(writeWorkbookByPython(file, QStringLiteral(R"(
rows = ('<row r="3">' + c('A3', 'k,t') + c('C3', 'a3') + c('B3', 'q3') + '</row>'
        + '<row r="1">' + c('A1', 'kind') + c('B1', 'quest') + c('C1', 'anser') + '</row>'
        + '<row r="2">' + c('A2', 'k,t') + c('C2', 'old') + c('B2', 'q2') + c('C2', 'a2') + '</row>'
        + '<row r="3">' + c('D3', 'ignored') + '</row>')
)"), QStringLiteral(R"(
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, rows))
    z.writestr('xl/styles.xml', '')
)")));
    const ImportPlan p = planImport(readBytes(file), {}, {});
    QVERIFY2(p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(p.fatal + problemsText(p)));
    QCOMPARE(p.headerLine, 1);
    QCOMPARE(p.additionLines, (QList<int>{2, 3}));
    QCOMPARE(p.additions[0].after, (Record{1, "k,t", "q2", "a2"}));
    QCOMPARE(p.additions[1].after, (Record{2, "k,t", "q3", "a3"}));
}

// A range merged down a whole column or across a whole row fills only the rows and columns
// that have a text of their own, as a category merged down over its rows.
void TestCsv::workbook_mergedOverWholeRowsAndColumns()
{
    QADORA_NEEDS_PROGRAM("python3");
    const QString file = path("merged.xlsx");
    QVERIFY(writeWorkbookByPython(file, QStringLiteral(R"(
rows = ('<row r="1">' + c('A1', 'kind') + c('B1', 'quest') + c('C1', 'anser') + '</row>'
        + '<row r="2">' + c('A2', 'k,t') + c('B2', 'q2') + c('C2', 'a2') + c('D2', 'note') + '</row>'
        + '<row r="3">' + c('B3', 'q3') + c('C3', 'a3') + '</row>')
merges = '<mergeCells count="2"><mergeCell ref="A2:A1048576"/><mergeCell ref="D2:XFD1048576"/></mergeCells>'
)"), QStringLiteral(R"(
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData>%s</sheetData>%s</worksheet>' % (ns, rows, merges))
)")));
    const workbook::Sheet sheet = workbook::readSheet(readBytes(file));
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QCOMPARE(sheet.rows.size(), 3);
    QCOMPARE(sheet.rows[1].cells.size(), 4);
    QCOMPARE(sheet.rows[2].cells.size(), 4);
    QCOMPARE(sheet.rows[2].cells[3].text, QStringLiteral("note"));
    const ImportPlan p = planImport(readBytes(file), {}, {});
    QVERIFY2(p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(p.fatal + problemsText(p)));
    QCOMPARE(p.additions[1].after, (Record{2, "k,t", "q3", "a3"}));
}

// Cells without a reference count on from the last one: past Excel's last column the sheet is
// damaged, not a row millions of cells wide.
void TestCsv::workbook_cellsPastTheLastColumn()
{
    QADORA_NEEDS_PROGRAM("python3");
    const QString file = path("wide.xlsx");
    QVERIFY(writeWorkbookByPython(file, QStringLiteral(R"(
rows = '<row r="1">' + '<c t="inlineStr"><is><t>x</t></is></c>' * 16385 + '</row>'
)"), QStringLiteral(R"(
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (ns, rows))
)")));
    const QString fatal = planImport(readBytes(file), {}, {}).fatal;
    QVERIFY2(fatal.startsWith(QStringLiteral("ブックが壊れているため読み込めません")), qPrintable(fatal));
}

void TestCsv::workbook_hostileRepeats_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("rows"); // Python making `rows`: c(text, n) a cell repeated, e(n) empty ones, r(cells, n) a row
    QTest::addColumn<QString>("fatal");
    QTest::addColumn<int>("additions");
    QTest::addColumn<int>("problems");
    const QString head = QStringLiteral("r(c('kind') + c('quest') + c('anser') + e(16381))");
    const QString tooMany = QStringLiteral("シート「S」は文字の入ったセルが多すぎるため読み込めません（繰り返しと結合を数えて 4194304 個まで）");
    // As LibreOffice writes a sheet: each row's empty rest, then the empty rows to the last one.
    QTest::newRow("ods: the empty rest of every row and of the sheet")
        << "ods" << head + " + r(c('k,t') + c('q1') + c('a') + e(16381)) + r(c('k,t') + c('q2') + c('a') + e(16381)) + r(e(16384), 1048573)"
        << QString() << 2 << 0;
    QTest::newRow("ods: a record repeated 100,000 times") << "ods" << head + " + r(c('k,t') + c('q') + c('a') + e(16381), 100000)"
                                                          << QString() << 1 << 99999;
    QTest::newRow("ods: one character over the whole sheet") << "ods" << "r(c('x', 16384), 1048576)" << tooMany << 0 << 0;
    QTest::newRow("ods: a note across every column of 300 rows")
        << "ods" << head + " + r(c('k,t') + c('q') + c('a') + c('note', 16381), 300)" << tooMany << 0 << 0;
    QTest::newRow("ods: a range merged over a repeated sheet")
        << "ods"
        << "r('<table:table-cell table:number-columns-spanned=\"16384\" table:number-rows-spanned=\"1048576\" office:value-type=\"string\">"
           "<text:p>kind</text:p></table:table-cell>' + c('quest') + c('anser') + e(16381))"
           " + r(c('k,t') + c('q') + c('a') + e(16380) + c('x'), 300)"
        << tooMany << 0 << 0;
    QTest::newRow("ods: rows past the last one") << "ods" << head + " + r(c('k,t') + c('q') + c('a'), 1048576)"
                                                 << "ブックが壊れているため読み込めません（1048576 行目より後に行があります）" << 0 << 0;
    QTest::newRow("ods: a count no integer holds")
        << "ods" << head + " + '<table:table-row table:number-rows-repeated=\"99999999999999999999\">' + c('k,t') + c('q') + c('a') + '</table:table-row>'"
        << "ブックが壊れているため読み込めません（1048576 行目より後に行があります）" << 0 << 0;
    QTest::newRow("ods: runs of spaces standing for 17 million")
        << "ods" << head + " + r(c('k,t') + c('q') + c('<text:s text:c=\"1024\"/>' * 17000))"
        << "ブックの中身（content.xml）が大きすぎるため読み込めません" << 0 << 0;
    // Excel's own references: one cell far away, or one in every row, costs no more than the cell.
    QTest::newRow("xlsx: a cell at XFD1048576")
        << "xlsx" << "x(1, ['kind', 'quest', 'anser']) + x(2, ['k,t', 'q', 'a']) + '<row r=\"1048576\">' + c('XFD1048576', 'x') + '</row>'"
        << QString() << 1 << 1;
    QTest::newRow("xlsx: a cell in column XFD of 100,000 rows")
        << "xlsx"
        << "x(1, ['kind', 'quest', 'anser']) + ''.join('<row r=\"%d\">%s%s%s%s</row>' % (n, c('A%d' % n, 'k,t'), c('B%d' % n, 'q%d' % n), "
           "c('C%d' % n, 'a'), c('XFD%d' % n, 'x')) for n in range(2, 100002))"
        << QString() << 100000 << 0;
    QTest::newRow("xlsx: a range merged over 300 rows to column XFD")
        << "xlsx"
        << "x(1, ['kind', 'quest', 'anser']) + ''.join('<row r=\"%d\">%s%s</row>' % (n, c('A%d' % n, 'k,t'), c('XFD%d' % n, 'x')) "
           "for n in range(2, 302))\n"
           "merges = '<mergeCells count=\"1\"><mergeCell ref=\"A2:XFD1048576\"/></mergeCells>'"
        << tooMany << 0 << 0;
}

// Repeats and references that would make a sheet of rows × columns cells: empty ones cost
// nothing, those with text are counted out within a bound the refusal names, and a sheet past
// it is refused whole.
void TestCsv::workbook_hostileRepeats()
{
    QFETCH(QString, extension);
    QFETCH(QString, rows);
    QFETCH(QString, fatal);
    QFETCH(int, additions);
    QFETCH(int, problems);
    QADORA_NEEDS_PROGRAM("python3");
    const QString file = path("hostile." + extension);
    if (extension == "xlsx") {
        QVERIFY(writeWorkbookByPython(file, QStringLiteral(R"(
def x(n, texts): return '<row r="%d">%s</row>' % (n, ''.join(c('%s%d' % ('ABC'[i], n), t) for i, t in enumerate(texts)))
merges = ''
rows = )") + rows + '\n', QStringLiteral(R"(
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData>%s</sheetData>%s</worksheet>' % (ns, rows, merges))
)")));
    } else {
        const QString script = QStringLiteral(R"(
import sys, zipfile
def c(text, n=1): return '<table:table-cell table:number-columns-repeated="%d" office:value-type="string"><text:p>%s</text:p></table:table-cell>' % (n, text)
def e(n): return '<table:table-cell table:number-columns-repeated="%d"/>' % n
def r(cells, n=1): return '<table:table-row table:number-rows-repeated="%d">%s</table:table-row>' % (n, cells)
rows = )") + rows + QStringLiteral(R"(
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.spreadsheet', zipfile.ZIP_STORED)
    z.writestr('content.xml', '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">'
               '<office:body><office:spreadsheet><table:table table:name="S">%s</table:table></office:spreadsheet></office:body>'
               '</office:document-content>' % rows)
)");
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script, file});
        QVERIFY(python.waitForFinished() && python.exitCode() == 0);
    }
    const ImportPlan p = planImport(readBytes(file), {}, {});
    QCOMPARE(p.fatal, fatal);
    QCOMPARE(p.additions.size(), additions);
    QCOMPARE(p.problems.size(), problems);
}

// An xlsx written by Qadora, opened and saved again by LibreOffice, reads back unchanged in
// both header languages; a macro workbook's name makes no difference.
void TestCsv::workbook_libreOfficeSavesItAgain()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("soffice (libreoffice-calc-nogui) is not installed");
    QADORA_NEEDS_PROGRAM("soffice");
    QList<Record> records;
    qint64 no = 3;
    for (const Hostile& h : hostileTexts()) {
        // Not held by a workbook (controls), or changed by LibreOffice's own workbooks.
        if (!h.inXml || !h.libreOfficeKeeps)
            continue;
        records << hostileRecord(no, h.text);
        no += 2;
    }
    const QString db = makeNumbered(path("wb-lo.mdb"), records);
    QList<QProcess*> processes;
    for (const bool japanese : {false, true}) {
        const QString name = japanese ? QStringLiteral("wb-ja") : QStringLiteral("wb-en");
        ExportOptions options;
        options.workbook = true;
        options.japaneseHeader = japanese;
        QVERIFY(exportRecords(db, path(name + ".xlsx"), options).ok);
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(soffice, {QStringLiteral("-env:UserInstallation=file://") + path(QStringLiteral("lo-profile-") + name),
                           QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                           QStringLiteral("--outdir"), path(QStringLiteral("lo-") + name), path(name + ".xlsx")});
        processes << p;
    }
    for (QProcess* p : processes) {
        QVERIFY2(p->waitForFinished(240000) && p->exitCode() == 0, p->readAll().constData());
        delete p;
    }
    for (const QString& name : {QStringLiteral("wb-en"), QStringLiteral("wb-ja")}) {
        const QString back = path(QStringLiteral("lo-%1/%1.xlsx").arg(name));
        QVERIFY(readBytes(back) != readBytes(path(name + ".xlsx"))); // LibreOffice's own file
        QFile::copy(back, path(name + ".xlsm"));
        const QString target = makeNumbered(path(name + "-back.mdb"), {});
        QString error;
        const ImportPlan p = importFile(target, path(name + ".xlsm"), &error);
        QVERIFY2(error.isEmpty() && p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(error + p.fatal + problemsText(p)));
        QCOMPARE(readAll(target), records);
    }
}

void TestCsv::workbook_cellLimit_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("fits");
    QTest::newRow("32,767 units") << QString(32767, u'x') << true;
    QTest::newRow("32,768 units") << QString(32768, u'x') << false;
    QTest::newRow("an emoji across the limit") << QString(32766, u'x') + QStringLiteral("😀") << false;
    QTest::newRow("CR LF is one line break in a cell") << QString(32766, u'x') + QStringLiteral("\r\n") << true;
}

// Excel holds 32,767 UTF-16 units in a cell: a longer text stops the export, naming the record
// and the field, and the file already there stays as it was.
void TestCsv::workbook_cellLimit()
{
    QFETCH(QString, answer);
    QFETCH(bool, fits);
    const QList<Record> records{{5, "k,t", "長い答え", answer}};
    const QString db = makeNumbered(path("limit.mdb"), records);
    const QString file = csv("limit.xlsx", "old contents");
    ExportOptions options;
    options.workbook = true;
    const ExportResult exported = exportRecords(db, file, options);
    if (!fits) {
        QCOMPARE(exported.message, QStringLiteral("Excel の一つのセルに入る 32767 文字を超えるため、書き出せませんでした（32768 文字）\r"
                                                  "No.5「長い答え」の答え"));
        QCOMPARE(readBytes(file), QByteArray("old contents"));
        return;
    }
    QVERIFY2(exported.ok, qPrintable(exported.message));
    const QString target = makeNumbered(path("limit-back.mdb"), {});
    QString error;
    const ImportPlan p = importFile(target, file, &error);
    QVERIFY2(error.isEmpty() && p.fatal.isEmpty() && p.problems.isEmpty(), qPrintable(error + p.fatal + problemsText(p)));
    QCOMPARE(readAll(target), records);
}

// qadora-csv: exit 0 when done, 1 when refused (nothing written), 2 on a usage error.
// libxlsxwriter opens its files by narrow paths, which on Windows hold only the code page's
// characters: the workbook and the temporary folder it is made in (the user's, which may be
// under a Japanese user name) have Japanese names here.
void TestCsv::commandLine_workbookUnderJapaneseNames()
{
    const QString temp = path("一時フォルダ");
    QVERIFY(QDir().mkpath(temp));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"TMPDIR", "TMP", "TEMP"})
        env.insert(name, QDir::toNativeSeparators(temp));
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QADORA_CSV_EXE), args);
        p.waitForFinished(60000);
        return std::pair(p.exitCode(), QString::fromUtf8(p.readAllStandardError()).remove(QLatin1Char('\r')));
    };
    const QList<Record> records{{2, "sub1,一", "〜の質問", "答え"}, {9, "sub2,二", "=1", "a\r\nb"}};
    const QString db = makeNumbered(path("質問集.mdb"), records);
    const QString book = path("よくある質問.xlsx");
    QCOMPARE(run({"export", db, book}), std::pair(0, QStringLiteral("exported 2\n")));
    QVERIFY(readBytes(book).startsWith("PK"));
    const QString target = makeNumbered(path("取り込み先.mdb"), {});
    QCOMPARE(run({"import", target, book}).first, 0);
    QCOMPARE(readAll(target), records);
}

void TestCsv::commandLine()
{
    const auto run = [](const QStringList& args, QString* err = nullptr) {
        QProcess p;
        p.start(QStringLiteral(QADORA_CSV_EXE), args);
        p.waitForFinished(60000);
        if (err) // a Windows console's lines end in CR LF
            *err = QString::fromUtf8(p.readAllStandardError()).remove(QLatin1Char('\r'));
        return p.exitCode();
    };
    const QList<Record> records{{2, "sub1,一", "〜の質問", "答え"}, {9, "sub2,二", "=1", "a\r\nb"}};
    const QString db = makeNumbered(path("cli.mdb"), records);
    const QString file = path("cli.csv");
    QString err;
    QCOMPARE(run({"export", db, file}, &err), 1); // 〜 has no Shift_JIS code
    QVERIFY2(err.contains("U+301C") && err.contains("--encoding utf8"), qPrintable(err));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(run({"--encoding", "utf8", "export", db, file}, &err), 0);
    QCOMPARE(err, QStringLiteral("exported 2\n"));

    // One refused row keeps the whole file out, unless asked otherwise.
    const QString target = makeNumbered(path("cli-target.mdb"), {{9, "x,y", "先の質問", "z"}});
    QCOMPARE(run({"import", target, file}, &err), 1);
    QCOMPARE(err, file + QStringLiteral(":3: 番号 9 のデータがすでにあります\nadded 0, refused 1\n"));
    QCOMPARE(readAll(target).size(), 1);
    QCOMPARE(run({"--dry-run", "import", target, file}, &err), 0);
    QVERIFY2(err.endsWith(QStringLiteral("would add 0, refused 1\n")), qPrintable(err));
    QCOMPARE(run({"--dry-run", "--skip-refused", "import", target, file}, &err), 0);
    QVERIFY2(err.endsWith(QStringLiteral("would add 1, refused 1\n")), qPrintable(err));
    QCOMPARE(readAll(target).size(), 1);
    QCOMPARE(run({"--skip-refused", "import", target, file}, &err), 0);
    QCOMPARE(err, file + QStringLiteral(":3: 番号 9 のデータがすでにあります\nadded 1, refused 1\n"));
    QCOMPARE(readAll(target).first(), records.first());
    // The program made its backup where a program outside test mode keeps its data.
    const QString folder = backupFolderFor(target).replace(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), qEnvironmentVariable("XDG_DATA_HOME"));
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.mdb")}, QDir::Files).size(), 1);

    // An Access file refuses the records before a backup is made.
    const QString access = path("access.mdb");
    QFile::remove(access);
    QVERIFY(QFile::copy(qEnvironmentVariable("QADORA_FIXTURES") + QStringLiteral("/jet/jet4-basic.mdb"), access));
    const QByteArray accessBytes = readBytes(access);
    const QString fresh = csv("fresh.csv", "kind,quest,anser\r\n\"k,t\",まだない質問,a\r\n");
    QCOMPARE(run({"import", access, fresh}, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("アクセス形式（mdb）のデータベースは変更できません")), qPrintable(err));
    QCOMPARE(readBytes(access), accessBytes);
    const QString accessBackups = backupFolderFor(access).replace(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), qEnvironmentVariable("XDG_DATA_HOME"));
    QVERIFY(!QFileInfo::exists(accessBackups) || QDir(accessBackups).isEmpty());

    // A database that is not there is named as such; --create makes it, a dry run does not.
    const QString absent = path("absent.mdb");
    for (const char* command : {"import", "export"}) {
        QCOMPARE(run({command, absent, file}, &err), 1);
        QCOMPARE(err, absent + QStringLiteral(": no such database (--create makes a new one for import)\n"));
    }
    QCOMPARE(run({"--create", "--dry-run", "import", absent, file}, &err), 0);
    QCOMPARE(err, QStringLiteral("would add 2, refused 0\n"));
    QVERIFY(!QFile::exists(absent));
    QCOMPARE(run({"--create", "import", absent, file}, &err), 0);
    QCOMPARE(err, QStringLiteral("added 2, refused 0\n"));
    QCOMPARE(readAll(absent), records);
    QCOMPARE(runSqlite(absent, QStringLiteral(".schema tbl1")), runSqlite(makeNumbered(path("window.mdb"), {}), QStringLiteral(".schema tbl1")));
    QCOMPARE(run({"--create", "export", db, file}), 2);

    // Workbooks: out with a Japanese header, in with page names for plain categories.
    const QString book = path("cli.xlsx");
    QCOMPARE(run({"--header", "ja", "export", db, book}, &err), 0);
    const QString fromBook = path("cli-book.mdb");
    QCOMPARE(run({"--create", "import", fromBook, book}, &err), 0);
    QCOMPARE(readAll(fromBook), records);
    if (const QString shop = shopWorkbook(QStringLiteral("ods")); !shop.isEmpty()) {
        const QString shopDb = path("cli-shop.mdb");
        QCOMPARE(run({"--create", "--dry-run", "import", shopDb, shop}, &err), 0);
        QVERIFY2(err.startsWith(shop + QStringLiteral(":4: 種類「ご注文について」に半角カンマがありません\n")), qPrintable(err));
        QCOMPARE(run({"--create", "--page-names", "auto", "--sheet", "FAQ", "import", shopDb, shop}, &err), 0);
        QCOMPARE(err, QStringLiteral("added 42, refused 0\n"));
        QCOMPARE(readAll(shopDb).last().kind, QStringLiteral("sub060,その他"));
        QCOMPARE(run({"--sheet", "ない", "import", shopDb, shop}, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("シート「ない」がありません")), qPrintable(err));
    }
    // The index page the site is built with, as qadora-build takes it.
    const QString topKind = csv("cli-top.csv", "kind,quest,anser\r\n\"top,t\",まだない質問,a\r\n");
    QCOMPARE(run({"--dry-run", "--index", "top.html", "import", db, topKind}, &err), 0);
    QCOMPARE(err, topKind + QStringLiteral(":2: 種類「top,t」：ほかのページと同じファイル名になるため作成できません（top.html）\n"
                                            "would add 0, refused 1\n"));
    QCOMPARE(run({"--dry-run", "import", db, topKind}, &err), 0);
    QCOMPARE(err, QStringLiteral("would add 1, refused 0\n"));
    QCOMPARE(run({"--index", "top.html", "export", db, book}), 2);
    QCOMPARE(run({"--header", "fr", "export", db, book}), 2);
    QCOMPARE(run({"--header", "ja", "import", db, book}), 2);
    QCOMPARE(run({"--page-names", "manual", "import", db, book}), 2);

    QCOMPARE(run({"--help"}), 0);
    QCOMPARE(run({"--version"}, &err), 0);
    QCOMPARE(run({"copy", db, file}), 2);
    QCOMPARE(run({"export", db}), 2);
    QCOMPARE(run({"--encoding", "latin1", "export", db, file}), 2);
    QCOMPARE(run({"--dry-run", "export", db, file}), 2);
}

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
