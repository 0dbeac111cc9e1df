// SPDX-License-Identifier: GPL-3.0-or-later
// 作成して公開 and the publish dialog log in with the password the user gave: asked for when
// none is stored, kept for the session, never blamed when none was sent; 記憶する only where
// a keyring can take it. Against pyftpdlib on 127.0.0.1, whose log shows what password arrived,
// on a desktop session bus with no Secret Service on it.
#include "ftptestserver.h"
#include "publish/publisher.h"
#include "testenv.h"
#include "ui/interaction.h"
#include "ui/publishdialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace qadora;
using namespace qadora::test;

namespace {

const QString kPassword = QStringLiteral("s3cret pw!");

QString published(int n)
{
    return QStringLiteral("送信 %1、削除 0、変更なし 0").arg(n);
}

} // namespace

class TestPublishLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void buildAndPublish_asksOnceAndSendsWhatWasTyped_data();
    void buildAndPublish_asksOnceAndSendsWhatWasTyped();
    void buildAndPublish_escapeOrAWrongPassword_asksAgain_data();
    void buildAndPublish_escapeOrAWrongPassword_asksAgain();
    void noPasswordSent_isNotBlamed();
    void remember_withoutKeyring_saysSoAndStaysUnticked();

private:
    void rememberAddress(bool rememberPassword);
    void prepareWindow();

    QTemporaryDir* m_dir = nullptr;
    QString m_db;
    QString m_site;
    std::unique_ptr<FtpTestServer> m_server;
    std::unique_ptr<Window> m_win;
    QProcess m_bus;
};

void TestPublishLogin::initTestCase()
{
    isolateSettings();
    // The FTP server is pyftpdlib, a Linux program.
    QADORA_NEEDS_PROGRAM("/usr/bin/python3");
    QADORA_LINUX_ONLY("a session bus with no keyring on it");
    // A desktop session bus of the test's own, with no keyring on it.
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    QVERIFY2(m_bus.waitForReadyRead(10000), m_bus.readAllStandardError().constData());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
}

void TestPublishLogin::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestPublishLogin::init()
{
    clearSettings();
    m_dir = new QTemporaryDir;
    m_site = m_dir->filePath("site");
    QDir().mkpath(m_site);
    QList<Record> records;
    for (int i = 0; i < 6; ++i)
        records.append({0, QStringLiteral("sub%1,種類%1").arg(i % 2), QStringLiteral("質問%1").arg(i), QStringLiteral("答え%1").arg(i)});
    m_db = makeDatabase(m_dir->filePath("qa.mdb"), records);
    m_server = startFtpTestServer(m_dir->filePath("ftp-root"), kPassword);
}

void TestPublishLogin::cleanup()
{
    m_win.reset();
    m_server.reset();
    delete m_dir;
}

void TestPublishLogin::rememberAddress(bool rememberPassword)
{
    QSettings s = qadora::openSettings();
    s.setValue("publish/address", QStringLiteral("ftp://127.0.0.1:%1/www").arg(m_server->port));
    s.setValue("publish/user", "web");
    s.setValue("publish/folder", m_site);
    s.setValue("publish/remember", rememberPassword);
}

void TestPublishLogin::prepareWindow()
{
    m_win = openWindow(m_db, m_site);
    QTest::mouseClick(m_win->w->Command13, Qt::LeftButton); // データ表示
    m_win->fake.clear();
}

void TestPublishLogin::buildAndPublish_asksOnceAndSendsWhatWasTyped_data()
{
    QTest::addColumn<bool>("remember");
    QTest::newRow("記憶する unticked") << false;
    QTest::newRow("記憶する ticked, no keyring") << true;
}

