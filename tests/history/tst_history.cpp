// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/backups.h"
#include "store/recordstore.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(QDir().mkpath(path("outside")));
        writeBytes(m_planted = path("outside/planted.txt"), "mine");
    }
    void cleanup() { QCOMPARE(readBytes(m_planted), QByteArray("mine")); }
    void randomChanges_undoAndRedoRestoreEveryState();
    void conflict_refusesTheWholeSetAndWritesNothing_data();
    void conflict_refusesTheWholeSetAndWritesNothing();
    void backUp_copiesWhileAnotherProgramWrites();
    void backUp_keepsTheNewestTen();
    void backUp_fullOrReadOnlyDisk_saysSoAndLeavesNothing_data();
    void backUp_fullOrReadOnlyDisk_saysSoAndLeavesNothing();
    void restore_bringsTheCopyBackAndBacksUpTheCurrentState();
    void sessionBackups_oncePerDatabase();
    void backUp_clockSetBack_keepsTheNewOneAndPrunesTheFirstMade_data();
    void backUp_clockSetBack_keepsTheNewOneAndPrunesTheFirstMade();
    void backupFolder_filesPutThereByHandAreLeftAlone();
    void backUp_longDatabaseName_data();
    void backUp_longDatabaseName();
    void backups_foundByEverySpellingOfThePath_data();
    void backups_foundByEverySpellingOfThePath();
    void restore_refusesWhatDoesNotReadAsAQaDatabase_data();
    void restore_refusesWhatDoesNotReadAsAQaDatabase();
    void reasons_keptInTheNameAndListed();

private:
    QTemporaryDir m_dir;
    // A file outside every place the program may touch; checked untouched at the end.
    QString m_planted;
    QString path(const QString& name) { return m_dir.filePath(name); }
    std::unique_ptr<RecordStore> open(const QString& db)
    {
        StoreStatus status;
        auto store = openStore(db, &status);
        if (!store)
            qFatal("%s", qPrintable(status.message));
        return store;
    }
};

void TestHistory::randomChanges_undoAndRedoRestoreEveryState()
{
    const QString db = makeDatabase(path("random.mdb"), {{0, "sub1,a", "q1", "a1"}, {0, "sub1,a", "q2", "a2\r\n"},
                                                         {0, "sub2,b", "q3", "a3"}});
    auto store = open(db);
    QRandomGenerator random(20261207);
    QList<QList<Record>> states{readAll(db)};
    QList<ChangeSet> steps;
    for (int i = 0; i < 20; ++i) {
        const QList<Record> now = states.last();
        RecordChange done;
        StoreStatus status;
        const int op = now.isEmpty() ? 0 : random.bounded(3);
        const QString n = QString::number(i);
        if (op == 0)
            status = store->add({0, "sub" + n + ",k", "new " + n, "answer " + n}, &done);
        else if (op == 1)
            status = store->updateFirstByQuestion(now[random.bounded(int(now.size()))].quest,
                                                  {0, "subx,x", "changed " + n, "\u2028" + n}, &done);
        else
            status = store->removeFirstByQuestion(now[random.bounded(int(now.size()))].quest, &done);
        QVERIFY2(status.ok(), qPrintable(status.message));
        steps.append({done});
        states.append(readAll(db));
    }
    for (qsizetype i = steps.size() - 1; i >= 0; --i) {
        const StoreStatus undone = store->applyChanges(inverted(steps[i]));
        QVERIFY2(undone.ok(), qPrintable(undone.message));
        QCOMPARE(readAll(db), states[i]);
    }
    for (qsizetype i = 0; i < steps.size(); ++i)
        QVERIFY(store->applyChanges(steps[i]).ok());
    QCOMPARE(readAll(db), states.last());
}

void TestHistory::conflict_refusesTheWholeSetAndWritesNothing_data()
{
    QTest::addColumn<QString>("otherProgram");
    QTest::newRow("changed") << "UPDATE tbl1 SET anser = 'theirs' WHERE quest = 'q2';";
    QTest::newRow("deleted") << "DELETE FROM tbl1 WHERE quest = 'q2';";
    QTest::newRow("number taken") << "INSERT INTO tbl1 (No, kind, quest, anser) VALUES (9, 'k,k', 'x', 'y');";
    // A table another program made, where No is no key: the number is looked up first.
    QTest::newRow("number taken, no key") << "ALTER TABLE tbl1 RENAME TO old; CREATE TABLE tbl1 (No INTEGER, kind TEXT, quest TEXT, anser TEXT);"
                                             "INSERT INTO tbl1 SELECT * FROM old; DROP TABLE old;"
                                             "INSERT INTO tbl1 (No, kind, quest, anser) VALUES (9, 'k,k', 'x', 'y');";
}

