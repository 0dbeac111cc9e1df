// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/fileprobe.h"
#include "store/kindstring.h"
#include "store/recordstore.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

namespace {

// A share of this machine as \\server\share, and the folder it is: under Wine one it maps
// to a folder of its prefix (dosdevices/unc/SERVER/SHARE), on Windows the drive's
// administrative share. Empty names when there is neither.
struct Share {
    QString unc;
    QString folder;
};

Share makeShare(const QString& local)
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty()) {
        const QString name = QFileInfo(local).fileName();
        const QString folder = "Z:" + prefix + "/dosdevices/unc/qadora-test/" + name;
        if (!QDir().mkpath(folder))
            return {};
        return {"\\\\qadora-test\\" + name, folder};
    }
    const QString native = QDir::toNativeSeparators(QDir(local).absolutePath());
    if (native.size() < 3 || native[1] != u':')
        return {};
    return {"\\\\localhost\\" + native.left(1) + "$" + native.mid(2), local};
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT

private slots:
    void splitKind_data();
    void splitKind();

    void create_makesExactlyTheSchema();
    void create_twoRecordsWithTheSameQuestion();
    void noIsNeverReused();

    void count_data();
    void count();
    void count_above16BitLimit();
    void unusableFiles_areLeftByteIdentical_data();
    void unusableFiles_areLeftByteIdentical();

    void walk_isInAscendingNoAndStopsAtLastRecord();
    void walk_byKindIsExact();
    void texts_keptExactly_data();
    void texts_keptExactly();
    void questionQuery_data();
    void questionQuery();
    void update_and_remove_touchOnlyTheFirstRecord();
    void notFound_changesNothing();
    void tooLong_isRefusedAndNothingWritten_data();
    void tooLong_isRefusedAndNothingWritten();
    void readOnlyFile_reportsFailure();
    void uncPath_opensReadsAndWrites_data();
    void uncPath_opensReadsAndWrites();

private:
    QTemporaryDir m_dir;
    QString db(const QString& name) { return m_dir.filePath(name); }
};

void TestStore::splitKind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "sub100,初級編" << true << "sub100" << "初級編" << "sub100.html";
    QTest::newRow("two commas") << "a,b,c" << true << "a" << "b,c" << "a.html";
    QTest::newRow("empty name") << ",title" << true << "" << "title" << ".html";
    QTest::newRow("empty title") << "sub100," << true << "sub100" << "" << "sub100.html";
    QTest::newRow("spaces kept") << " sub100 , 初級編 " << true << " sub100 " << " 初級編 " << " sub100 .html";
    QTest::newRow("full-width comma") << "sub100，初級編" << false << "" << "" << "";
    QTest::newRow("no comma") << "sub100" << false << "" << "" << "";
    QTest::newRow("empty") << "" << false << "" << "" << "";
}

void TestStore::splitKind()
{
    QFETCH(QString, kind);
    QFETCH(bool, ok);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, file);
    const KindParts parts = qadora::splitKind(kind);
    QCOMPARE(parts.ok, ok);
    if (ok) {
        QCOMPARE(parts.name, name);
        QCOMPARE(parts.title, title);
        QCOMPARE(subIndexFileName(parts.name), file);
    }
}

