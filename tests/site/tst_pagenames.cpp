// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/pagenames.h"

#include <QTest>

using namespace qadora;

class TestPageNames : public QObject {
    Q_OBJECT

private slots:
    void windowsNameProblem_data();
    void windowsNameProblem();
    void clash_data();
    void clash();
};

void TestPageNames::windowsNameProblem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refused"); // a word the message holds, or empty when accepted
    QTest::newRow("plain") << "index.html" << "";
    QTest::newRow("Japanese") << "営業部.html" << "";
    QTest::newRow("full-width colon") << "Ａ：Ｂ.html" << "";
    QTest::newRow("CON") << "CON.html" << "装置";
    QTest::newRow("con, lower case") << "con.html" << "装置";
    QTest::newRow("NUL and a space") << "NUL .html" << "装置";
    QTest::newRow("AUX alone") << "AUX" << "装置";
    QTest::newRow("two extensions") << "lpt9.tar.html" << "装置";
    QTest::newRow("COM superscript") << "COM\u00B9.html" << "装置";
    QTest::newRow("COM0") << "COM0.html" << "";
    QTest::newRow("CONSOLE") << "CONSOLE.html" << "";
    QTest::newRow("CON inside") << "xCON.html" << "";
    QTest::newRow("colon") << "a:b.html" << "<>:";
    QTest::newRow("question mark") << "what?.html" << "<>:";
    QTest::newRow("quote") << "say\"hi\".html" << "<>:";
    QTest::newRow("angle") << "<b>.html" << "<>:";
    QTest::newRow("pipe") << "a|b.html" << "<>:";
    QTest::newRow("star") << "*.html" << "<>:";
    QTest::newRow("dot at the end") << "page.html." << "最後";
    QTest::newRow("space at the end") << "page.html " << "最後";
}

void TestPageNames::windowsNameProblem()
{
    QFETCH(QString, name);
    QFETCH(QString, refused);
    const QString problem = qadora::windowsNameProblem(name);
    if (refused.isEmpty()) {
        QCOMPARE(problem, QString());
        return;
    }
    QVERIFY2(problem.section(QLatin1Char('\r'), 0, 0).contains(refused), qPrintable(problem));
    QCOMPARE(problem.section(QLatin1Char('\r'), 1), name); // the name shown, as written
}

void TestPageNames::clash_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("refusedAt"); // -1: all accepted
    QTest::newRow("different names") << QStringList{"index.html", "qa001.html", "営業.html"} << -1;
    QTest::newRow("the same name twice") << QStringList{"a.html", "a.html"} << -1;
    QTest::newRow("index and Index") << QStringList{"index.html", "qa001.html", "Index.html"} << 2;
    QTest::newRow("two kinds") << QStringList{"Sales.html", "SALES.HTML"} << 1;
    QTest::newRow("full-width letters") << QStringList{"ＡＢ.html", "ａｂ.html"} << 1;
    QTest::newRow("kana is no case") << QStringList{"カ.html", "ｶ.html"} << -1;
}

void TestPageNames::clash()
{
    QFETCH(QStringList, names);
    QFETCH(int, refusedAt);
    PageNameClash clash;
    for (int i = 0; i < names.size(); ++i) {
        const QString problem = clash.add(names[i]);
        QCOMPARE(!problem.isEmpty(), i == refusedAt);
        if (i == refusedAt)
            QVERIFY2(problem.contains(names[0]) || problem.contains(names[i - 1]), qPrintable(problem));
    }
}

QTEST_GUILESS_MAIN(TestPageNames)
#include "tst_pagenames.moc"