void TestHistory::conflict_refusesTheWholeSetAndWritesNothing()
{
    QFETCH(QString, otherProgram);
    const QString db = makeDatabase(path("conflict.mdb"), {{0, "k,k", "q1", "a1"}, {0, "k,k", "q2", "a2"}});
    auto store = open(db);
    RecordChange first, second;
    QVERIFY(store->updateFirstByQuestion("q1", {0, "k,k", "q1", "mine"}, &first).ok());
    QVERIFY(store->updateFirstByQuestion("q2", {0, "k,k", "q2", "mine"}, &second).ok());
    // An addition to be redone at number 9 after its undo.
    const ChangeSet readd{{std::nullopt, Record{9, "k,k", "nine", "9"}}};
    QCOMPARE(runSqlite(db, otherProgram), QByteArray());
    const QList<Record> before = readAll(db);
    const ChangeSet both = inverted({first, second});
    const bool taken = QByteArrayView(QTest::currentDataTag()).startsWith("number taken");
    const ChangeSet set = taken ? readd : both;
    QCOMPARE(store->checkChanges(set).code, StoreStatus::Conflict);
    const StoreStatus status = store->applyChanges(set);
    QCOMPARE(status.code, StoreStatus::Conflict);
    QVERIFY(status.message.startsWith(QStringLiteral("ほかのプログラムがこのデータを変更したため、元に戻せません\r")));
    if (taken)
        QCOMPARE(status.message.section(QLatin1Char('\r'), 1), QStringLiteral("x")); // the record that has the number
    QCOMPARE(readAll(db), before);
}

void TestHistory::backUp_copiesWhileAnotherProgramWrites()
{
    const QString db = makeDatabase(path("busy.mdb"), {{0, "k,k", "q", "a"}});
    QCOMPARE(runSqlite(db, "PRAGMA journal_mode=WAL;"), QByteArray());
    // Another program adds rows in its own transactions while the copy is made.
    QProcess writer;
    QString script = "PRAGMA busy_timeout=5000;\n";
    for (int i = 0; i < 300; ++i)
        script += QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES ('k,k', 'w%1', '%2');\n").arg(i).arg(QString(200, 'x'));
    writer.start("sqlite3", {db});
    QVERIFY(writer.waitForStarted());
    writer.write(script.toUtf8());
    writer.closeWriteChannel();
    QString error, made;
    QVERIFY2(backUp(db, &error, &made), qPrintable(error));
    QVERIFY(writer.waitForFinished());
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].path, made);
    // A consistent copy: the first record and whole inserts only, and the copy is a database.
    const QList<Record> copied = readAll(made);
    QVERIFY(!copied.isEmpty());
    QCOMPARE(copied[0].quest, QStringLiteral("q"));
    QCOMPARE(list[0].records, int(copied.size()));
    QCOMPARE(QFileInfo(made).absolutePath(), backupFolderFor(db));
}

void TestHistory::backUp_keepsTheNewestTen()
{
    const QString db = makeDatabase(path("ten.mdb"));
    QStringList made;
    for (int i = 0; i < 12; ++i) {
        appendRecords(db, {{0, "k,k", QString::number(i), "a"}});
        QString error, one;
        QVERIFY2(backUp(db, &error, &one), qPrintable(error));
        made.prepend(one);
    }
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), kBackupsKept);
    for (int i = 0; i < kBackupsKept; ++i) {
        QCOMPARE(list[i].path, made[i]);
        QCOMPARE(list[i].records, 12 - i);
    }
    QVERIFY(!QFile::exists(made[10]) && !QFile::exists(made[11]));
    // Restoring the oldest: the backup of the state restored over does not prune it first.
    QString error;
    QVERIFY2(restoreBackup(list.last().path, db, &error), qPrintable(error));
    QCOMPARE(readAll(db), readAll(list.last().path));
}

void TestHistory::backUp_fullOrReadOnlyDisk_saysSoAndLeavesNothing_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("folderMadeBefore");
    QTest::addColumn<QString>("reason");
    const QString full = QStringLiteral("バックアップのフォルダのディスクに空きがありません（空き ");
    const QString readOnly = QStringLiteral("バックアップのフォルダのディスクが読み取り専用のため、書き込めません");
    QTest::newRow("full") << "size=64k" << false << full;
    QTest::newRow("read-only") << "ro" << false << readOnly;
    QTest::newRow("read-only, a backup folder from an earlier session") << "ro" << true << readOnly;
}

