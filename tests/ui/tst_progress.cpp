// SPDX-License-Identifier: GPL-3.0-or-later
// Progress boxes never stand over a message: whatever the work and however it ends, the
// message is alone on top and Enter closes it.
#include "testenv.h"
#include "ui/csvdialogs.h"
#include "ui/interaction.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace qadora;
using namespace qadora::test;

class TestProgress : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void messageAloneOnTop_takesEnter_data();
    void messageAloneOnTop_takesEnter();
};

void TestProgress::messageAloneOnTop_takesEnter_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<QStringList>("messages");
    const QString done = QStringLiteral("ｈｔｍｌ作成しました");
    QTest::newRow("ＨＰ作成") << "build" << QStringList{done};
    QTest::newRow("作成して公開, nothing listed yet")
        << "publish unlisted" << QStringList{QStringLiteral("「データ表示」ボタンを押してデータを表示させて下さい")};
    QTest::newRow("作成して公開, no server") << "publish" << QStringList{};
    QTest::newRow("書き出し") << "export" << QStringList{QStringLiteral("300 件のデータを書き出しました")};
    QTest::newRow("取り込み") << "import" << QStringList{QStringLiteral("1 件のデータを取り込みました")};
}

void TestProgress::messageAloneOnTop_takesEnter()
{
    QFETCH(QString, work);
    QFETCH(QStringList, messages);
    clearSettings();
    QTemporaryDir dir;
    const QString out = dir.filePath("site");
    QDir().mkpath(out);
    QList<Record> records;
    for (int i = 0; i < 300; ++i)
        records.append({0, "k,t", QString::number(i), "a"});
    const QString db = makeDatabase(dir.filePath("qa.mdb"), records);
    auto win = openWindow(db, out);
    main1* w = win->w.get();
    QtInteraction shown(w);
    win->fake.showProgressWith(&shown);
    win->fake.showMessagesWith(&shown);
    showActive(w);

    // The work takes long enough for its box to come up, on its first step.
    bool progressShown = false;
    win->fake.onProgress = [&](int) {
        if (!progressShown)
            QTest::qWait(700);
        for (auto* p : w->findChildren<QProgressDialog*>())
            progressShown = progressShown || p->isVisible();
    };
    QStringList onTop;
    // Each work below ends in one message; once it is up, what is on top, and Enter.
    auto expectMessage = [&]() {
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
            QWidget* box = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() == QLatin1String("messageBox") && top->isVisible())
                    box = top;
            }
            if (!box)
                return;
            poll->stop();
            poll->deleteLater();
            QTest::qWait(700); // long enough for any box waiting to show itself
            QString seen = QApplication::activeModalWidget() == box ? box->objectName() : QStringLiteral("covered");
            for (auto* p : w->findChildren<QProgressDialog*>()) {
                if (p->isVisible())
                    seen += QStringLiteral(" under progress");
            }
            onTop << seen;
            const QPointer<QWidget> message = box;
            pressOnDialog(QApplication::activeModalWidget(), Qt::Key_Return);
            if (message && message->isVisible()) {
                onTop << QStringLiteral("Enter did not close it");
                message->close();
            }
        });
        poll->start(10);
    };
    if (work == "build") {
        QTest::mouseClick(w->Command13, Qt::LeftButton);
        expectMessage();
        QTest::mouseClick(w->Command14, Qt::LeftButton);
    } else if (work.startsWith("publish")) {
        QTcpServer closed; // a port where nobody answers
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        QSettings s = qadora::openSettings();
        s.setValue("publish/address", QStringLiteral("ftp://127.0.0.1:%1/qa").arg(port));
        s.setValue("publish/user", "web");
        s.setValue("publish/folder", out);
        s.sync();
        if (work == "publish") {
            QTest::mouseClick(w->Command13, Qt::LeftButton);
            win->fake.passwordNext(QStringLiteral("pw")); // asked once the pages are made
        }
        expectMessage();
        w->buildPublish->trigger();
    } else if (work == "export") {
        win->fake.fileNameNext(dir.filePath("faq.csv"));
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            expectMessage();
            pressKey(d, Qt::Key_Return);
        });
        w->exportCsv->trigger();
    } else {
        const QString file = dir.filePath("more.csv");
        QVERIFY(writeBytes(file, "No,kind,quest,anser\r\n,\"k,t\",new,b\r\n"));
        win->fake.fileNameNext(file);
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<ImportDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            expectMessage();
            QTest::mouseClick(d->importButton, Qt::LeftButton);
        });
        w->importCsv->trigger();
    }
    QCOMPARE(win->fake.messages().size(), 1);
    if (!messages.isEmpty())
        QCOMPARE(win->fake.messages().first().section('\r', 0, 0), messages.first());
    QCOMPARE(onTop, QStringList{"messageBox"});
    if (work == "build" || work == "publish")
        QVERIFY(progressShown); // else the case would prove nothing
    for (auto* p : w->findChildren<QProgressDialog*>())
        QVERIFY(!p->isVisible());
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
