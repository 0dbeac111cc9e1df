// SPDX-License-Identifier: GPL-3.0-or-later
#include "testenv.h"

#include "settings/appsettings.h"
#include "settings/dirs.h"
#include "store/recordstore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QInputMethodEvent>
#include <QWidget>
#include <QListWidget>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

namespace qadora::test {

void isolateSettings()
{
    static QTemporaryDir dir;
    // The user's folders of the freedesktop.org layout, private to this test program and the
    // programs it starts: data (manifests, backups, the trash), configuration and cache. Not
    // Qt's test mode, whose folders are shared by every test run and ignore these variables.
    for (const char* name : {"data", "config", "cache"}) {
        const QString folder = dir.filePath(QLatin1String(name));
        QDir().mkpath(folder);
        qputenv((QByteArray("XDG_") + QByteArray(name).toUpper() + "_HOME").constData(), QFile::encodeName(folder));
    }
    // Windows' counterparts, which the program reads before the shell's own folders: the
    // settings beside the freedesktop.org ones, data and caches in a folder of their own.
    qputenv("APPDATA", QFile::encodeName(QDir::toNativeSeparators(dir.filePath(QStringLiteral("config")))));
    QDir().mkpath(dir.filePath(QStringLiteral("local")));
    qputenv("LOCALAPPDATA", QFile::encodeName(QDir::toNativeSeparators(dir.filePath(QStringLiteral("local")))));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("Qadora"));
    QCoreApplication::setApplicationName(QStringLiteral("Qadora"));
    clearSettings();
}

void clearSettings()
{
    openSettings().clear();
}

namespace {

template<typename F>
void withConnection(const QString& path, F&& f)
{
    const QString name = QStringLiteral("test-connection");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

QString makeDatabase(const QString& path, const QList<Record>& records)
{
    if (!QFile::remove(path) && QFile::exists(path)) {
        // Windows keeps a file that the window under test still holds open: the same
        // database, emptied, is what a fresh one would be to it.
        withConnection(path, [](QSqlDatabase& db) { QVERIFY(QSqlQuery(db).exec(QStringLiteral("DELETE FROM tbl1"))); });
        appendRecords(path, records);
        return path;
    }
    const StoreStatus status = createDatabase(path);
    if (!status.ok())
        qFatal("cannot create %s: %s", qPrintable(path), qPrintable(status.message));
    appendRecords(path, records);
    return path;
}

void appendRecords(const QString& path, const QList<Record>& records)
{
    withConnection(path, [&](QSqlDatabase& db) {
        db.transaction();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO tbl1 (kind, quest, anser) VALUES (?, ?, ?)"));
        for (const Record& r : records) {
            q.addBindValue(r.kind);
            q.addBindValue(r.quest);
            q.addBindValue(r.anser);
            q.exec();
        }
        db.commit();
    });
}

QByteArray runSqlite(const QString& path, const QString& sql)
{
    QProcess p;
    // Not in the window's current folder: on Windows a program's current folder cannot be
    // removed, and the test's folder goes as soon as the second writer has finished.
    p.setWorkingDirectory(QDir::tempPath());
    p.start(QStringLiteral("sqlite3"), {path});
    if (!p.waitForStarted())
        return "cannot start sqlite3";
    // As another program would, it waits a moment for a lock a run that just ended still holds
    // while it closes (seen under Wine), instead of failing at once.
    p.write(".timeout 10000\n" + sql.toUtf8() + "\n");
    p.closeWriteChannel();
    p.waitForFinished();
    return p.readAllStandardError();
}

QList<Record> readAll(const QString& path)
{
    QList<Record> records;
    withConnection(path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT No, kind, quest, anser FROM tbl1 ORDER BY No"));
        while (q.next())
            records.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                            q.value(3).toString()});
    });
    return records;
}

namespace {
int windowsOpen = 0;
}

Window::Window()
{
    ++windowsOpen;
}