// The disk of the backups is full or read-only: the backup is refused in words that say so and
// name the folder, and nothing is left behind.
void TestHistory::backUp_fullOrReadOnlyDisk_saysSoAndLeavesNothing()
{
    QFETCH(QString, options);
    QFETCH(bool, folderMadeBefore);
    QFETCH(QString, reason);
    QList<Record> records;
    for (int i = 0; i < 300; ++i)
        records.append({0, "k,k", QString::number(i), QString(200, u'x')});
    const QString db = makeDatabase(path(QStringLiteral("disk-%1.mdb").arg(QTest::currentDataTag())), records);
    const QString backups = QFileInfo(backupFolderFor(db)).absolutePath();
    QVERIFY(QDir().mkpath(backups));
    QADORA_LINUX_ONLY("a full or read-only disk made with a small tmpfs");
    if (!mountTmpfs(backups, options == "ro" ? "size=1m" : options))
        QSKIP("mounting a tmpfs is not permitted here");
    if (folderMadeBefore)
        QVERIFY(QDir().mkpath(backupFolderFor(db)));
    if (options == "ro" && !remountReadOnly(backups)) {
        unmount(backups);
        QSKIP("remounting the tmpfs read-only is not permitted here");
    }
    const QByteArray before = readBytes(db);
    QString error;
    const bool made = backUp(db, &error);
    const QMap<QString, QByteArray> left = filesBelow(backups);
    unmount(backups);
    QVERIFY(!made);
    QVERIFY2(error.startsWith(reason) && error.endsWith("\r" + backupFolderFor(db)), qPrintable(error));
    // At most the note of which database the folder is for; no copy cut short.
    for (const QString& file : left.keys())
        QVERIFY2(file.endsWith("/database.txt"), qPrintable(file));
    QCOMPARE(readBytes(db), before);
}

void TestHistory::restore_bringsTheCopyBackAndBacksUpTheCurrentState()
{
    const QString db = makeDatabase(path("restore.mdb"), {{0, "k,k", "kept", "a"}});
    QString error, made;
    QVERIFY(backUp(db, &error, &made));
    const QList<Record> saved = readAll(db);
    runSqlite(db, "DELETE FROM tbl1; INSERT INTO tbl1 (kind, quest, anser) VALUES ('k,k', 'later', 'b');");
    const QList<Record> later = readAll(db);
    QVERIFY2(restoreBackup(made, db, &error), qPrintable(error));
    QCOMPARE(readAll(db), saved);
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), 2);
    QCOMPARE(readAll(list[0].path), later);
    // The backup itself is never changed by being read or restored.
    QVERIFY(QFileInfo(made).dir().entryList(QDir::Files).filter("journal").isEmpty());
}

void TestHistory::sessionBackups_oncePerDatabase()
{
    const QString a = makeDatabase(path("a.mdb"));
    const QString b = makeDatabase(path("b.mdb"));
    SessionBackups session;
    QString error;
    QVERIFY(session.beforeFirstChange(a, &error));
    QVERIFY(session.beforeFirstChange(a, &error));
    QVERIFY(session.beforeFirstChange(b, &error));
    QVERIFY(session.beforeFirstChange(path("missing.mdb"), &error));
    QCOMPARE(backupsOf(a).size(), 1);
    QCOMPARE(backupsOf(b).size(), 1);
    session.forget(a);
    QVERIFY(session.beforeFirstChange(a, &error));
    QCOMPARE(backupsOf(a).size(), 2);
}

// Backups named by a clock that was later (another time zone, a clock set back since): the new
// one is kept and listed first, and the first made goes.
void TestHistory::backUp_clockSetBack_keepsTheNewOneAndPrunesTheFirstMade_data()
{
    QTest::addColumn<QString>("form");
    QTest::newRow("names without numbers") << "%1 2099-01-%2 10-00-00-000.mdb%3";
    QTest::newRow("numbered names") << "%1 2099-01-%2 10-00-00-000 #%3 first-change.mdb";
}

