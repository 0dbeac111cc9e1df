// SPDX-License-Identifier: GPL-3.0-or-later
// The folder a run writes into: listed once, yet never fooled by what comes after the listing,
// and shared safely with another run.
#include "platform/platform.h"
#include "site/pagefile.h"
#include "site/sitegeneration.h"
#include "testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace qadora;
using namespace qadora::test;

class TestPageFolder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void cameAfterTheListing_data();
    void cameAfterTheListing();
    void earlierManifest_prunesOnlyItsOwnPages();
    void twoRunsAtOnce_bothComplete();
};

void TestPageFolder::cameAfterTheListing_data()
{
    QTest::addColumn<bool>("perRun");
    QTest::addColumn<QString>("planted");
    for (const bool perRun : {true, false}) {
        const char* guard = perRun ? "run lock: " : "file locks: ";
        QTest::newRow(QByteArray(guard).append("nothing").constData()) << perRun << "";
        QTest::newRow(QByteArray(guard).append("the same page").constData()) << perRun << "same";
        QTest::newRow(QByteArray(guard).append("another page").constData()) << perRun << "other";
        QTest::newRow(QByteArray(guard).append("a FIFO").constData()) << perRun << "fifo";
        QTest::newRow(QByteArray(guard).append("a directory").constData()) << perRun << "dir";
    }
}

// A file that appears after the folder was listed is treated as if it had been listed: the
// same bytes stay untouched, other bytes are replaced, something not a file is never replaced.
void TestPageFolder::cameAfterTheListing()
{
    QFETCH(bool, perRun);
    QFETCH(QString, planted);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.html");
    const QByteArray page = "<HTML>\r\n";
    PageFolder folder(dir.path(), perRun ? PageFolder::Guard::PerRun : PageFolder::Guard::PerFile);
    if (planted == "same" || planted == "other")
        QVERIFY(writeBytes(path, planted == "same" ? page : QByteArray("the user's")));
    else if (planted == "fifo") {
        QADORA_LINUX_ONLY("FIFOs");
#ifndef Q_OS_WIN
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
#endif
    } else if (planted == "dir")
        QVERIFY(QDir().mkdir(path));
    const auto before = platform::stampOf(path, platform::Links::NotFollowed);

    QString error;
    const PageWrite outcome = folder.write("p.html", page, &error);
    const auto after = platform::stampOf(path, platform::Links::NotFollowed);
    QVERIFY(after);
    if (planted == "fifo" || planted == "dir") {
        QCOMPARE(outcome, PageWrite::Failed);
        QCOMPARE(error, QStringLiteral("通常のファイルではないため置き換えられません"));
        QVERIFY(after->kind != platform::EntryKind::Regular);
    } else {
        QCOMPARE(outcome, planted == "same" ? PageWrite::Unchanged : PageWrite::Written);
        QCOMPARE(readBytes(path), page);
        QCOMPARE(before && after->identity == before->identity, planted == "same");
    }
    QCOMPARE(QDir(dir.path()).entryList({".qadora-*"}, QDir::Files | QDir::Hidden), QStringList{});
}

// A folder whose manifest an earlier version wrote, with SHA-256 hashes: a prune still takes
// the pages it wrote and leaves the one the user has changed since.
void TestPageFolder::earlierManifest_prunesOnlyItsOwnPages()
{
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("qa.mdb"), {{0, "k1,t", "q1", "a1"}, {0, "k1,t", "q2", "a2"}, {0, "k1,t", "q3", "a3"}});
    const QString out = dir.filePath("site");
    QVERIFY(QDir().mkpath(out));
    auto build = [&](const QStringList& options) {
        QProcess p;
        p.start(QStringLiteral(QADORA_BUILD_EXE), QStringList{"--quiet"} + options + QStringList{db, out});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    QVERIFY(build({}));
    QByteArray earlier;
    for (const QByteArray& line : readBytes(manifestPath(out)).split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split('\t');
        if (fields.size() == 3)
            earlier += fields[0] + '\t' + fields[1] + '\t'
                + QCryptographicHash::hash(readBytes(out + "/" + fields[0]), QCryptographicHash::Sha256).toHex() + "\r\n";
    }
    QVERIFY(earlier.count('\n') >= 5);
    QVERIFY(writeBytes(manifestPath(out), earlier));
    QVERIFY(writeBytes(out + "/qa003.html", "the user's own"));
    QCOMPARE(runSqlite(db, "DELETE FROM tbl1 WHERE No IN (2, 3);"), QByteArray());
    QVERIFY(build({"--prune"}));
    QVERIFY(!QFile::exists(out + "/qa002.html"));
    QCOMPARE(readBytes(out + "/qa003.html"), QByteArray("the user's own"));
}

// A second qadora-build started into the folder while the first is writing: neither takes the
// other's temporary files, both finish, and nothing of theirs is left.
void TestPageFolder::twoRunsAtOnce_bothComplete()
{
    QTemporaryDir dir;
    const QString db = dir.filePath("qa.mdb");
    const QString out = dir.filePath("site");
    QVERIFY(QDir().mkpath(out));
    // Windows (Wine) writes pages several times slower: fewer, still far more than the first
    // run has written when the second starts.
    const int count = platform::windowsFileNames() ? 5000 : 20000;
    QList<Record> many;
    for (int i = 0; i < count; ++i)
        many.append({0, QStringLiteral("k%1,t").arg(i % 50), QString::number(i), QString(300, QChar(0x3042))});
    makeDatabase(db, many);
    QProcess first;
    first.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", db, out});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(out).entryList(QDir::Files).size() > 200, 20000);
    QProcess second;
    second.start(QStringLiteral(QADORA_BUILD_EXE), {"--quiet", db, out});
    QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(QDir(out).entryList({".qadora-*"}, QDir::Files | QDir::Hidden), QStringList{});
    QCOMPARE(QDir(out).entryList({"qa*.html"}, QDir::Files).size(), count);
}

QTEST_MAIN(TestPageFolder)
#include "tst_pagefolder.moc"
