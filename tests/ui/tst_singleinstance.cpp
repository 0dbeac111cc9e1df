// SPDX-License-Identifier: GPL-3.0-or-later
// One window per database, beside a stranger: another account (nobody, through setpriv)
// squats the socket's old name, the user's own folder or the user's socket itself; the window
// must open all the same, and answer for its database where it safely can.
#include "testenv.h"
#include "ui/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace qadora;
using namespace qadora::test;

#ifndef Q_OS_WIN
namespace {

constexpr uid_t kStranger = 65534;

// Listens on a Unix socket and answers every request with `answer` (nothing when empty),
// keeping each connection open.
const char* kListener = R"(
import os, socket, sys
path, answer = sys.argv[1], sys.argv[2].encode().decode("unicode_escape").encode()
s = socket.socket(socket.AF_UNIX)
s.bind(path)
os.chmod(path, 0o777)
s.listen(8)
print("ready", flush=True)
kept = []
while True:
    c, _ = s.accept()
    kept.append(c)
    try:
        c.recv(100)
        if answer:
            c.sendall(answer)
    except OSError:
        pass
)";

struct Listener {
    QProcess process;
    ~Listener()
    {
        process.kill();
        process.waitForFinished();
    }
};

std::unique_ptr<Listener> listen(const QString& path, const QString& answer, bool stranger)
{
    auto l = std::make_unique<Listener>();
    QStringList args{"-c", kListener, path, answer};
    if (stranger)
        l->process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3"} + args);
    else
        l->process.start("/usr/bin/python3", args);
    if (!l->process.waitForReadyRead(10000))
        qFatal("the listener did not start: %s", l->process.readAllStandardError().constData());
    return l;
}

QString asStranger(const QString& dir, mode_t mode)
{
    QDir().mkpath(dir);
    if (::chown(QFile::encodeName(dir).constData(), kStranger, kStranger) != 0
        || ::chmod(QFile::encodeName(dir).constData(), mode) != 0)
        qFatal("cannot give %s away", qPrintable(dir));
    return dir;
}

// The name the socket had in the shared temporary folder.
QString oldName(const QString& database)
{
    const QByteArray key = QByteArray::number(::getuid()) + '\0' + QFileInfo(database).canonicalFilePath().toUtf8();
    return QDir::tempPath() + "/qadora-" + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

} // namespace
#endif

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void strangersSocket_windowOpensAnyway_data();
    void strangersSocket_windowOpensAnyway();
    void twoWindowsOfTheUser_secondComesForward();
};

void TestSingleInstance::initTestCase()
{
    isolateSettings();
#ifndef Q_OS_WIN
    if (::getuid() != 0)
        QSKIP("a stranger's account needs root to start (setpriv)");
#endif
}

void TestSingleInstance::strangersSocket_windowOpensAnyway_data()
{
    QTest::addColumn<QString>("squat");
    QTest::addColumn<bool>("served"); // the window answers for its database afterwards
    QTest::newRow("a stranger's socket at the old name in /tmp") << "old name" << true;
    QTest::newRow("a stranger's folder where the user's own goes") << "own folder" << false;
    QTest::newRow("XDG_RUNTIME_DIR not the user's") << "runtime dir" << true;
    QTest::newRow("a stranger's listener in the user's folder (SO_PEERCRED)") << "peer" << true;
    QTest::newRow("the user's own socket that never answers") << "silent" << true;
}