void TestHistory::backUp_clockSetBack_keepsTheNewOneAndPrunesTheFirstMade()
{
    QFETCH(QString, form);
    const QString name = QStringLiteral("clock%1").arg(form.contains('#') ? 2 : 1);
    const QString db = makeDatabase(path(name + ".mdb"), {{0, "k,k", "q", "a"}});
    QVERIFY(QDir().mkpath(backupFolderFor(db)));
    QStringList planted;
    for (int i = 1; i <= kBackupsKept; ++i) {
        planted << backupFolderFor(db) + "/" + form.arg(name).arg(i, 2, 10, QLatin1Char('0')).arg(form.contains('#') ? QString::number(i) : QString());
        QVERIFY(QFile::copy(db, planted.last()));
    }
    QString error, made;
    QVERIFY2(backUp(db, &error, &made), qPrintable(error));
    QVERIFY(QFile::exists(made));
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), kBackupsKept);
    QCOMPARE(list[0].path, made);
    QCOMPARE(list[1].path, planted.last());
    QVERIFY(!QFile::exists(planted.first()));
}

void TestHistory::backupFolder_filesPutThereByHandAreLeftAlone()
{
    const QString db = makeDatabase(path("byhand.mdb"), {{0, "k,k", "q", "a"}});
    const QString folder = backupFolderFor(db);
    QVERIFY(QDir().mkpath(folder + "/sub"));
    const QStringList names{"notes.txt", "byhand.mdb", "byhand 2026-13-01 10-00-00-000.mdb",
                            "byhand 2020-01-01 10-00-00-000.mdb.bak", "other 2020-01-01 10-00-00-000.mdb",
                            "byhand 2020-01-01 10-00-00-000 #1 someday.mdb", "sub/byhand 2020-01-01 10-00-00-000.mdb"};
    for (const QString& n : names)
        QVERIFY(QFile::copy(db, folder + "/" + n));
    const QMap<QString, QByteArray> before = filesBelow(folder);
    QStringList made;
    for (int i = 0; i < kBackupsKept + 2; ++i) {
        QString error, one;
        QVERIFY2(backUp(db, &error, &one), qPrintable(error));
        made.prepend(one);
    }
    QStringList listed;
    for (const BackupEntry& b : backupsOf(db))
        listed << b.path;
    QCOMPARE(listed, made.mid(0, kBackupsKept));
    const QMap<QString, QByteArray> after = filesBelow(folder);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.value(it.key()), it.value());
}

void TestHistory::backUp_longDatabaseName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("80 kana") << QString(80, u'あ') + ".mdb";
    QTest::newRow("60 emoji") << QString::fromUtf8(QByteArray("\xF0\x9F\x98\x80").repeated(60)) + ".mdb";
    QTest::newRow("long suffix") << "q." + QString(70, u'か');
}

// Every name a database can have leaves room for the backup's names (255 bytes each).
void TestHistory::backUp_longDatabaseName()
{
    QFETCH(QString, name);
    const QString db = makeDatabase(path(name), {{0, "k,k", "q", "a"}});
    QString error, made;
    QVERIFY2(backUp(db, &error, &made), qPrintable(error));
    QVERIFY2(backUp(db, &error, &made), qPrintable(error));
    QVERIFY(QFileInfo(made).fileName().toUtf8().size() <= 255 - int(qstrlen(".partial-journal")));
    QVERIFY(QFileInfo(made).fileName().toUtf8().isValidUtf8());
    QVERIFY(QFileInfo(backupFolderFor(db)).fileName().toUtf8().size() <= 255);
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].path, made);
    QCOMPARE(list[0].records, 1);
    runSqlite(db, "DELETE FROM tbl1;");
    QVERIFY2(restoreBackup(made, db, &error), qPrintable(error));
    QCOMPARE(readAll(db).size(), 1);
}

void TestHistory::backups_foundByEverySpellingOfThePath_data()
{
    QTest::addColumn<QString>("madeBy");
    QTest::newRow("made through the link") << "link";
    QTest::newRow("made by the real path") << "real";
    QTest::newRow("made through the link before, by its spelling") << "old folder";
}

