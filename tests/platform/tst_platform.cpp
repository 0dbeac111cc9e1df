// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/platform.h"

#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

using namespace qadora;

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void stamp_changesWithTheFile();
    void isRegularFile_data();
    void isRegularFile();
    void replaceFile_overAnOpenFile();
    void replaceFile_failureKeepsBoth();
    void processMayBeRunning();

private:
    QTemporaryDir m_dir;
};

void TestPlatform::stamp_changesWithTheFile()
{
    const QString path = m_dir.filePath(QStringLiteral("データ.db"));
    QVERIFY(!platform::stampOf(path));
    QVERIFY(test::writeBytes(path, "one"));
    const auto first = platform::stampOf(path);
    QVERIFY(first);
    QCOMPARE(first->size, 3);
    QCOMPARE(platform::stampOf(path), first);

    // Same size, same modification time: another file in its place still shows.
    const QString other = m_dir.filePath(QStringLiteral("other"));
    QVERIFY(test::writeBytes(other, "two"));
    QFile f(other);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QFileInfo(path).lastModified(), QFileDevice::FileModificationTime));
    f.close();
    QVERIFY(platform::replaceFile(other, path, nullptr));
    const auto replaced = platform::stampOf(path);
    QVERIFY(replaced);
    QVERIFY(replaced->identity != first->identity);

    // A link is followed to its file.
    QADORA_LINUX_ONLY("symbolic links (QFile::link makes a shortcut, a file of its own, on Windows)");
    const QString link = m_dir.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(path, link));
    QCOMPARE(platform::stampOf(link), replaced);
}

void TestPlatform::isRegularFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("regular");
    QTest::addColumn<bool>("linuxOnly");
    QVERIFY(test::writeBytes(m_dir.filePath(QStringLiteral("file")), "x"));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder")));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("file")), m_dir.filePath(QStringLiteral("filelink"))));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {m_dir.filePath(QStringLiteral("fifo"))}), 0);
#endif
    QTest::newRow("file") << "file" << true << false;
    QTest::newRow("folder") << "folder" << false << false;
    QTest::newRow("link to a file") << "filelink" << false << true;
    QTest::newRow("fifo") << "fifo" << false << true;
    QTest::newRow("missing") << "missing" << false << false;
}

void TestPlatform::isRegularFile()
{
    QFETCH(QString, name);
    QFETCH(bool, regular);
    QFETCH(bool, linuxOnly);
    if (linuxOnly)
        QADORA_LINUX_ONLY("symbolic links and FIFOs");
    QCOMPARE(platform::isRegularFile(m_dir.filePath(name)), regular);
}

void TestPlatform::replaceFile_overAnOpenFile()
{
    const QString target = m_dir.filePath(QStringLiteral("ページ.html"));
    const QString temp = m_dir.filePath(QStringLiteral("ページ.html.tmp"));
    QVERIFY(test::writeBytes(target, "old"));
    QVERIFY(test::writeBytes(temp, "new\r\n\x1A"));
    QFile reader(target);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QString error;
#ifdef Q_OS_WIN
    // Windows does not replace a file that another program holds open without sharing its
    // removal (as Qt opens files). Held for a moment, as a browser or a virus scanner does, it
    // is replaced once let go; held on, the replacement is refused with the system's reason,
    // and both files keep their bytes.
    std::thread letGo([&reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        reader.close();
    });
    const bool replaced = platform::replaceFile(temp, target, &error);
    letGo.join();
    QVERIFY2(replaced, qPrintable(error));
    QCOMPARE(test::readBytes(target), QByteArray("new\r\n\x1A"));
    QVERIFY(!QFile::exists(temp));

    QVERIFY(test::writeBytes(temp, "newer"));
    QFile holder(target);
    QVERIFY(holder.open(QIODevice::ReadOnly));
    QVERIFY(!platform::replaceFile(temp, target, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(holder.readAll(), QByteArray("new\r\n\x1A"));
    holder.close();
    QCOMPARE(test::readBytes(target), QByteArray("new\r\n\x1A"));
    QCOMPARE(test::readBytes(temp), QByteArray("newer"));
#else
    QVERIFY2(platform::replaceFile(temp, target, &error), qPrintable(error));
    QCOMPARE(test::readBytes(target), QByteArray("new\r\n\x1A"));
    QVERIFY(!QFile::exists(temp));
    QCOMPARE(reader.readAll(), QByteArray("old"));
#endif
}

void TestPlatform::replaceFile_failureKeepsBoth()
{
    const QString from = m_dir.filePath(QStringLiteral("from"));
    QVERIFY(test::writeBytes(from, "bytes"));
    QString error;
    QVERIFY(!platform::replaceFile(from, m_dir.filePath(QStringLiteral("no-such-folder/to")), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(test::readBytes(from), QByteArray("bytes"));
}

void TestPlatform::processMayBeRunning()
{
    QVERIFY(platform::processMayBeRunning(platform::currentProcessId()));
    QVERIFY(platform::processMayBeRunning(QCoreApplication::applicationPid()));
    // A child that ended and was reaped is gone.
    QProcess sleeper;
#ifdef Q_OS_WIN
    sleeper.start(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("pause")}); // waits on its input
#else
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
#endif
    QVERIFY(sleeper.waitForStarted());
    const qint64 sleeping = sleeper.processId();
    QVERIFY(platform::processMayBeRunning(sleeping));
    sleeper.kill();
    QVERIFY(sleeper.waitForFinished());
    QVERIFY(!platform::processMayBeRunning(sleeping));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
