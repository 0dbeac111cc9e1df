// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing against real servers started here on 127.0.0.1: pyftpdlib for FTP and FTPS,
// OpenSSH's sshd for SFTP. A server that cannot be started fails the test.
#include "publish/publisher.h"
#include "testenv.h"
#include "ui/publishdialog.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace qadora;
using namespace qadora::test;

namespace {

const QString kPassword = QStringLiteral("s3cret パス");

QString freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QString::number(probe.serverPort());
}

struct Server {
    QProcess process;
    QString root;   // where the published folder appears on this machine
    QString url;    // what to publish to
    QString home;   // HOME for the client (its SSH key and known hosts)
    QString caFile; // FTPS: the server's certificate
    QString fingerprint;

    ~Server()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

class TestPublish : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mirrorsAndThenSendsOnlyChanges_data();
    void mirrorsAndThenSendsOnlyChanges();
    void prunedPageGoes_handPlacedFileStays();
    void wrongPassword_isRefused();
    void unknownHostKey_isRefusedUntilAccepted();
    void fullDisk_namesTheFileAndTheAnswer();
    void interruptedPublish_isFinishedByTheNext();
    void dryRun_listsAndChangesNothing();
    void dialog_publishesWhatIsTyped();
    void dialog_asksAboutAnUnknownHostKey();

private:
    std::unique_ptr<Server> startFtp(bool tls, int fullAfter = -1);
    std::unique_ptr<Server> startSftp();
    QProcess* publish(const Server& server, const QStringList& extra = {}, const QString& password = kPassword);
    void build(const QStringList& extra = {});
    void changeRecord(int index, const QString& column, const QString& value);

    QTemporaryDir* m_dir = nullptr;
    QString m_db;
    QString m_site;
    std::unique_ptr<QProcess> m_run;
};

void TestPublish::initTestCase()
{
    isolateSettings();
}

void TestPublish::init()
{
    m_dir = new QTemporaryDir;
    m_site = m_dir->filePath("site");
    QDir().mkpath(m_site);
    QList<Record> records;
    for (int i = 0; i < 30; ++i)
        records.append({0, QStringLiteral("sub%1,種類%1").arg(i % 3), QStringLiteral("質問%1").arg(i), QStringLiteral("答え%1").arg(i)});
    m_db = makeDatabase(m_dir->filePath("qa.mdb"), records);
    build();
}

void TestPublish::cleanup()
{
    m_run.reset();
    delete m_dir;
}

void TestPublish::build(const QStringList& extra)
{
    QProcess p;
    p.start(QStringLiteral(QADORA_BUILD_EXE), QStringList{"--quiet"} + extra + QStringList{m_db, m_site});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

void TestPublish::changeRecord(int index, const QString& column, const QString& value)
{
    QCOMPARE(runSqlite(m_db, QStringLiteral("UPDATE tbl1 SET %1 = '%2' WHERE No = %3;").arg(column, value).arg(index)),
             QByteArray());
}

std::unique_ptr<Server> TestPublish::startFtp(bool tls, int fullAfter)
{
    auto server = std::make_unique<Server>();
    server->root = m_dir->filePath(tls ? "ftps-root" : "ftp-root");
    QDir().mkpath(server->root);
    QStringList args{QStringLiteral(QADORA_SOURCE_DIR "/tests/publish/ftpserver.py"), "--root", server->root, "--user",
                     "web", "--password", kPassword, "--full-after", QString::number(fullAfter)};
    if (tls) {
        // A throw-away certificate for 127.0.0.1, which the client is told to trust.
        server->caFile = m_dir->filePath("server.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", server->caFile, "-out", server->caFile});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            qFatal("cannot make a certificate: %s", openssl.readAllStandardError().constData());
        args << "--cert" << server->caFile;
    }
    // The server's log goes to a file: a pipe nobody reads while a test waits would stop it.
    server->process.setStandardErrorFile(m_dir->filePath(tls ? "ftps.log" : "ftp.log"));
    server->process.start("/usr/bin/python3", args);
    if (!server->process.waitForReadyRead(20000))
        qFatal("cannot start the FTP server: %s", readBytes(m_dir->filePath(tls ? "ftps.log" : "ftp.log")).constData());
    const QString port = QString::fromLatin1(server->process.readLine()).trimmed();
    server->url = QStringLiteral("%1://web@127.0.0.1:%2/www/qa").arg(tls ? "ftps" : "ftp", port);
    server->root += "/www/qa";
    return server;
}