void TestStore::create_makesExactlyTheSchema()
{
    const QString path = db("schema.mdb");
    QVERIFY(createDatabase(path).ok());
    QCOMPARE(probeFile(path), FileFormat::Sqlite);
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
        c.setDatabaseName(path);
        QVERIFY(c.open());
        QSqlQuery q(c);
        QVERIFY(q.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name")));
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString() + '|' + q.value(1).toString() + '|' + q.value(2).toString();
        QCOMPARE(rows, (QStringList{
                           "index|idx1|CREATE INDEX idx1 ON tbl1 (quest)",
                           "table|tbl1|CREATE TABLE tbl1 (No INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT, quest TEXT, anser TEXT)",
                       }));
        QVERIFY(q.exec(QStringLiteral("PRAGMA application_id")) && q.next());
        QCOMPARE(q.value(0).toUInt(), kApplicationId);
        QVERIFY(q.exec(QStringLiteral("PRAGMA encoding")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("UTF-16le"));
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM tbl1")) && q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));
}

void TestStore::create_twoRecordsWithTheSameQuestion()
{
    const QString path = makeDatabase(db("same.mdb"));
    StoreStatus status;
    auto store = openStore(path, &status);
    QVERIFY(store);
    QVERIFY(store->add({0, "sub100,a", "Q", "A1"}).ok());
    QVERIFY(store->add({0, "sub200,b", "Q", "A2"}).ok());
    int n = 0;
    QVERIFY(store->count(&n).ok());
    QCOMPARE(n, 2);
}

void TestStore::noIsNeverReused()
{
    const QString path = makeDatabase(db("reuse.mdb"), {{0, "k,1", "q1", "a"}, {0, "k,1", "q2", "a"}});
    StoreStatus status;
    auto store = openStore(path, &status);
    QVERIFY(store->removeFirstByQuestion("q2").ok());
    QVERIFY(store->add({0, "k,1", "q3", "a"}).ok());
    const QList<Record> all = readAll(path);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all[1].no, 3);
}

void TestStore::count_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty path") << "" << 0 << kNoDatabaseMessage;
    QTest::newRow("missing file") << "missing" << 0 << kNoDataMessage;
    QTest::newRow("empty table") << "empty" << 0 << "";
    QTest::newRow("three records") << "three" << 3 << "";
    QTest::newRow("directory") << "directory" << 0 << kNoDataMessage;
    QTest::newRow("no tbl1") << "notable" << 0 << kNoTableMessage + "\rPATH";
    QTest::newRow("tbl1 without quest and anser") << "columns" << 0 << kBadColumnsMessage + "\rPATH";
    QTest::newRow("locked by another program") << "locked" << 0 << kLockedMessage + "\rPATH";
    QTest::newRow("journal of a killed writer") << "hot journal" << 3000 << "";
}

void TestStore::count()
{
    QFETCH(QString, setup);
    QFETCH(int, expected);
    QFETCH(QString, message);
    QString path;
    if (setup == "missing") {
        path = db("nothing-here.mdb");
    } else if (setup == "empty") {
        path = makeDatabase(db("count-empty.mdb"));
    } else if (setup == "three") {
        path = makeDatabase(db("count-three.mdb"), {{0, "a,b", "1", "x"}, {0, "a,b", "2", "x"}, {0, "a,b", "3", "x"}});
    } else if (setup == "directory") {
        path = m_dir.path();
    } else if (setup == "notable") {
        path = makeDatabase(db("notable.mdb"));
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("drop"));
        c.setDatabaseName(path);
        QVERIFY(c.open());
        QSqlQuery(c).exec(QStringLiteral("DROP TABLE tbl1"));
        c.close();
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("drop"));
    } else if (setup == "columns") {
        path = makeDatabase(db("columns.mdb"));
        QCOMPARE(runSqlite(path, "DROP TABLE tbl1; CREATE TABLE tbl1 (No INTEGER PRIMARY KEY, kind TEXT);"), QByteArray());
    } else if (setup == "locked" || setup == "hot journal") {
        path = makeDatabase(db(setup + ".mdb"));
        QList<Record> many;
        for (int i = 0; i < 3000; ++i)
            many.append({0, "k,t", QString::number(i), QString(200, 'a')});
        appendRecords(path, many);
    }
    // The other program: holding the file locked, or killed half-way through changing it.
    QProcess other;
    if (setup == "locked") {
        other.start("sqlite3", {path});
        QVERIFY(other.waitForStarted());
        other.write("BEGIN EXCLUSIVE; INSERT INTO tbl1 (kind) VALUES ('x'); SELECT 'held';\n");
        QVERIFY(other.waitForReadyRead());
    } else if (setup == "hot journal") {
        other.start("sqlite3", {path});
        QVERIFY(other.waitForStarted());
        other.write("PRAGMA cache_size = 1; BEGIN; UPDATE tbl1 SET anser = 'changed'; SELECT 'spilled';\n");
        QVERIFY(other.waitForReadyRead());
        other.kill();
        other.waitForFinished();
        QVERIFY(QFileInfo(path + "-journal").size() > 0);
    }
    QString shown;
    QCOMPARE(countRecords(path, &shown), expected);
    QCOMPARE(shown, QString(message).replace("PATH", QDir::toNativeSeparators(path)));
    if (setup == "hot journal") {
        QCOMPARE(readAll(path).last().anser, QString(200, 'a')); // rolled back
    }
    if (setup == "locked") {
        other.closeWriteChannel();
        other.waitForFinished();
    }
    if (setup == "missing")
        QVERIFY(!QFile::exists(path)); // counting never creates a file
}

void TestStore::count_above16BitLimit()
{
    const QString path = makeDatabase(db("big.mdb"));
    QList<Record> many;
    for (int i = 0; i < 32768; ++i)
        many.append({0, "k,t", QString::number(i), QString()});
    appendRecords(path, many);
    QString message;
    QCOMPARE(countRecords(path, &message), 32768);
    QVERIFY(message.isEmpty());
}