void TestHistory::backups_foundByEverySpellingOfThePath()
{
    QFETCH(QString, madeBy);
    QTemporaryDir dir;
    const QString real = makeDatabase(dir.filePath("real.mdb"), {{0, "k,k", "q", "a"}});
#ifdef Q_OS_WIN
    // Windows has no links a user makes, but the same file spelt in other letters and with "\".
    const QString link = QDir::toNativeSeparators(real.toUpper());
#else
    QVERIFY(QDir().mkpath(dir.filePath("links")));
    const QString link = dir.filePath("links/link.mdb");
    QVERIFY(QFile::link(real, link));
#endif
    QString error;
    if (madeBy == "old folder")
        QADORA_LINUX_ONLY("backup folders keyed on the spelling, which only earlier Linux versions made");
    if (madeBy == "old folder") {
        // As backups were kept before: keyed on the spelling, noted in database.txt.
        const QString key = QCryptographicHash::hash(link.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
        const QString old = QFileInfo(backupFolderFor(real)).absolutePath() + "/" + QFileInfo(link).fileName() + "-" + key;
        QVERIFY(QDir().mkpath(old));
        writeBytes(old + "/database.txt", link.toUtf8() + "\n");
        QVERIFY(QFile::copy(real, old + "/" + QFileInfo(link).completeBaseName() + " 2026-01-01 10-00-00-000.mdb"));
    } else {
        QVERIFY2(backUp(madeBy == "link" ? link : real, &error), qPrintable(error));
    }
    for (const QString& spelling : {real, link}) {
        const QList<BackupEntry> list = backupsOf(spelling);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].records, 1);
    }
    QCOMPARE(backupFolderFor(link), backupFolderFor(real));
    // A new backup joins them, and restoring one reaches the real file.
    QVERIFY2(backUp(real, &error), qPrintable(error));
    QCOMPARE(backupsOf(link).size(), 2);
    runSqlite(real, "DELETE FROM tbl1;");
    QVERIFY2(restoreBackup(backupsOf(link).last().path, link, &error), qPrintable(error));
    QCOMPARE(readAll(real).size(), 1);
#ifndef Q_OS_WIN
    QVERIFY(QFileInfo(link).isSymLink());
#endif
}

void TestHistory::restore_refusesWhatDoesNotReadAsAQaDatabase_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("restorable");
    QTest::newRow("text") << QByteArray("not a database\n") << "" << false;
    QTest::newRow("empty") << QByteArray() << "" << false;
    QTest::newRow("SQLite without tbl1") << QByteArray() << "CREATE TABLE other (x);" << false;
    QTest::newRow("SQLite cut short") << QByteArray("cut") << "" << false;
    QTest::newRow("Access file") << readBytes(qEnvironmentVariable("QADORA_FIXTURES") + "/jet/jet4-basic.mdb") << "" << true;
}

void TestHistory::restore_refusesWhatDoesNotReadAsAQaDatabase()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sql);
    QFETCH(bool, restorable);
    const QString db = makeDatabase(path(QStringLiteral("junk-%1.mdb").arg(QTest::currentDataTag())), {{0, "k,k", "q", "a"}});
    const QString junk = backupFolderFor(db) + "/" + QFileInfo(db).completeBaseName() + " 2026-01-01 10-00-00-000.mdb";
    QVERIFY(QDir().mkpath(backupFolderFor(db)));
    if (!sql.isEmpty())
        runSqlite(junk, sql);
    else if (bytes == "cut")
        writeBytes(junk, readBytes(db).left(3000));
    else
        writeBytes(junk, bytes);
    const QByteArray before = readBytes(db);
    const QList<BackupEntry> list = backupsOf(db);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].records >= 0, restorable);
    QString error;
    QCOMPARE(restoreBackup(junk, db, &error), restorable);
    if (restorable) {
        QCOMPARE(readBytes(db), readBytes(junk));
        return;
    }
    QCOMPARE(error, kUnreadableBackupMessage);
    QCOMPARE(readBytes(db), before);
    QCOMPARE(backupsOf(db).size(), 1);
}

void TestHistory::reasons_keptInTheNameAndListed()
{
    const QString db = makeDatabase(path("reasons.mdb"), {{0, "k,k", "q", "a"}});
    QVERIFY(QDir().mkpath(backupFolderFor(db)));
    QVERIFY(QFile::copy(db, backupFolderFor(db) + "/reasons 2020-01-01 10-00-00-000.mdb"));
    SessionBackups session;
    QString error;
    for (BackupReason r : {BackupReason::FirstChange, BackupReason::FirstChange, BackupReason::Import, BackupReason::Import,
                           BackupReason::KindRename})
        QVERIFY2(session.before(db, r, &error), qPrintable(error));
    QVERIFY(session.beforeFirstChange(db, &error));
    QVERIFY2(restoreBackup(backupsOf(db).last().path, db, &error), qPrintable(error));
    QList<BackupReason> reasons;
    for (const BackupEntry& b : backupsOf(db))
        reasons << b.reason;
    QCOMPARE(reasons, (QList<BackupReason>{BackupReason::Restore, BackupReason::KindRename, BackupReason::Import,
                                           BackupReason::Import, BackupReason::FirstChange, BackupReason::Unknown}));
    QCOMPARE(backupReasonText(BackupReason::Import), QStringLiteral("取り込み前"));
    QCOMPARE(backupReasonText(BackupReason::Unknown), QString());
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