void TestSingleInstance::strangersSocket_windowOpensAnyway()
{
    QADORA_LINUX_ONLY("another account (setpriv) at Unix sockets; Windows pipes are the user's by their access list, "
                      "named after the user's security identifier");
#ifndef Q_OS_WIN
    QFETCH(QString, squat);
    QFETCH(bool, served);
    QTemporaryDir dir;
    // A shared temporary folder of the test's own, writable by all as /tmp is.
    const QString tmp = dir.filePath("tmp");
    QDir().mkpath(tmp);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(tmp).constData(), 01777) == 0);
    const QString runtime = dir.filePath("runtime");
    QDir().mkpath(runtime);
    QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
    const QString db = makeDatabase(dir.filePath("qa.mdb"), {{0, "k,1", "q", "a"}});
    qputenv("TMPDIR", QFile::encodeName(tmp));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    struct Restore {
        ~Restore()
        {
            qunsetenv("TMPDIR");
            qunsetenv("XDG_RUNTIME_DIR");
        }
    } restore;

    std::unique_ptr<Listener> squatter;
    const QString name = SingleInstance::serverName(db); // where the user's socket goes
    QVERIFY(name.startsWith(runtime + "/"));
    const QByteArray raised = "raised\\n";
    if (squat == "old name") {
        squatter = listen(oldName(db), raised, true);
    } else if (squat == "own folder") {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString own = asStranger(tmp + "/qadora-0", 0777);
        squatter = listen(own + "/" + QFileInfo(name).fileName(), raised, true);
    } else if (squat == "runtime dir") {
        const QString theirs = asStranger(runtime + "-theirs", 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(theirs));
        squatter = listen(theirs + "/" + QFileInfo(name).fileName(), raised, true);
    } else if (squat == "peer") {
        // Made where the stranger may, then moved where only the user may: it stays theirs.
        const QString theirs = asStranger(tmp + "/theirs", 0755);
        squatter = listen(theirs + "/s", raised, true);
        QVERIFY(QFile::rename(theirs + "/s", name));
    } else {
        squatter = listen(name, "", false);
    }
    const QByteArray envRuntime = qgetenv("XDG_RUNTIME_DIR");

    // The window on the computer does not take the stranger for itself...
    QVERIFY(!SingleInstance::activateOther(db));
    // ...nor does a new start: the window opens.
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", tmp);
    if (envRuntime.isEmpty())
        env.remove("XDG_RUNTIME_DIR");
    else
        env.insert("XDG_RUNTIME_DIR", QFile::decodeName(envRuntime));
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(QStringLiteral(QADORA_EXE), {db});
    QVERIFY(window.waitForStarted());
    QVERIFY2(!window.waitForFinished(5000), window.readAllStandardError().constData());
    if (served)
        QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::activateOther(db), 15000);
    else
        QVERIFY(!SingleInstance::activateOther(db));
    window.kill();
    window.waitForFinished();
    if (squat == "own folder" || squat == "runtime dir") {
        // The stranger's folder is left as it was: nothing of the user's went into it.
        const QString theirs = squat == "own folder" ? tmp + "/qadora-0" : runtime + "-theirs";
        QCOMPARE(QDir(theirs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{QFileInfo(name).fileName()});
    }
#endif
}

// In the user's own 0700 folder (no XDG_RUNTIME_DIR), a second start still brings the first
// window forward and ends; no one else serves the database while the first window lives (on
// Windows its named mutex decides), and once it is killed another may.
void TestSingleInstance::twoWindowsOfTheUser_secondComesForward()
{
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("qa.mdb"), {{0, "k,1", "q", "a"}});
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
#ifdef Q_OS_WIN
    env.insert("APPDATA", QDir::toNativeSeparators(config.path()));
#endif
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", dir.path());
    env.remove("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(QADORA_EXE), {db});
    QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::activateOther(db), 15000);
#ifndef Q_OS_WIN
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(dir.filePath("qadora-0")).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
#endif
    SingleInstance mine;
    QVERIFY(!mine.serve(db));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(QADORA_EXE), {db});
    // Wine may take many seconds to start a process on a busy machine.
    if (!second.waitForFinished(30000)) {
        second.kill();
        second.waitForFinished();
        QFAIL(qPrintable("the second window stayed: " + QString::fromLocal8Bit(second.readAllStandardError())));
    }
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
    QVERIFY(mine.serve(db));
    qunsetenv("TMPDIR");
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