void TestStore::unusableFiles_areLeftByteIdentical_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("messageStart");
    QByteArray random(4096, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 251);
    QByteArray jet(4096, '\0');
    jet.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
    QByteArray foreign(4096, '\0');
    foreign.replace(0, 16, QByteArray("SQLite format 3\0", 16));
    foreign[68] = 0x12; // another program's application id
    QTest::newRow("random bytes") << random << kNoDataMessage;
    QTest::newRow("empty file") << QByteArray() << kNoDataMessage;
    QTest::newRow("sqlite header only") << QByteArray("SQLite format 3\0", 16) << kNoDataMessage;
    QTest::newRow("damaged access file") << jet << QStringLiteral("アクセス形式のファイルが壊れているため読み込めません");
    QTest::newRow("foreign sqlite") << foreign << QStringLiteral("このファイルはQadoraのデータベースではありません");
}

void TestStore::unusableFiles_areLeftByteIdentical()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, messageStart);
    const QString path = db("unusable.mdb");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();

    QString message;
    QCOMPARE(countRecords(path, &message), 0);
    QVERIFY2(message.startsWith(messageStart), qPrintable(message));
    StoreStatus status;
    QVERIFY(!openStore(path, &status));
    QCOMPARE(readBytes(path), bytes);
}

void TestStore::walk_isInAscendingNoAndStopsAtLastRecord()
{
    const QString path = makeDatabase(db("walk.mdb"), {{0, "b,2", "q1", "a1"}, {0, "a,1", "q2", "a2"}, {0, "b,2", "q3", "a3"}});
    StoreStatus status;
    auto store = openStore(path, &status);
    QStringList seen;
    // A count taken before two records were deleted: the walk ends at the last record.
    QVERIFY(store->removeFirstByQuestion("q2").ok());
    QVERIFY(store->walk({5, true, true, false, {}}, [&](const Record& r) {
        seen << QString::number(r.no) + ':' + r.quest + ':' + r.anser;
        return true;
    }).ok());
    QCOMPARE(seen, (QStringList{"1:q1:a1", "3:q3:a3"}));
    seen.clear();
    QVERIFY(store->walk({1, true, false, false, {}}, [&](const Record& r) {
        seen << r.quest + ':' + r.anser;
        return true;
    }).ok());
    QCOMPARE(seen, QStringList{"q1:"});
}

void TestStore::walk_byKindIsExact()
{
    const QString path = makeDatabase(db("bykind.mdb"), {{0, "sub100,初級編", "q1", ""}, {0, "sub100,初級", "q2", ""},
                                                         {0, "sub100,初級編", "q3", ""}, {0, "Sub100,初級編", "q4", ""}});
    StoreStatus status;
    auto store = openStore(path, &status);
    QStringList seen;
    WalkOptions options;
    options.byKind = true;
    options.kind = "sub100,初級編";
    QVERIFY(store->walk(options, [&](const Record& r) {
        seen << r.quest;
        return true;
    }).ok());
    QCOMPARE(seen, (QStringList{"q1", "q3"}));
}

void TestStore::texts_keptExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("leading U+FEFF") << QStringLiteral("\uFEFF先頭にBOMの文字");
    QTest::newRow("U+FEFF alone") << QStringLiteral("\uFEFF");
    QTest::newRow("two U+FEFF") << QStringLiteral("\uFEFF\uFEFFx");
    QTest::newRow("U+FFFE first") << QStringLiteral("\uFFFEx");
    QTest::newRow("half of a surrogate pair") << QString(QChar(0xD800)) + QStringLiteral("x");
    QTest::newRow("empty") << QString(QLatin1String(""));
}

