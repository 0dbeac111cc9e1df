// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/backups.h"
#include "platform/platform.h"
#include "settings/dirs.h"
#include "store/conversion.h"
#include "store/fileprobe.h"
#include "store/jetreader.h"
#include "store/jetstore.h"
#include "store/recordstore.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <glib.h> // the Windows build's libmdb brings its own stand-in through mdbtools.h
#endif
#include <mdbtools.h>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace qadora;
using namespace qadora::test;

namespace {

// Where a fixture's rows and memos are, found with libmdb, to damage a copy of it the way a
// real fault would: a memo chain that runs in a loop, a data page that reads as zeros.
struct Layout {
    qint64 pageSize = 0;
    QList<qint64> memoHeaders; // file offsets of single-page memo headers, in row order
    QList<qint64> memoRows;    // file offsets of their long-value rows
    QList<qint32> memoPageRows;
    QMap<int, int> rowsOnPage; // data page -> rows of tbl1 on it
};

Layout layoutOf(const QString& path)
{
    Layout layout;
    MdbHandle* mdb = mdb_open(platform::libraryPath(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return layout;
    layout.pageSize = mdb->fmt->pg_size;
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (QByteArray(entry->object_name) != "tbl1")
            continue;
        MdbTableDef* table = mdb_read_table(entry);
        mdb_read_columns(table);
        MdbColumn* anser = nullptr;
        for (guint c = 0; c < table->num_cols; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
            if (QByteArray(col->name) == "anser")
                anser = col;
        }
        mdb_rewind_table(table);
        while (mdb_fetch_row(table)) {
            ++layout.rowsOnPage[int(mdb->cur_pg)];
            if (anser->cur_value_len < 12)
                continue;
            const quint32 flags = quint32(mdb_get_int32(mdb->pg_buf, anser->cur_value_start));
            if (!(flags & 0x40000000) || (flags & 0x80000000))
                continue;
            const qint64 header = qint64(mdb->cur_pg) * layout.pageSize + anser->cur_value_start;
            const qint32 pageRow = qint32(mdb_get_int32(mdb->pg_buf, anser->cur_value_start + 4));
            layout.memoHeaders << header;
            layout.memoPageRows << pageRow;
            layout.memoRows << -1;
        }
        // The long-value rows, found after the walk (finding one moves the page buffer).
        for (qsizetype k = 0; k < layout.memoPageRows.size(); ++k) {
            void* buf = nullptr;
            int start = 0;
            size_t size = 0;
            if (mdb_find_pg_row(mdb, layout.memoPageRows[k], &buf, &start, &size) == 0)
                layout.memoRows[k] = qint64(quint32(layout.memoPageRows[k]) >> 8) * layout.pageSize + start;
        }
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    return layout;
}

void putInt32(QByteArray& bytes, qint64 at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

quint32 int32At(const QByteArray& bytes, qint64 at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(bytes[at + i]);
    return v;
}

QString fixture(const QString& name)
{
    return qEnvironmentVariable("QADORA_FIXTURES") + "/jet/" + name;
}

// The expected records of a fixture, NULL read as "".
QList<Record> expected(const QString& name)
{
    QFile f(fixture(name + ".json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<Record> records;
    for (const QJsonValue& v : QJsonDocument::fromJson(f.readAll()).array()) {
        const QJsonObject o = v.toObject();
        records.append({o["No"].toInteger(), o["kind"].toString(), o["quest"].toString(), o["anser"].toString()});
    }
    return records;
}

QList<Record> all(RecordStore& store)
{
    QList<Record> records;
    store.walk({}, [&](const Record& r) {
        records.append(r);
        return true;
    });
    return records;
}

// Field by field, so that a failure names the record and the field.
void compareRecords(const QList<Record>& actual, const QList<Record>& wanted)
{
    QCOMPARE(actual.size(), wanted.size());
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const QByteArray at = "record No " + QByteArray::number(wanted[i].no);
        QVERIFY2(actual[i].no == wanted[i].no, at.constData());
        QVERIFY2(actual[i].kind == wanted[i].kind, (at + " kind").constData());
        QVERIFY2(actual[i].quest == wanted[i].quest, (at + " quest").constData());
        QVERIFY2(actual[i].anser == wanted[i].anser, (at + " anser").constData());
    }
}

QMap<QString, QByteArray> siteOf(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        const QString p = it.next();
        files.insert(QFileInfo(p).fileName(), readBytes(p));
    }
    return files;
}

int runBuild(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), args);
    p.waitForFinished(120000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestJet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init() { clearSettings(); }

    void readOnlyStore_matchesFixture_data();
    void readOnlyStore_matchesFixture();
    void decodeText_data();
    void decodeText();
    void noTable_isRefused();
    void damagedFiles_areRefusedAndUnchanged_data();
    void damagedFiles_areRefusedAndUnchanged();
    void emptyUsageMap_isRefusedAsDamaged();
    void cutShort_isRefusedAsDamaged_data();
    void cutShort_isRefusedAsDamaged();
    void laterFormat_isRefused();
    void conversion_keepsEveryRecordAndNumber_data();
    void conversion_keepsEveryRecordAndNumber();
    void conversion_neverOverwritesABackup();
    void conversion_readOnlyFolder_changesNothing();
    void commandLine_siteOfAccessFileEqualsConvertedSite();
    void window_readsAccessFile();
    void window_addAsksToConvert_data();
    void window_addAsksToConvert();
    void damagedMemoChains_failFast_data();
    void damagedMemoChains_failFast();
    void zeroedDataPage_isCounted();
    void libraryOutput_staysOffTheResult();
    void replacedFile_isReadAgain();

private:
    QTemporaryDir m_dir;
    QString copyOf(const QString& name, const QString& as = QString())
    {
        const QString target = m_dir.filePath(as.isEmpty() ? name : as);
        QFile::remove(target);
        QFile::copy(fixture(name), target);
        QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return target;
    }
};

void TestJet::readOnlyStore_matchesFixture_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("basic") << "jet4-basic";
    QTest::newRow("empty") << "jet4-empty";
    QTest::newRow("large") << "jet4-large";
}

void TestJet::readOnlyStore_matchesFixture()
{
    QFETCH(QString, name);
    const QString path = fixture(name + ".mdb");
    const QByteArray before = readBytes(path);
    QCOMPARE(probeFile(path), FileFormat::Access);
    StoreStatus status;
    auto store = openStore(path, &status);
    QVERIFY2(store, qPrintable(status.message));
    QVERIFY(store->isReadOnly());
    const QList<Record> wanted = expected(name);
    compareRecords(all(*store), wanted);
    int n = -1;
    QVERIFY(store->count(&n).ok());
    QCOMPARE(n, wanted.size());
    QCOMPARE(store->add({0, "k,t", "q", "a"}).code, StoreStatus::ReadOnly);
    QCOMPARE(readBytes(path), before);
    if (name == "jet4-basic") {
        Record r;
        QVERIFY(store->findFirstByQuestion("同じ質問です", &r).ok());
        QCOMPARE(r.no, 9); // the first of the two
        QCOMPARE(r.kind, QStringLiteral("a,b,c"));
        // No 12: 6,038 characters over three long-value pages, 15 of them outside the BMP.
        const QString longAnswer = all(*store)[9].anser;
        QCOMPARE(longAnswer.size(), 6038 + 15);
        QVERIFY(longAnswer.endsWith(QStringLiteral("【ここで終わり】")));
    }
}

void TestJet::decodeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("jet3");
    QTest::addColumn<QString>("text");
    QTest::newRow("utf-16") << QByteArray("A\0\x42\x30", 4) << false << "Aあ";
    QTest::newRow("surrogate pair") << QByteArray("\x3D\xD8\x00\xDE", 4) << false << "😀";
    QTest::newRow("compressed") << QByteArray("\xFF\xFEsub100,", 9) << false << "sub100,";
    QTest::newRow("compressed with a run") << QByteArray("\xFF\xFE" "ab\0\x42\x30\0c", 9) << false << "abあc";
    QTest::newRow("jet 3 cp932") << QByteArray("\x83\x65\x83\x58\x83\x67") << true << "テスト";
    QTest::newRow("odd byte dropped") << QByteArray("A\0B", 3) << false << "A";
}

void TestJet::decodeText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, jet3);
    QFETCH(QString, text);
    QCOMPARE(decodeJetText(bytes.constData(), bytes.size(), jet3), text);
}

