// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/linebreaks.h"

#include <QTest>

using namespace qadora;

class TestLineBreaks : public QObject {
    Q_OBJECT

private slots:
    void brplus_data();
    void brplus();
    void brhiku_data();
    void brhiku();
    void byteCount_data();
    void byteCount();
};

void TestLineBreaks::brplus_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one break") << "一行目\r\n二行目" << true << "一行目<br>\r\n二行目";
    QTest::newRow("no break") << "一行" << true << "一行";
    QTest::newRow("ends in a break") << "a\r\n" << true << "a<br>\r\n";
    QTest::newRow("already marked") << "a<br>\r\n" << true << "a<br><br>\r\n";
    QTest::newRow("lone LF and CR") << "a\nb\rc" << true << "a\nb\rc";
    QTest::newRow("two breaks") << "\r\n\r\n" << true << "<br>\r\n<br>\r\n";
    QTest::newRow("off") << "一行目\r\n二行目" << false << "一行目\r\n二行目";
}

void TestLineBreaks::brplus()
{
    QFETCH(QString, text);
    QFETCH(bool, on);
    QFETCH(QString, expected);
    QCOMPARE(qadora::brplus(text, on), expected);
}

void TestLineBreaks::brhiku_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("expected");
    QTest::newRow("marked") << "a<br>\r\nb" << true << "a\r\nb";
    QTest::newRow("double marked") << "a<br><br>\r\nb" << true << "a<br>\r\nb";
    QTest::newRow("not before a break") << "x<br>y" << true << "x<br>y";
    QTest::newRow("capitals stay") << "a<BR>\r\nb" << true << "a<BR>\r\nb";
    QTest::newRow("off") << "a<br>\r\nb" << false << "a<br>\r\nb";
}

void TestLineBreaks::brhiku()
{
    QFETCH(QString, text);
    QFETCH(bool, on);
    QFETCH(QString, expected);
    QCOMPARE(qadora::brhiku(text, on), expected);
}

void TestLineBreaks::byteCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("abc") << "abc" << 3;
    QTest::newRow("あい") << "あい" << 4;
    QTest::newRow("a CR LF b") << "a\r\nb" << 4;
    QTest::newRow("half-width katakana") << "ｱ" << 2;
    QTest::newRow("é") << "é" << 1;
    QTest::newRow("U+0FFF") << QString(QChar(0x0FFF)) << 1;
    QTest::newRow("U+1000") << QString(QChar(0x1000)) << 2;
    QTest::newRow("emoji, two code units") << "😀" << 4;
    QTest::newRow("empty") << "" << 0;
}

void TestLineBreaks::byteCount()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(qadora::byteCount(text), bytes);
}

QTEST_GUILESS_MAIN(TestLineBreaks)
#include "tst_linebreaks.moc"
