// SPDX-License-Identifier: GPL-3.0-or-later
// The modern style's own files, written once the pages are: a file that cannot be written
// stops the run with its own name, the first such in their order, whatever else fails too.
#include "testenv.h"

#include "site/modernpages.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

class TestModernFiles : public QObject {
    Q_OBJECT
private slots:
    void unwritableFile_stopsTheRunNamingTheFirst_data();
    void unwritableFile_stopsTheRunNamingTheFirst();
    void indexNamedAsAFileOfTheStyle_theFileReplacesIt_data();
    void indexNamedAsAFileOfTheStyle_theFileReplacesIt();

private:
    QTemporaryDir m_dir;
    QString m_manyRecords; // made once for the rows
};

void TestModernFiles::unwritableFile_stopsTheRunNamingTheFirst_data()
{
    QTest::addColumn<QStringList>("folders"); // planted where the run writes files
    QTest::addColumn<QString>("named");
    QTest::newRow("style sheet before the script") << QStringList{"qadora-search.js", "qadora.css"} << "qadora.css";
    QTest::newRow("icon before the script") << QStringList{"qadora-search.js", "qadora-icon.svg"} << "qadora-icon.svg";
    QTest::newRow("search page before the script") << QStringList{"qadora-search.js", "search.html"} << "search.html";
    QTest::newRow("the script alone") << QStringList{"qadora-search.js"} << "qadora-search.js";
}

void TestModernFiles::unwritableFile_stopsTheRunNamingTheFirst()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, named);
    QTemporaryDir dir;
    QList<Record> records;
    for (int i = 0; i < 60; ++i) // enough search files for more than one writer
        records.append({0, QStringLiteral("k%1,種類%1").arg(i % 3), QStringLiteral("質問%1の方法").arg(i),
                        QStringLiteral("答え%1は<b>設定</b>から").arg(i * 7)});
    const QString db = makeDatabase(dir.filePath("qa.mdb"), records);
    const QString out = dir.filePath("site");
    for (const QString& f : folders)
        QVERIFY(QDir().mkpath(QDir(out).filePath(f)));
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), {"--style", "modern", "--site-url", "https://example.jp/faq/", db, out});
    QVERIFY(p.waitForFinished(60000));
    const QString said = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(said.contains(QDir(out).filePath(named)), qPrintable(said));
    for (const QString& f : folders) {
        if (f != named)
            QVERIFY2(!said.contains(f), qPrintable(said));
    }
    QVERIFY2(!said.contains(QStringLiteral("作成しました")), qPrintable(said));
    QVERIFY(QFileInfo(QDir(out).filePath("qa060.html")).isFile());
}

void TestModernFiles::indexNamedAsAFileOfTheStyle_theFileReplacesIt_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QByteArray>("begins");
    QTest::newRow("style sheet") << "qadora.css" << modernStyleSheet().left(64);
    QTest::newRow("sitemap, the last written") << "sitemap.xml" << QByteArray("<?xml");
}

// The index page is made before the kinds' pages, while the writer is still far behind: the
// style's own file of the same name is still written after it, as the run's last word.
void TestModernFiles::indexNamedAsAFileOfTheStyle_theFileReplacesIt()
{
    QFETCH(QString, index);
    QFETCH(QByteArray, begins);
    if (m_manyRecords.isEmpty()) {
        QList<Record> records;
        for (int i = 0; i < 600; ++i)
            records.append({0, QStringLiteral("k%1,種類%1").arg(i % 40), QStringLiteral("質問%1").arg(i), QStringLiteral("答え%1").arg(i)});
        m_manyRecords = makeDatabase(m_dir.filePath("many.mdb"));
        appendRecords(m_manyRecords, records);
    }
    const QString out = m_dir.filePath(index + QStringLiteral(".site"));
    QVERIFY(QDir().mkpath(out));
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), {"--style", "modern", "--site-url", "https://example.jp/", "--index", index, m_manyRecords, out});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QFile f(QDir(out).filePath(index));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY2(f.readAll().startsWith(begins), qPrintable(index));
}

QTEST_GUILESS_MAIN(TestModernFiles)
#include "tst_modernfiles.moc"