std::unique_ptr<Server> TestPublish::startSftp()
{
    auto server = std::make_unique<Server>();
    const QString dir = m_dir->filePath("sshd");
    server->home = m_dir->filePath("home");
    QDir().mkpath(dir);
    QDir().mkpath(server->home + "/.ssh");
    QDir().mkpath("/run/sshd"); // sshd's own empty directory
    auto keygen = [](const QString& file) {
        QProcess p;
        p.start("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", file});
        return p.waitForFinished() && p.exitCode() == 0;
    };
    if (!keygen(dir + "/hostkey") || !keygen(server->home + "/.ssh/id_ed25519"))
        qFatal("cannot make SSH keys");
    QFile::copy(server->home + "/.ssh/id_ed25519.pub", dir + "/authorized_keys");
    QProcess fingerprint;
    fingerprint.start("ssh-keygen", {"-lf", dir + "/hostkey.pub"});
    fingerprint.waitForFinished();
    server->fingerprint = QString::fromLatin1(fingerprint.readAllStandardOutput()).section(' ', 1, 1);
    const QString port = freePort();
    QFile config(dir + "/sshd_config");
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/hostkey\nPidFile %2/sshd.pid\n"
                                "AuthorizedKeysFile %2/authorized_keys\nPermitRootLogin prohibit-password\n"
                                "PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                                "Subsystem sftp internal-sftp\n")
                     .arg(port, dir)
                     .toUtf8());
    config.close();
    server->process.setStandardErrorFile(dir + "/sshd.log");
    server->process.start("/usr/sbin/sshd", {"-D", "-e", "-f", dir + "/sshd_config"});
    if (!server->process.waitForStarted())
        qFatal("cannot start sshd");
    QTcpSocket probe;
    for (int i = 0; i < 100; ++i) {
        probe.connectToHost("127.0.0.1", port.toUShort());
        if (probe.waitForConnected(100))
            break;
        QTest::qWait(100);
    }
    if (probe.state() != QAbstractSocket::ConnectedState)
        qFatal("sshd does not listen: %s", readBytes(dir + "/sshd.log").constData());
    probe.disconnectFromHost();
    server->root = m_dir->filePath("sftp-root/www/qa");
    server->url = QStringLiteral("sftp://root@127.0.0.1:%1%2").arg(port, server->root);
    return server;
}

QProcess* TestPublish::publish(const Server& server, const QStringList& extra, const QString& password)
{
    m_run = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QADORA_PUBLISH_PASSWORD", password);
    if (!server.home.isEmpty()) {
        env.insert("HOME", server.home);
        env.remove("SSH_AUTH_SOCK");
    }
    m_run->setProcessEnvironment(env);
    QStringList args = extra;
    if (!server.caFile.isEmpty())
        args << "--ca-file" << server.caFile;
    m_run->start(QStringLiteral(QADORA_PUBLISH_EXE), args + QStringList{m_site, server.url});
    return m_run.get();
}