void TestJet::noTable_isRefused()
{
    QString message;
    QCOMPARE(countRecords(fixture("jet4-other.mdb"), &message), 0);
    QCOMPARE(message, "このファイルにはＱ＆Ａのデータ（テーブル tbl1）がありません\r" + fixture("jet4-other.mdb"));
}

void TestJet::damagedFiles_areRefusedAndUnchanged_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("noiseFrom");
    for (int cut : {100, 4096, 8192, 20000, 60000, 100000, 139000})
        QTest::newRow(qPrintable(QStringLiteral("cut at %1").arg(cut))) << cut << -1;
    for (int from : {4096, 8192, 40960})
        QTest::newRow(qPrintable(QStringLiteral("noise from %1").arg(from))) << -1 << from;
}

void TestJet::damagedFiles_areRefusedAndUnchanged()
{
    QFETCH(int, cut);
    QFETCH(int, noiseFrom);
    QByteArray bytes = readBytes(fixture("jet4-basic.mdb"));
    if (cut > 0)
        bytes.truncate(cut);
    if (noiseFrom > 0) {
        quint32 x = 2463534242u;
        for (qsizetype i = noiseFrom; i < bytes.size(); ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            bytes[i] = char(x);
        }
    }
    const QString path = m_dir.filePath("damaged.mdb");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    // Whatever the reader makes of it, the program goes on and the file stays as it was.
    StoreStatus status;
    auto store = openStore(path, &status);
    if (!store) {
        QCOMPARE(status.code, StoreStatus::Unusable);
        QVERIFY(!status.message.isEmpty());
    } else {
        int n = 0;
        QVERIFY(store->count(&n).ok());
        QVERIFY(n <= 13);
    }
    QCOMPARE(readBytes(path), bytes);
}

