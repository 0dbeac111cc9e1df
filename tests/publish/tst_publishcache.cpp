// SPDX-License-Identifier: GPL-3.0-or-later
// The publish cache trusts a file's stamp only for changes made before the scan that recorded
// it: on a file system with whole-second times a page changed again within that second keeps
// its stamp, and must still be read again and sent.
#include "ftptestserver.h"
#include "publish/publisher.h"
#include "publish/publishstate.h"
#include "testenv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#endif

using namespace qadora;
using namespace qadora::test;

namespace {

const QString kPassword = QStringLiteral("pw-cache");

// Waits for the start of a second, so that what follows has most of it.
void waitForANewSecond()
{
    while (QDateTime::currentMSecsSinceEpoch() % 1000 > 30)
        QTest::qSleep(5);
}

LocalFile scanned(const QString& dir, const QString& name)
{
    const LocalScan scan = scanLocalFolder(dir, {}, {});
    for (const LocalFile& f : scan.files) {
        if (f.name == name)
            return f;
    }
    return {};
}

// Rewrites the file in place (same inode, same size).
void rewrite(const QString& path, char first)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    bytes[0] = first;
    f.seek(0);
    f.write(bytes);
}

// The stamp as a file system with whole-second times shows it: size, seconds of both times, inode.
QByteArray coarseStamp(const QByteArray& stamp)
{
    QList<QByteArray> f = stamp.split(' ');
    for (int i : {1, 2})
        f[i] = f[i].split('.').value(0);
    return f.join(' ');
}

} // namespace

class TestPublishCache : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void stampAtOrAfterTheScan_isReadAgain_data();
    void stampAtOrAfterTheScan_isReadAgain();
    void pageChangedWithinTheSecond_isSentNext();
};

void TestPublishCache::stampAtOrAfterTheScan_isReadAgain_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("racy");
    QTest::newRow("written before the scan") << "before" << false;
    QTest::newRow("written after the scan started") << "after" << true;
    QTest::newRow("whole-second time of the scan's second") << "this second" << true;
    QTest::newRow("whole-second time of an earlier second") << "earlier second" << false;
}

void TestPublishCache::stampAtOrAfterTheScan_isReadAgain()
{
    QFETCH(QString, when);
    QFETCH(bool, racy);
    QTemporaryDir dir;
    const QString page = dir.filePath("qa001.html");
    waitForANewSecond();
    if (when != "after") {
        QVERIFY(writeBytes(page, "<html>one</html>"));
        if (when != "before") {
            // As a file system with whole-second times records it.
            const qint64 second = QDateTime::currentSecsSinceEpoch() - (when == "earlier second");
#ifdef Q_OS_WIN
            QFile file(page);
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QDateTime::fromSecsSinceEpoch(second), QFileDevice::FileModificationTime));
#else
            const timespec times[2] = {{0, UTIME_OMIT}, {second, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(page).constData(), times, 0), 0);
#endif
        }
        QTest::qSleep(20); // beyond a tick of the coarse clock
    }
    {
        HashCache cache(dir.path());
        if (when == "after")
            QVERIFY(writeBytes(page, "<html>one</html>"));
        const LocalFile file = scanned(dir.path(), "qa001.html");
        QCOMPARE(cache.hash(file), QByteArray());
        cache.remember(file, QByteArray(64, 'a'));
        cache.save();
    }
    const LocalFile file = scanned(dir.path(), "qa001.html");
    QTest::qSleep(20);
    HashCache next(dir.path());
    QCOMPARE(next.hash(file), racy ? QByteArray() : QByteArray(64, 'a'));
    if (racy && when == "after") {
        // Read again once, it is trusted from then on.
        next.remember(file, QByteArray(64, 'b'));
        next.save();
        QCOMPARE(HashCache(dir.path()).hash(file), QByteArray(64, 'b'));
    }
}

// ext4 with 128-byte inodes keeps whole seconds: a page rewritten within the second of a
// publish keeps size, times and inode.
void TestPublishCache::pageChangedWithinTheSecond_isSentNext()
{
    QADORA_LINUX_ONLY("an ext4 image with whole-second times, mounted through a loop device");
    QTemporaryDir dir;
    const QString image = dir.filePath("ext4.img");
    const QString mnt = dir.filePath("mnt");
    QDir().mkpath(mnt);
    {
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(16 << 20));
    }
    QProcess mkfs;
    mkfs.start("mkfs.ext4", {"-q", "-F", "-I", "128", image});
    if (!mkfs.waitForFinished(60000) || mkfs.exitCode() != 0)
        QSKIP(qPrintable("mkfs.ext4 is not available: " + QString::fromLocal8Bit(mkfs.readAllStandardError())));
    QProcess mount;
    mount.start("mount", {"-o", "loop", image, mnt});
    if (!mount.waitForFinished(60000) || mount.exitCode() != 0)
        QSKIP(qPrintable("no loop device to mount an ext4 image: " + QString::fromLocal8Bit(mount.readAllStandardError())));
    struct Unmount {
        QString dir;
        ~Unmount() { unmount(dir); }
    } unmountAtEnd{mnt};

    const QString site = mnt + "/site";
    QDir().mkpath(site);
    for (int i = 1; i <= 5; ++i)
        QVERIFY(writeBytes(site + QStringLiteral("/qa%1.html").arg(i, 3, 10, QLatin1Char('0')),
                           QStringLiteral("<html>page %1</html>\r\n").arg(i).toUtf8()));
    QVERIFY(writeBytes(site + "/index.html", "<html>index</html>\r\n"));
    auto server = startFtpTestServer(dir.filePath("ftp-root"), kPassword);
    PublishOptions options;
    options.outDir = site;
    options.url = QUrl(QStringLiteral("ftp://web@127.0.0.1:%1/www").arg(server->port));
    options.password = kPassword;
    options.confirmed = true;
    PublishResult result = publishSite(options);
    QCOMPARE(result.code, PublishResult::Complete);
    QCOMPARE(result.uploaded, 6);

    const QString page = site + "/qa003.html";
    const QString live = dir.filePath("ftp-root/www/qa003.html");
    bool sameStamp = false;
    for (int attempt = 0; attempt < 8 && !sameStamp; ++attempt) {
        waitForANewSecond();
        rewrite(page, char('a' + attempt));
        const QByteArray before = scanned(site, "qa003.html").stamp;
        QCOMPARE(before.split(' ')[1].split('.').value(1), QByteArray("0")); // whole seconds here
        result = publishSite(options);
        QCOMPARE(result.code, PublishResult::Complete);
        QCOMPARE(result.uploaded, 1);
        rewrite(page, 'Z');
        sameStamp = coarseStamp(scanned(site, "qa003.html").stamp) == coarseStamp(before);
    }
    if (!sameStamp)
        QSKIP("the publish never finished within the second it started (machine too busy)");
    result = publishSite(options);
    QCOMPARE(result.code, PublishResult::Complete);
    QCOMPARE(result.uploaded, 1);
    QCOMPARE(readBytes(live), readBytes(page));
    QVERIFY(readBytes(live).startsWith("Z"));
}

QTEST_GUILESS_MAIN(TestPublishCache)
#include "tst_publishcache.moc"