static QString lastLine(QProcess* p)
{
    const QStringList lines = QString::fromUtf8(p->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

void TestPublish::mirrorsAndThenSendsOnlyChanges_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("FTP") << "ftp";
    QTest::newRow("FTPS") << "ftps";
    QTest::newRow("SFTP") << "sftp";
}

void TestPublish::mirrorsAndThenSendsOnlyChanges()
{
    QFETCH(QString, scheme);
    auto server = scheme == "sftp" ? startSftp() : startFtp(scheme == "ftps");
    const QStringList accept = scheme == "sftp" ? QStringList{"--accept-host-key", server->fingerprint} : QStringList{};
    const int pages = int(filesBelow(m_site).size());

    QProcess* first = publish(*server, accept);
    QVERIFY(first->waitForFinished(120000));
    QCOMPARE(first->exitCode(), 0);
    QCOMPARE(lastLine(first), QStringLiteral("uploaded %1, removed 0, unchanged 0").arg(pages));
    QMap<QString, QByteArray> remote = filesBelow(server->root);
    QVERIFY(remote.remove(kPublishStateName));
    QCOMPARE(remote, filesBelow(m_site));

    // An answer changed: its page only; a question changed: its page and its kind's.
    changeRecord(5, "anser", "新しい答え");
    build();
    QProcess* second = publish(*server);
    QVERIFY(second->waitForFinished(120000));
    QCOMPARE(lastLine(second), QStringLiteral("uploaded 1, removed 0, unchanged %1").arg(pages - 1));
    changeRecord(5, "quest", "新しい質問");
    build();
    QProcess* third = publish(*server);
    QVERIFY(third->waitForFinished(120000));
    QCOMPARE(lastLine(third), QStringLiteral("uploaded 2, removed 0, unchanged %1").arg(pages - 2));
    remote = filesBelow(server->root);
    remote.remove(kPublishStateName);
    QCOMPARE(remote, filesBelow(m_site));
}

void TestPublish::prunedPageGoes_handPlacedFileStays()
{
    auto server = startSftp();
    QVERIFY(publish(*server, {"--accept-host-key", server->fingerprint})->waitForFinished(120000));
    QCOMPARE(m_run->exitCode(), 0);
    QFile(server->root + "/style.css").open(QIODevice::WriteOnly); // put there by hand
    QFile(m_site + "/qa099.html").open(QIODevice::WriteOnly);       // the user's own, beside the pages
    QCOMPARE(runSqlite(m_db, "DELETE FROM tbl1 WHERE No = 7;"), QByteArray());
    build({"--prune"});
    QVERIFY(!QFile::exists(m_site + "/qa007.html"));
    QVERIFY(QFile::exists(m_site + "/qa099.html")); // no run of ours wrote it
    QProcess* again = publish(*server);
    QVERIFY(again->waitForFinished(120000));
    QCOMPARE(again->exitCode(), 0);
    QVERIFY(lastLine(again).startsWith("uploaded 2, removed 1, "));
    QVERIFY(!QFile::exists(server->root + "/qa007.html"));
    QVERIFY(QFile::exists(server->root + "/style.css"));
}

void TestPublish::wrongPassword_isRefused()
{
    auto server = startFtp(false);
    QProcess* p = publish(*server, {}, "wrong");
    QVERIFY(p->waitForFinished(60000));
    QCOMPARE(p->exitCode(), 1);
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(err.startsWith("サーバーにログインできませんでした（ユーザー名かパスワードが違います）\n530 "), qPrintable(err));
    QVERIFY(!QDir(server->root).exists());
}

void TestPublish::unknownHostKey_isRefusedUntilAccepted()
{
    auto server = startSftp();
    QProcess* refused = publish(*server);
    QVERIFY(refused->waitForFinished(60000));
    QCOMPARE(refused->exitCode(), 1);
    const QString err = QString::fromUtf8(refused->readAllStandardError());
    QVERIFY2(err.contains(server->fingerprint), qPrintable(err));
    QVERIFY(err.contains("--accept-host-key " + server->fingerprint));
    QVERIFY(!QDir(server->root).exists());
    QVERIFY(publish(*server, {"--accept-host-key", server->fingerprint})->waitForFinished(60000));
    QCOMPARE(m_run->exitCode(), 0);
    // Remembered: the next publish needs no acceptance.
    QVERIFY(publish(*server)->waitForFinished(60000));
    QCOMPARE(m_run->exitCode(), 0);
}

void TestPublish::fullDisk_namesTheFileAndTheAnswer()
{
    auto server = startFtp(false, 3);
    QProcess* p = publish(*server);
    QVERIFY(p->waitForFinished(60000));
    QCOMPARE(p->exitCode(), 1);
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(QRegularExpression("^「[^」]+」を送れませんでした\\n552 Requested file action aborted: exceeded storage allocation")
                 .match(err)
                 .hasMatch(),
             qPrintable(err));
    QCOMPARE(lastLine(p), QStringLiteral("uploaded 3, removed 0, unchanged 0"));
}

// Killed half-way, then run again: the mirror is complete and nothing of ours is left over.
void TestPublish::interruptedPublish_isFinishedByTheNext()
{
    QList<Record> many;
    for (int i = 0; i < 2000; ++i)
        many.append({0, QStringLiteral("big%1,多い").arg(i % 10), QStringLiteral("追加%1").arg(i), QString(500, 'a')});
    appendRecords(m_db, many);
    build();
    auto server = startFtp(false);
    QProcess* killed = publish(*server);
    QTRY_VERIFY_WITH_TIMEOUT(QDir(server->root).entryList(QDir::Files).size() > 100, 60000);
    ::kill(pid_t(killed->processId()), SIGKILL);
    killed->waitForFinished();
    QProcess* again = publish(*server);
    QVERIFY(again->waitForFinished(180000));
    QCOMPARE(again->exitCode(), 0);
    QMap<QString, QByteArray> remote = filesBelow(server->root);
    remote.remove(kPublishStateName);
    QCOMPARE(remote.keys(), filesBelow(m_site).keys());
    QCOMPARE(remote, filesBelow(m_site));
}

void TestPublish::dryRun_listsAndChangesNothing()
{
    auto server = startFtp(false);
    QVERIFY(publish(*server)->waitForFinished(60000));
    const QMap<QString, QByteArray> before = filesBelow(server->root);
    changeRecord(3, "anser", "別の答え");
    build();
    QProcess* p = publish(*server, {"--dry-run"});
    QVERIFY(p->waitForFinished(60000));
    QCOMPARE(p->exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("upload qa003.html"));
    QVERIFY(lines.value(1).startsWith("uploaded 1, removed 0, unchanged "));
    QCOMPARE(filesBelow(server->root), before);
}

void TestPublish::dialog_publishesWhatIsTyped()
{
    auto server = startFtp(false);
    FakeInteraction fake;
    PublishDialog dialog(m_site, &fake);
    showActive(&dialog);
    const QUrl url(server->url);
    typeText(dialog.address, QStringLiteral("ftp://127.0.0.1:%1/www/qa").arg(url.port()));
    typeText(dialog.user, "web");
    typeText(dialog.password, "s3cret ");
    typeText(dialog.password, "パス"); // typed through the input method
    QSignalSpy done(&dialog, &PublishDialog::publishFinished);
    QTest::mouseClick(dialog.publishButton, Qt::LeftButton);
    QVERIFY(done.wait(60000));
    QCOMPARE(dialog.result->text().split('\n').last(),
             QStringLiteral("uploaded %1, removed 0, unchanged 0").arg(filesBelow(m_site).size()));
    QCOMPARE(fake.messages(), QStringList{});
    // The address and the user are kept for next time; the password is not in the settings.
    PublishDialog again(m_site, &fake);
    QCOMPARE(again.address->text(), QStringLiteral("ftp://127.0.0.1:%1/www/qa").arg(url.port()));
    QCOMPARE(again.user->text(), QStringLiteral("web"));
    QVERIFY(!readBytes(QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora")).fileName()).contains("s3cret"));
}

void TestPublish::dialog_asksAboutAnUnknownHostKey()
{
    auto server = startSftp();
    qputenv("HOME", server->home.toUtf8());
    FakeInteraction fake;
    PublishDialog dialog(m_site, &fake);
    dialog.address->setText(QString(server->url).replace("root@", ""));
    dialog.user->setText("root");
    fake.answerNext(true);
    QSignalSpy done(&dialog, &PublishDialog::publishFinished);
    dialog.start();
    QVERIFY(done.wait(60000));
    QCOMPARE(fake.questions().size(), 1);
    QVERIFY(fake.questions()[0].startsWith("ホスト鍵の確認\t127.0.0.1 のホスト鍵は登録されていません。"));
    QVERIFY(fake.questions()[0].contains(server->fingerprint));
    QVERIFY(fake.questions()[0].endsWith("\t(default No)"));
    QVERIFY(dialog.result->text().endsWith(QStringLiteral("uploaded %1, removed 0, unchanged 0").arg(filesBelow(m_site).size())));
}

QTEST_MAIN(TestPublish)
#include "tst_publish.moc"