Window::~Window()
{
    w.reset();
    if (--windowsOpen == 0)
        QDir::setCurrent(QDir::tempPath());
}

std::unique_ptr<Window> openWindow(const QString& databasePath, const QString& outDir)
{
    dirs::rwpgmname(2, databasePath);
    if (!outDir.isEmpty())
        dirs::rwfirstdir(2, outDir);
    auto window = std::make_unique<Window>();
    window->w = std::make_unique<main1>(&window->fake);
    window->w->Form_Load();
    window->fake.clear();
    return window;
}

void typeText(QWidget* w, const QString& text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype j = i;
        const bool ascii = text[i].unicode() < 0x80;
        while (j < text.size() && (text[j].unicode() < 0x80) == ascii)
            ++j;
        const QString run = text.mid(i, j - i);
        if (ascii) {
            const QStringList lines = run.split(QLatin1Char('\n'));
            for (qsizetype k = 0; k < lines.size(); ++k) {
                if (k > 0)
                    QTest::keyClick(w, Qt::Key_Return);
                QTest::keyClicks(w, lines[k]);
            }
        } else {
            QInputMethodEvent preedit(run, {});
            QCoreApplication::sendEvent(w, &preedit);
            QInputMethodEvent commit;
            commit.setCommitString(run);
            QCoreApplication::sendEvent(w, &commit);
        }
        i = j;
    }
    QCoreApplication::processEvents();
}

void pressKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(w, key, modifiers);
    QCoreApplication::processEvents();
}

void showActive(QWidget* w)
{
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
}

struct ModalWait::State {
    QTimer poll;
    bool opened = false;
};

ModalWait::ModalWait(std::function<void(QWidget* modal)> act, std::source_location where)
    : m_state(std::make_shared<State>())
    , m_where(where)
{
    State* state = m_state.get();
    state->poll.setInterval(10);
    QObject::connect(&state->poll, &QTimer::timeout, &state->poll, [state, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        state->poll.stop();
        state->opened = true;
        act(modal);
    });
    state->poll.start();
}

ModalWait::~ModalWait()
{
    if (!m_state)
        return; // moved from
    m_state->poll.stop();
    if (!m_state->opened && !QTest::currentTestFailed())
        QTest::qFail("no modal dialog opened while one was awaited here", m_where.file_name(), int(m_where.line()));
}

ModalWait onNextModal(std::function<void(QWidget* modal)> act, std::source_location where)
{
    return ModalWait(std::move(act), where);
}

void pressOnDialog(QWidget* modal, Qt::Key key)
{
    QWidget* focus = modal->focusWidget() ? modal->focusWidget() : modal;
    QTest::keyClick(focus, key);
}

QStringList itemsOf(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool soon(const std::function<bool()>& step)
{
    QDeadlineTimer deadline(5000);
    while (!step()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

QMap<QString, QByteArray> filesBelow(const QString& dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(dir).relativeFilePath(path), readBytes(path));
    }
    return files;
}

QString buildPath(const QString& path)
{
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1Char('/')))
        return QStringLiteral("Z:") + path;
#endif
    return path;
}

bool programStarts(const QString& program, const QStringList& arguments)
{
    static QHash<QString, bool> known;
    const auto it = known.constFind(program);
    if (it != known.constEnd())
        return *it;
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    bool started = p.waitForStarted(10000);
    // A program that started but never answers counts as not starting (the test would hang).
    if (started && !p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        started = false;
    }
    started = started && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    known.insert(program, started);
    return started;
}

bool mountTmpfs(const QString& dir, const QString& options)
{
    return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                       QStringLiteral("-o"), options, QStringLiteral("tmpfs"), dir})
        == 0;
}

bool remountReadOnly(const QString& dir)
{
    return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), dir}) == 0;
}

void unmount(const QString& dir)
{
    // Lazily: a window that still holds the folder open would make a plain umount fail and
    // leave the mount behind every run.
    QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), dir});
}

} // namespace qadora::test
