// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/cp932.h"

#include <QTest>

using namespace qadora;

class TestCp932 : public QObject {
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void everyCodeRoundTrips();
    void decode_data();
    void decode();
    void decodeStrict_refusesWhatIsNoCharacter();
};

void TestCp932::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "<A href=\"x\">" << QByteArray("<A href=\"x\">");
    QTest::newRow("control characters are themselves") << QString(QChar(0x1A)) + QChar(0x1C) + QChar(0x7F)
                                                       << QByteArray("\x1A\x1C\x7F");
    QTest::newRow("hiragana") << "あ" << QByteArray("\x82\xA0");
    QTest::newRow("fullwidth tilde") << "～" << QByteArray("\x81\x60");
    QTest::newRow("NEC special") << "①" << QByteArray("\x87\x40");
    QTest::newRow("IBM extension") << "髙" << QByteArray("\xFB\xFC");
    QTest::newRow("half-width katakana") << "ｱｶﾞ" << QByteArray("\xB1\xB6\xDE");
    QTest::newRow("half-width middle dot") << "･" << QByteArray("\xA5");
    QTest::newRow("black circle") << "●" << QByteArray("\x81\x9C");
    QTest::newRow("ideographic space") << "　" << QByteArray("\x81\x40");
    QTest::newRow("wave dash") << "〜" << QByteArray("&#12316;");
    QTest::newRow("minus sign") << "−" << QByteArray("&#8722;");
    QTest::newRow("yen sign") << "¥" << QByteArray("&#165;");
    QTest::newRow("emoji, one reference per pair") << "a😀b" << QByteArray("a&#128512;b");
    QTest::newRow("zero-width joiner is kept") << QString(QChar(0x200D)) << QByteArray("&#8205;");
    QTest::newRow("U+F86F") << QString(QChar(0xF86F)) << QByteArray("&#63599;");
    QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) + "x" << QByteArray("&#65533;x");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestCp932::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(cp932::encode(text), bytes);
}

void TestCp932::everyCodeRoundTrips()
{
    // Every character with a code decodes back to itself: no look-alikes in the table.
    int withCode = 0;
    for (int c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const int code = cp932::codeOf(char16_t(c));
        if (code < 0)
            continue;
        ++withCode;
        const QByteArray bytes = cp932::encode(QString(QChar(c)));
        QVERIFY2(cp932::decode(bytes) == QString(QChar(c)), qPrintable(QString::number(c, 16)));
        QString strict;
        QVERIFY2(cp932::decodeStrict(bytes, strict) && strict == QString(QChar(c)), qPrintable(QString::number(c, 16)));
    }
    // 63 single-byte katakana and the double-byte codes of the Windows table.
    QVERIFY2(withCode > 7000, qPrintable(QString::number(withCode)));
}

void TestCp932::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("mixed") << QByteArray("\"A,\x83\x65\x83\x58\x83\x67\"\r\n") << "\"A,テスト\"\r\n";
    QTest::newRow("trail byte in ascii range") << QByteArray("\x83\x5C") << "ソ";
    QTest::newRow("katakana") << QByteArray("\xB1") << "ｱ";
    QTest::newRow("ascii controls") << QByteArray("\x1A\x7F") << QString(QChar(0x1A)) + QChar(0x7F);
}

void TestCp932::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(cp932::decode(bytes), text);
    QString strict;
    QVERIFY(cp932::decodeStrict(bytes, strict));
    QCOMPARE(strict, text);
}

// Bytes that are no character stop the decoding where they start.
void TestCp932::decodeStrict_refusesWhatIsNoCharacter()
{
    for (const QByteArray& bad : {QByteArray("a\x81"), QByteArray("a\x81\x20"), QByteArray("a\x85\x40"), QByteArray("a\xFD")}) {
        QString text;
        QVERIFY2(!cp932::decodeStrict(bad, text), bad.toHex().constData());
        QCOMPARE(text, QStringLiteral("a"));
    }
    // A code that another one duplicates reads as the character, as Windows reads it.
    QString text;
    QVERIFY(cp932::decodeStrict("\xEE\xF9", text));
    QCOMPARE(text, QStringLiteral("￢"));
}

QTEST_GUILESS_MAIN(TestCp932)
#include "tst_cp932.moc"
