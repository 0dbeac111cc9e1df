// SPDX-License-Identifier: GPL-3.0-or-later
// The generated code page 932 tables against ICU itself, where ICU is at hand: every build
// reads a damaged file as ICU's converter does.
#include "site/cp932.h"

#include <QTest>

#include <unicode/ucnv.h>

using namespace qadora;

class TestCp932Icu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void decodeReadsAsIcu();

private:
    // The reading of ICU's converter: ASCII bytes as themselves, the runs between with its
    // substitutes.
    QString icuDecode(const QByteArray& bytes, bool* clean);
    UConverter* cnv = nullptr;
};

void TestCp932Icu::initTestCase()
{
    UErrorCode err = U_ZERO_ERROR;
    cnv = ucnv_open("windows-31j", &err);
    QVERIFY(U_SUCCESS(err));
    ucnv_setFallback(cnv, false);
}

void TestCp932Icu::cleanupTestCase()
{
    ucnv_close(cnv);
}

QString TestCp932Icu::icuDecode(const QByteArray& bytes, bool* clean)
{
    bool ok = !bytes.contains('\0') && !cp932::looksLikeUtf8(bytes) && !bytes.startsWith("\xEF\xBB\xBF")
        && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF");
    QString result;
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (quint8(bytes[i]) < 0x80) {
            result += QLatin1Char(bytes[i++]);
            continue;
        }
        qsizetype j = i;
        while (j < bytes.size() && quint8(bytes[j]) >= 0x80) {
            const quint8 b = quint8(bytes[j]);
            const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            j += (lead && j + 1 < bytes.size()) ? 2 : 1;
        }
        UChar u[64];
        UErrorCode err = U_ZERO_ERROR;
        ucnv_resetToUnicode(cnv);
        const int32_t n = ucnv_toUChars(cnv, u, 64, bytes.constData() + i, int32_t(j - i), &err);
        const QString part = QString::fromUtf16(reinterpret_cast<const char16_t*>(u), n);
        ok = ok && U_SUCCESS(err) && !part.contains(QChar(0xFFFD)) && !part.contains(QChar(0x1A));
        result += part;
        i = j;
    }
    *clean = ok;
    return result;
}

void TestCp932Icu::decodeReadsAsIcu()
{
    // Every one- and two-byte sequence, and longer ones from the bytes where the rules change:
    // ASCII in the trail range and outside it, the exchanged controls, lead bytes of assigned
    // and unassigned rows, single bytes with and without a character.
    QList<QByteArray> cases;
    for (int a = 0; a < 256; ++a) {
        cases << QByteArray(1, char(a));
        for (int b = 0; b < 256; ++b)
            cases << QByteArray(1, char(a)) + char(b);
    }
    const QByteArray edges("\x0A\x1A\x1C\x3F\x40\x5C\x7E\x7F\x80\x81\x85\x9F\xA0\xA1\xDF\xE0\xEE\xEF\xF0\xFA\xFC\xFD\xFF",
                           23);
    for (char a : edges)
        for (char b : edges)
            for (char c : edges) {
                const char three[] = {a, b, c};
                cases << QByteArray(three, 3);
                for (char d : QByteArrayView("\x20\x81\x40\xFD"))
                    cases << QByteArray(three, 3) + d;
            }
    for (const QByteArray& bytes : std::as_const(cases)) {
        bool clean = false;
        bool icuClean = false;
        const QString text = cp932::decode(bytes, &clean);
        const QString icu = icuDecode(bytes, &icuClean);
        if (text != icu || clean != icuClean)
            QFAIL(qPrintable(bytes.toHex(' ') + ": " + text.toUtf8().toHex(' ') + " instead of " + icu.toUtf8().toHex(' ')));
    }
}

QTEST_GUILESS_MAIN(TestCp932Icu)
#include "tst_cp932icu.moc"