// Every field keeps every character however it is saved, found and changed, and sqlite3 reads
// the same text: SQLite takes a leading U+FEFF of UTF-16 text for a byte-order mark.
void TestStore::texts_keptExactly()
{
    QFETCH(QString, text);
    const QString path = makeDatabase(db("texts.mdb"), {});
    StoreStatus status;
    auto store = openStore(path, &status);
    const QString kind = QStringLiteral("k,") + text;
    QVERIFY(store->add({0, kind, text, text}).ok());
    QVERIFY(store->applyChanges({{std::nullopt, Record{7, kind, text + "2", text}}}).ok());
    Record found;
    QVERIFY(store->findFirstByQuestion(text, &found).ok());
    QCOMPARE(found, (Record{1, kind, text, text}));
    QVERIFY(store->updateFirstByQuestion(text, {0, kind, text + "3", text}).ok());
    WalkOptions byKind;
    byKind.byKind = true;
    byKind.kind = kind;
    QList<Record> seen;
    QVERIFY(store->walk(byKind, [&](const Record& r) {
        seen << r;
        return true;
    }).ok());
    const QList<Record> expected{{1, kind, text + "3", text}, {7, kind, text + "2", text}};
    QCOMPARE(seen, expected);
    QCOMPARE(readAll(path), expected);
    // sqlite3 sees the same first character and length of each field (it reads through UTF-8,
    // which has no half of a pair and where it takes U+FFFE for no character).
    if (!text.isValidUtf16() || text.contains(QChar(0xFFFE)))
        return;
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {path, QStringLiteral("SELECT unicode(substr(kind, 3)), length(kind), unicode(quest), "
                                                                  "length(quest), unicode(anser), length(anser) FROM tbl1 ORDER BY No;")});
    QVERIFY(sqlite.waitForFinished());
    const auto fields = [&](const QString& quest) {
        QStringList columns;
        for (const QString& field : {text, quest, text})
            columns << (field.isEmpty() ? QString() : QString::number(field.front().unicode())) << QString::number(field.size());
        columns[1] = QString::number(kind.size());
        return columns.join(QLatin1Char('|')) + QLatin1Char('\n');
    };
    // The shell's lines end in CR LF on Windows.
    QCOMPARE(QString::fromUtf8(sqlite.readAllStandardOutput()).remove(QLatin1Char('\r')), fields(text + "3") + fields(text + "2"));
}

void TestStore::questionQuery_data()
{
    QTest::addColumn<QString>("question");
    QTest::newRow("apostrophe") << "What's new?";
    QTest::newRow("percent") << "100% ですか";
    QTest::newRow("underscore") << "a_b";
    QTest::newRow("quotes and tags") << "\"引用符\"と<タグ>&記号の'扱い'";
    QTest::newRow("sql") << "x' OR '1'='1";
}

void TestStore::questionQuery()
{
    QFETCH(QString, question);
    // Decoys that a LIKE or a pasted query would match.
    const QString path = makeDatabase(db("quest.mdb"), {{0, "k,t", "decoy", "d"}, {0, "k,t", "100X ですか", "d"},
                                                        {0, "k,t", "aXb", "d"}, {0, "k,t", question, "answer"}});
    StoreStatus status;
    auto store = openStore(path, &status);
    Record r;
    QVERIFY(store->findFirstByQuestion(question, &r).ok());
    QCOMPARE(r.no, 4);
    QCOMPARE(r.anser, QStringLiteral("answer"));
    QVERIFY(store->updateFirstByQuestion(question, {0, "k2,t2", question + "!", "changed"}).ok());
    QCOMPARE(readAll(path)[3].anser, QStringLiteral("changed"));
    QVERIFY(store->removeFirstByQuestion(question + "!").ok());
    QCOMPARE(readAll(path).size(), 3);
}

void TestStore::update_and_remove_touchOnlyTheFirstRecord()
{
    const QString path = makeDatabase(db("first.mdb"), {{0, "k,1", "same", "first"}, {0, "k,2", "same", "second"}});
    StoreStatus status;
    auto store = openStore(path, &status);
    QVERIFY(store->updateFirstByQuestion("same", {0, "k,9", "same", "changed"}).ok());
    QList<Record> all = readAll(path);
    QCOMPARE(all[0].anser, QStringLiteral("changed"));
    QCOMPARE(all[1].anser, QStringLiteral("second"));
    QVERIFY(store->removeFirstByQuestion("same").ok());
    all = readAll(path);
    QCOMPARE(all.size(), 1);
    QCOMPARE(all[0].anser, QStringLiteral("second"));
}

void TestStore::notFound_changesNothing()
{
    const QString path = makeDatabase(db("notfound.mdb"), {{0, "k,1", "q", "a"}});
    const QByteArray before = readBytes(path);
    StoreStatus status;
    auto store = openStore(path, &status);
    Record r;
    QCOMPARE(store->findFirstByQuestion("other", &r).code, StoreStatus::NotFound);
    QCOMPARE(store->updateFirstByQuestion("other", {0, "x,y", "z", "w"}).code, StoreStatus::NotFound);
    QCOMPARE(store->removeFirstByQuestion("other").code, StoreStatus::NotFound);
    QCOMPARE(readAll(path).size(), 1);
    QCOMPARE(readAll(path)[0].anser, QStringLiteral("a"));
    Q_UNUSED(before);
}