void TestJet::emptyUsageMap_isRefusedAsDamaged()
{
    // Found by fuzzing: the catalog's table has a usage map of no bytes, on which libmdb
    // dereferences a null pointer (the Windows build instead reads noise as 4 records), also
    // with the file made up to whole pages (as it is here, past the check for a file cut short).
    QByteArray bytes = readBytes(fixture("crash-catalog.mdb"));
    bytes.append(QByteArray(4096 - bytes.size() % 4096, '\0'));
    const QString path = m_dir.filePath("crash.mdb");
    QVERIFY(writeBytes(path, bytes));
    QString message;
    QCOMPARE(countRecords(path, &message), 0);
    QCOMPARE(message, "アクセス形式のファイルが壊れているため読み込めません\r" + path);
    QCOMPARE(readBytes(path), bytes);
}

void TestJet::cutShort_isRefusedAsDamaged_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("cut");
    QTest::newRow("the file that faults libmdb") << "crash-catalog.mdb" << -1;
    QTest::newRow("inside the last page") << "jet4-basic.mdb" << 139263;
    QTest::newRow("inside a data page") << "jet4-large.mdb" << 2000000;
}

// A file that ends inside a page is refused as damaged, the same way on every system,
// before the library takes pages that are not there for what its buffer held.
void TestJet::cutShort_isRefusedAsDamaged()
{
    QFETCH(QString, name);
    QFETCH(int, cut);
    QByteArray bytes = readBytes(fixture(name));
    if (cut > 0)
        bytes.truncate(cut);
    const QString path = m_dir.filePath("cut.mdb");
    QVERIFY(writeBytes(path, bytes));
    QString message;
    QCOMPARE(countRecords(path, &message), 0);
    QCOMPARE(message, "アクセス形式のファイルが壊れているため読み込めません\r" + path);
    QCOMPARE(readBytes(path), bytes);
}

void TestJet::laterFormat_isRefused()
{
    // The version byte of an Access 2007 file (.accdb).
    QByteArray bytes = readBytes(fixture("jet4-basic.mdb"));
    bytes[0x14] = 2;
    const QString path = m_dir.filePath("later.mdb");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    QString message;
    QCOMPARE(countRecords(path, &message), 0);
    QVERIFY2(message.startsWith(QStringLiteral("この形式のアクセスのファイル（accdb）には対応していません")), qPrintable(message));
}

void TestJet::conversion_keepsEveryRecordAndNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("basic") << "jet4-basic";
    QTest::newRow("empty") << "jet4-empty";
    QTest::newRow("large") << "jet4-large";
}

void TestJet::conversion_keepsEveryRecordAndNumber()
{
    QFETCH(QString, name);
    const QString path = copyOf(name + ".mdb");
    const QByteArray original = readBytes(path);
    const QString backup = backupPathFor(path);
    QCOMPARE(backup, m_dir.filePath(name + "_backup.mdb"));
    const ConversionResult result = convertAccessDatabase(path, backup);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(readBytes(backup), original);
    QCOMPARE(probeFile(path), FileFormat::Sqlite);
    compareRecords(readAll(path), expected(name));
    // New records continue after the highest number, never reusing one.
    StoreStatus status;
    auto store = openStore(path, &status);
    QVERIFY(store->add({0, "k,t", "new", "a"}).ok());
    const qint64 last = expected(name).isEmpty() ? 0 : expected(name).last().no;
    QCOMPARE(readAll(path).last().no, last + 1);
    QFile::remove(backup);
}