void TestPublishLogin::buildAndPublish_asksOnceAndSendsWhatWasTyped()
{
    QFETCH(bool, remember);
    rememberAddress(remember);
    prepareWindow();
    QtInteraction shown(m_win->w.get());
    m_win->fake.showQuestionsWith(&shown);
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    const auto prompt = onNextModal([&](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>("passwordText");
        QVERIFY(edit);
        echo = edit->echoMode();
        typeText(edit, kPassword);
        pressOnDialog(modal, Qt::Key_Return);
    });
    m_win->w->buildPublish->trigger();
    QCOMPARE(m_win->fake.passwordPrompts(), QStringList{"パスワードの入力\tweb@127.0.0.1 のパスワード："});
    QCOMPARE(echo, QLineEdit::Password);
    const int pages = int(filesBelow(m_site).size());
    QCOMPARE(m_win->fake.messages(), QStringList{published(pages)});
    QStringList received = m_server->passwordsReceived();
    received.removeDuplicates();
    QCOMPARE(received, QStringList{kPassword});

    // The rest of the session: not asked again, in this window or a new one.
    m_win->fake.showQuestionsWith(nullptr);
    QCOMPARE(runSqlite(m_db, "UPDATE tbl1 SET anser = 'changed' WHERE No = 2;"), QByteArray());
    m_win->fake.clear();
    m_win->w->buildPublish->trigger();
    QCOMPARE(m_win->fake.passwordPrompts(), QStringList{});
    QCOMPARE(m_win->fake.messages(), QStringList{QStringLiteral("送信 1、削除 0、変更なし %1").arg(pages - 1)});
    prepareWindow();
    m_win->w->buildPublish->trigger();
    QCOMPARE(m_win->fake.passwordPrompts(), QStringList{});
    received = m_server->passwordsReceived();
    received.removeDuplicates();
    QCOMPARE(received, QStringList{kPassword});
    // Nowhere on disk.
    QVERIFY(!readBytes(qadora::openSettings().fileName()).contains("s3cret"));
}

void TestPublishLogin::buildAndPublish_escapeOrAWrongPassword_asksAgain_data()
{
    QTest::addColumn<QString>("typed"); // empty: Escape
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("Escape") << QString() << QStringList{}; // nothing sent, nothing said
    QTest::newRow("a wrong password") << "wrong"
                                      << QStringList{"ログインできません\nサーバーにログインできませんでした"
                                                     "（ユーザー名かパスワードが違います）"};
}

void TestPublishLogin::buildAndPublish_escapeOrAWrongPassword_asksAgain()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, messages);
    rememberAddress(false);
    prepareWindow();
    QtInteraction shown(m_win->w.get());
    m_win->fake.showQuestionsWith(&shown);
    const auto prompt = onNextModal([&](QWidget* modal) {
        if (!typed.isEmpty())
            typeText(modal->findChild<QLineEdit*>("passwordText"), typed);
        pressOnDialog(modal, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
    m_win->w->buildPublish->trigger();
    QCOMPARE(m_win->fake.passwordPrompts().size(), 1);
    QStringList said = m_win->fake.messages();
    for (QString& m : said)
        m = m.section('\n', 0, 1); // without the server's answer and the counts
    QCOMPARE(said, messages);
    QStringList received = m_server->passwordsReceived();
    received.removeDuplicates();
    QCOMPARE(received, typed.isEmpty() ? QStringList{} : QStringList{typed});

    // Asked again, and the right one goes through.
    m_win->fake.showQuestionsWith(nullptr);
    m_win->fake.clear();
    m_win->fake.passwordNext(kPassword);
    m_win->w->buildPublish->trigger();
    QCOMPARE(m_win->fake.passwordPrompts().size(), 1);
    QCOMPARE(m_win->fake.messages(), QStringList{published(int(filesBelow(m_site).size()))});
    QCOMPARE(m_server->passwordsReceived().last(), kPassword);
}

// A login refused when no password was sent says that none was given, not that it was wrong.
void TestPublishLogin::noPasswordSent_isNotBlamed()
{
    QVERIFY(writeBytes(m_site + "/index.html", "<html></html>"));
    PublishOptions options;
    options.outDir = m_site;
    options.url = QUrl(QStringLiteral("ftp://web@127.0.0.1:%1/www").arg(m_server->port));
    const PublishResult result = publishSite(options);
    QCOMPARE(result.headline(), QStringLiteral("ログインできません"));
    QVERIFY2(result.message.startsWith("サーバーにログインできませんでした（パスワードが入力されていません）"),
             qPrintable(result.message));
    for (const QString& received : m_server->passwordsReceived())
        QCOMPARE(received, QString());
}

void TestPublishLogin::remember_withoutKeyring_saysSoAndStaysUnticked()
{
    FakeInteraction fake;
    PublishDialog dialog(m_site, &fake);
    showActive(&dialog);
    dialog.remember->setFocus();
    pressKey(dialog.remember, Qt::Key_Space);
    QCOMPARE(fake.messages(), QStringList{"このデスクトップにはパスワードを記憶するキーリングがありません。"
                                          "パスワードは記憶せず、このプログラムを終了するまでの間だけ覚えておきます。"});
    QVERIFY(!dialog.remember->isChecked());
}

QTEST_MAIN(TestPublishLogin)
#include "tst_publishlogin.moc"