void TestStore::tooLong_isRefusedAndNothingWritten_data()
{
    QTest::addColumn<int>("kindLength");
    QTest::addColumn<int>("questLength");
    QTest::addColumn<bool>("ok");
    QTest::newRow("at the limits") << 100 << 250 << true;
    QTest::newRow("kind 101") << 101 << 10 << false;
    QTest::newRow("question 251") << 10 << 251 << false;
}

void TestStore::tooLong_isRefusedAndNothingWritten()
{
    QFETCH(int, kindLength);
    QFETCH(int, questLength);
    QFETCH(bool, ok);
    const QString path = makeDatabase(db("long.mdb"), {{0, "k,1", "q", "a"}});
    StoreStatus status;
    auto store = openStore(path, &status);
    const Record values{0, "k," + QString(kindLength - 2, QChar(u'あ')), QString(questLength, QChar(u'い')), "a"};
    const StoreStatus added = store->add(values);
    QCOMPARE(added.ok(), ok);
    const StoreStatus changed = store->updateFirstByQuestion("q", values);
    QCOMPARE(changed.ok(), ok);
    if (!ok) {
        QCOMPARE(added.code, StoreStatus::TooLong);
        QVERIFY(added.message.contains(kindLength > 100 ? "種類" : "質問"));
        QCOMPARE(readAll(path).size(), 1);
        QCOMPARE(readAll(path)[0].quest, QStringLiteral("q"));
    }
}

void TestStore::readOnlyFile_reportsFailure()
{
    QTemporaryDir mountPoint;
    const QString path = makeDatabase(db("ro-source.mdb"), {{0, "k,1", "q", "a"}});
    if (!mountTmpfs(mountPoint.path(), "size=1m"))
        QSKIP("mounting a tmpfs is not permitted here");
    const QString target = mountPoint.filePath("ro.mdb");
    QVERIFY(QFile::copy(path, target));
    if (!remountReadOnly(mountPoint.path())) {
        unmount(mountPoint.path());
        QSKIP("remounting the tmpfs read-only is not permitted here");
    }
    StoreStatus status;
    auto store = openStore(target, &status);
    QVERIFY(store);
    const StoreStatus added = store->add({0, "k,1", "new", "a"});
    QCOMPARE(added.code, StoreStatus::Failed);
    QVERIFY(added.message.startsWith(QStringLiteral("データベースに書き込めませんでした")));
    QCOMPARE(store->removeFirstByQuestion("q").code, StoreStatus::Failed);
    QString message;
    QCOMPARE(countRecords(target, &message), 1); // still readable
    unmount(mountPoint.path());
}


void TestStore::uncPath_opensReadsAndWrites_data()
{
    QTest::addColumn<bool>("access");
    QTest::newRow("the program's own database") << false;
    QTest::newRow("an Access file") << true;
}

// A database on a share, named by its UNC path, opens, reads and takes records as on a drive.
void TestStore::uncPath_opensReadsAndWrites()
{
#ifndef Q_OS_WIN
    QSKIP("a UNC path (\\\\server\\share) is a Windows path");
#endif
    QFETCH(bool, access);
    QTemporaryDir local;
    const Share share = makeShare(local.path());
    if (share.unc.isEmpty() || !QFileInfo(share.unc).isDir())
        QSKIP("no share of this machine can be named here");
    const QString folderFile = share.folder + "/qa.mdb";
    const QString uncFile = share.unc + "\\qa.mdb";
    if (access)
        QVERIFY(QFile::copy(qEnvironmentVariable("QADORA_FIXTURES") + "/jet/jet4-basic.mdb", folderFile));
    else
        makeDatabase(folderFile, {{0, "k,1", "一", "いち"}, {0, "k,1", "二", "に"}});
    QVERIFY(QFileInfo::exists(uncFile));
    StoreStatus status;
    auto store = openStore(uncFile, &status);
    QVERIFY2(store, qPrintable(status.message));
    int n = 0;
    const StoreStatus counted = store->count(&n);
    QVERIFY2(counted.ok(), qPrintable(counted.message));
    QCOMPARE(n, access ? 13 : 2);
    if (!access) {
        Record r;
        QVERIFY(store->findFirstByQuestion("二", &r).ok());
        QCOMPARE(r.anser, QStringLiteral("に"));
        QVERIFY(store->add({0, "k,1", "三", "さん"}).ok());
        store.reset();
        const QList<Record> all = readAll(folderFile);
        QCOMPARE(all.size(), 3);
        QCOMPARE(all[2].quest, QStringLiteral("三"));
    }
    store.reset();
    if (share.folder != local.path())
        QVERIFY(QDir(share.folder).removeRecursively());
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