void TestJet::conversion_neverOverwritesABackup()
{
    const QString path = copyOf("jet4-basic.mdb", "qa.mdb");
    QFile old(m_dir.filePath("qa_backup.mdb"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("precious");
    old.close();
    const QString backup = backupPathFor(path);
    QCOMPARE(backup, m_dir.filePath("qa_backup2.mdb"));
    QVERIFY(convertAccessDatabase(path, backup).ok);
    QCOMPARE(readBytes(m_dir.filePath("qa_backup.mdb")), QByteArray("precious"));
    QCOMPARE(readBytes(backup), readBytes(fixture("jet4-basic.mdb")));
    // A backup name that exists by now is refused, and nothing changes.
    const QString again = copyOf("jet4-basic.mdb", "qa2.mdb");
    const ConversionResult refused = convertAccessDatabase(again, m_dir.filePath("qa_backup.mdb"));
    QVERIFY(!refused.ok);
    QCOMPARE(readBytes(m_dir.filePath("qa_backup.mdb")), QByteArray("precious"));
    QCOMPARE(probeFile(again), FileFormat::Access);
}

void TestJet::conversion_readOnlyFolder_changesNothing()
{
    QADORA_LINUX_ONLY("a read-only disk made with a tmpfs");
    QTemporaryDir mountPoint;
    if (!mountTmpfs(mountPoint.path(), "size=1m"))
        QSKIP("mounting a tmpfs is not permitted here");
    const QString path = mountPoint.filePath("qa.mdb");
    QVERIFY(QFile::copy(fixture("jet4-basic.mdb"), path));
    if (!remountReadOnly(mountPoint.path())) {
        unmount(mountPoint.path());
        QSKIP("remounting the tmpfs read-only is not permitted here");
    }
    const ConversionResult result = convertAccessDatabase(path, backupPathFor(path));
    const QStringList files = QDir(mountPoint.path()).entryList(QDir::Files | QDir::Hidden);
    const QByteArray after = readBytes(path);
    unmount(mountPoint.path());
    QVERIFY(!result.ok);
    QVERIFY(result.message.startsWith("データベースを変換できませんでした\r"));
    QCOMPARE(files, QStringList{"qa.mdb"});
    QCOMPARE(after, readBytes(fixture("jet4-basic.mdb")));
}

void TestJet::commandLine_siteOfAccessFileEqualsConvertedSite()
{
    const QString fromAccess = m_dir.filePath("site-access");
    const QString fromCopy = m_dir.filePath("site-copy");
    QDir().mkpath(fromAccess);
    QDir().mkpath(fromCopy);
    QCOMPARE(runBuild({"--style", "framed", "--title", "Ｑ＆Ａ", fixture("jet4-basic.mdb"), fromAccess}), 0);
    const QString converted = copyOf("jet4-basic.mdb", "converted.mdb");
    QVERIFY(convertAccessDatabase(converted, backupPathFor(converted)).ok);
    QCOMPARE(runBuild({"--style", "framed", "--title", "Ｑ＆Ａ", converted, fromCopy}), 0);
    const auto a = siteOf(fromAccess);
    QCOMPARE(a, siteOf(fromCopy));
    QVERIFY(a.contains("qa012.html"));
    QVERIFY(!a.contains("qa003.html")); // deleted in the file
    QVERIFY(a["qa008.html"].contains("&#128512;"));
    QVERIFY(a["qa005.html"].contains("\x81\x60")); // "～"
    QVERIFY(!a.contains("qa006.html")); // its kind has a full-width comma
}

void TestJet::window_readsAccessFile()
{
    auto win = openWindow(fixture("jet4-basic.mdb"), m_dir.path());
    QVERIFY(win->fake.messages().isEmpty());
    QCOMPARE(win->w->Label1->text(), fixture("jet4-basic.mdb"));
    win->w->Command18_Click();
    QCOMPARE(win->w->List9->count(), 3); // stops at No 6, whose kind has a full-width comma
    QCOMPARE(win->fake.messages(), QStringList{"種類フォーマットが違います。半角カンマで区切られていません"});
    win->w->Command13_Click();
    QCOMPARE(win->w->List4->count(), 13);
}

void TestJet::window_addAsksToConvert_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestJet::window_addAsksToConvert()
{
    QFETCH(bool, yes);
    const QString path = copyOf("jet4-basic.mdb", "window.mdb");
    const QByteArray before = readBytes(path);
    auto win = openWindow(path, m_dir.path());
    win->w->Combo1->setEditText("sub500,新規");
    win->w->Text1->setText("新しい質問");
    win->w->rtext1->setPlainText("答え");
    win->fake.answerNext(yes);
    QTest::mouseClick(win->w->Command3, Qt::LeftButton);
    const QString backup = m_dir.filePath("window_backup.mdb");
    QCOMPARE(win->fake.questions().size(), 1);
    QVERIFY(win->fake.questions()[0].startsWith("データベース変換確認\t\n" + path + "\nはアクセス形式（mdb）のデータベースです。"));
    QVERIFY(win->fake.questions()[0].contains(backup));
    if (yes) {
        QVERIFY(win->fake.messages().isEmpty());
        QCOMPARE(readBytes(backup), before);
        // Among the database's backups too, made before the conversion changed anything.
        QCOMPARE(readBytes(backupsOf(path).value(0).path), before);
        const QList<Record> records = readAll(path);
        QCOMPARE(records.size(), 14);
        QCOMPARE(records.last().no, 16);
        QCOMPARE(records.last().quest, QStringLiteral("新しい質問"));
        QCOMPARE(win->w->List1->count(), 14);
        QCOMPARE(win->w->databasePath(), path); // no setting has to change
    } else {
        QCOMPARE(win->fake.messages(), QStringList{"変換しなかったため、データは変更されていません"});
        QCOMPARE(readBytes(path), before);
        QVERIFY(!QFile::exists(backup));
        QCOMPARE(win->w->Text1->text(), QStringLiteral("新しい質問"));
    }
    QFile::remove(backup);
}

void TestJet::damagedMemoChains_failFast_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("unreadable");
    QTest::newRow("a memo whose chain points to itself") << "self" << 1;
    QTest::newRow("400 looping memos") << "many" << 400;
    QTest::newRow("a memo that runs into another's row") << "shared" << 1;
}

// A chain is never followed round a loop nor past what the file holds: the reader ends
// within a second or two, small, and says how many records it could not read.
void TestJet::damagedMemoChains_failFast()
{
    QFETCH(QString, damage);
    QFETCH(int, unreadable);
    const Layout layout = layoutOf(fixture("jet4-large.mdb"));
    QVERIFY(layout.memoHeaders.size() > 400);
    QByteArray bytes = readBytes(fixture("jet4-large.mdb"));
    auto loop = [&](int k) {
        // Made a chain: the row's first four bytes now say where the next row is, itself.
        putInt32(bytes, layout.memoHeaders[k], int32At(bytes, layout.memoHeaders[k]) & ~0x40000000u);
        putInt32(bytes, layout.memoRows[k], quint32(layout.memoPageRows[k]));
    };
    if (damage == "self") {
        loop(10);
    } else if (damage == "many") {
        for (int k = 0; k < 400; ++k)
            loop(k);
    } else {
        putInt32(bytes, layout.memoHeaders[20] + 4, quint32(layout.memoPageRows[10]));
    }
    const QString path = m_dir.filePath("loops.mdb");
    QVERIFY(writeBytes(path, bytes));
    QElapsedTimer timer;
    timer.start();
    AccessRecords read;
    StoreStatus status;
    QVERIFY(readAccessFile(path, &read, &status));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
#ifndef Q_OS_WIN // the reader's peak memory, which Windows tells only its parent's caller
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    QVERIFY2(usage.ru_maxrss < 256 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
#endif
    QCOMPARE(read.unreadable, unreadable);
    QCOMPARE(int(read.records.size()), 5000 - unreadable);
}

// A data page that reads as zeros: its records are counted, the site is not complete, and
// converting says what would be lost, leaning to No.
void TestJet::zeroedDataPage_isCounted()
{
    const Layout layout = layoutOf(fixture("jet4-large.mdb"));
    const int page = layout.rowsOnPage.keys().value(5);
    const int lost = layout.rowsOnPage.value(page);
    QVERIFY(lost > 0);
    QByteArray bytes = readBytes(fixture("jet4-large.mdb"));
    bytes.replace(page * layout.pageSize, layout.pageSize, QByteArray(layout.pageSize, '\0'));
    const QString path = m_dir.filePath("zeroed.mdb");
    QVERIFY(writeBytes(path, bytes));
    const QString said = QStringLiteral("アクセス形式のファイルの一部が壊れているため、%1 件のデータを読み込めませんでした").arg(lost);

    QProcess build;
    QDir().mkpath(m_dir.filePath("site")); // before the program looks for it
    build.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", path, m_dir.filePath("site")});
    QVERIFY(build.waitForFinished(60000));
    QCOMPARE(build.exitCode(), 1);
    QString err = QString::fromUtf8(build.readAllStandardError());
#ifdef Q_OS_WIN
    err.replace(QLatin1String("\r\n"), QLatin1String("\n")); // console text lines end in CR LF there
#endif
    QVERIFY2(err.startsWith(said + "\n" + path + "\n"), qPrintable(err.left(300)));
    QVERIFY(!err.contains("ｈｔｍｌ作成しました"));

    // The window says so when it first reads the file, as it opens it; listings then do not repeat it.
    dirs::rwpgmname(2, path);
    auto win = std::make_unique<Window>();
    win->w = std::make_unique<main1>(&win->fake);
    win->w->Form_Load();
    QCOMPARE(win->fake.messages(), QStringList{said + "\r" + path});
    QCOMPARE(win->w->findChild<QLabel*>("recordCount")->text(), QStringLiteral("データ件数：%L1件").arg(5000 - lost));
    win->fake.clear();
    QTest::mouseClick(win->w->Command4, Qt::LeftButton);
    QCOMPARE(win->fake.messages(), QStringList{});
    QCOMPARE(win->w->List1->count(), 5000 - lost);
    win->w->Combo1->setEditText("k,t");
    win->w->Text1->setText("q");
    win->w->rtext1->setPlainText("a");
    win->fake.answerNext(false);
    QTest::mouseClick(win->w->Command3, Qt::LeftButton);
    QCOMPARE(win->fake.questions().size(), 1);
    QVERIFY(win->fake.questions()[0].contains(QStringLiteral("%1 件のデータを読み込めません").arg(lost)));
    QVERIFY(win->fake.questions()[0].endsWith("\t(default No)"));
    QCOMPARE(readBytes(path), bytes);
}

// The library writes its complaints about this file to standard output; the records come
// through all the same.
void TestJet::libraryOutput_staysOffTheResult()
{
    QByteArray bytes = readBytes(fixture("jet4-basic.mdb"));
    bytes[59834] = char(0xFF);
    const QString path = m_dir.filePath("noisy.mdb");
    QVERIFY(writeBytes(path, bytes));
    AccessRecords read;
    StoreStatus status;
    QVERIFY2(readAccessFile(path, &read, &status), qPrintable(status.message));
    QCOMPARE(int(read.records.size()), 13);
}

// A file replaced by another of the same size and time is read again.
void TestJet::replacedFile_isReadAgain()
{
    const QString path = copyOf("jet4-basic.mdb", "swap.mdb");
    StoreStatus status;
    QVERIFY(openStore(path, &status));
    QByteArray other = readBytes(fixture("jet4-basic.mdb"));
    const qsizetype at = other.indexOf(QByteArray("s\0u\0b\0" "1\0" "0\0" "0\0", 12));
    QVERIFY(at > 0);
    other[at + 6] = '9';
#ifdef Q_OS_WIN
    // Both files given one time to the millisecond, which is all Qt sets here.
    const QDateTime time = QDateTime::currentDateTime().addSecs(-60);
    const QDateTime then = time.addMSecs(-time.time().msec());
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadWrite) && old.setFileTime(then, QFileDevice::FileModificationTime));
    }
    const auto before = platform::stampOf(path);
    QVERIFY(writeBytes(path + ".new", other));
    {
        QFile made(path + ".new");
        QVERIFY(made.open(QIODevice::ReadWrite) && made.setFileTime(then, QFileDevice::FileModificationTime));
    }
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(path + ".new", path));
    const auto after = platform::stampOf(path);
    QVERIFY(before && after);
    QCOMPARE(after->size, before->size);
    QCOMPARE(after->modified, before->modified);
#else
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    QVERIFY(writeBytes(path + ".new", other));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path + ".new").constData(), times, 0), 0);
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(path + ".new", path));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_size, before.st_size);
    QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
#endif
    auto store = openStore(path, &status);
    QVERIFY(store);
    const QList<Record> records = all(*store);
    QVERIFY(std::any_of(records.begin(), records.end(), [](const Record& r) { return r.kind.startsWith("sub900"); }));
}

QTEST_MAIN(TestJet)
#include "tst_jet.moc"
