// SPDX-License-Identifier: GPL-3.0-or-later
// Isolated state for tests: a private settings location and real temporary databases.
#pragma once

#include "fakeinteraction.h"
#include "settings/appsettings.h"
#include "store/record.h"
#include "ui/answerbox.h"
#include "ui/main1.h"

#include <QMap>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <source_location>

namespace qadora::test {

// Points QSettings at a private folder for the whole test program and empties it.
void isolateSettings();
void clearSettings();

// A new database at `path` holding `records` (their `no` is ignored); returns `path`.
QString makeDatabase(const QString& path, const QList<Record>& records = {});
// Appends many records in one transaction (for large tables).
void appendRecords(const QString& path, const QList<Record>& records);
// Runs SQL through the sqlite3 program, as another program would; returns what it wrote to
// standard error.
QByteArray runSqlite(const QString& path, const QString& sql);
// Every record of the file in store order, read directly.
QList<Record> readAll(const QString& path);

// The main window on a fake interaction, with the database set and start-up run. The window
// makes its output folder the current one; as the last window goes, the test program leaves
// that folder, which Windows would otherwise keep from being removed with the test's folder.
struct Window {
    Window();
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    FakeInteraction fake;
    std::unique_ptr<main1> w;
};
std::unique_ptr<Window> openWindow(const QString& databasePath, const QString& outDir = QString());

// Types `text` into `w` as a person would: ASCII through key clicks ("\n" is Enter), every
// other run as an input-method commit (QTest cannot type non-ASCII keys).
void typeText(QWidget* w, const QString& text);
// Sends one key press and release; returns after the events are handled.
void pressKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Shows the window and waits until it is active, so focus moves as for a person.
void showActive(QWidget* w);
// The wait for one modal dialog (onNextModal). Should it end, out of scope, with no dialog
// having opened, the test fails there, naming the line that waited (unless it failed already);
// a dialog of a later test is never acted on.
class [[nodiscard]] ModalWait {
public:
    ModalWait(std::function<void(QWidget* modal)> act, std::source_location where);
    ModalWait(ModalWait&& other) noexcept = default;
    ModalWait& operator=(ModalWait&&) = delete;
    ~ModalWait();

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::source_location m_where;
};
// Once a modal dialog is open (a question, a message, a chooser), runs `act` on it, as a
// person at the keyboard would act on it; call before the code that opens the dialog and keep
// what it returns while the dialog is due.
ModalWait onNextModal(std::function<void(QWidget* modal)> act, std::source_location where = std::source_location::current());
// Presses `key` on a dialog: on the widget that has the keyboard focus in it.
void pressOnDialog(QWidget* modal, Qt::Key key);

// Items of a list widget as text.
QStringList itemsOf(const QListWidget* list);

QByteArray readBytes(const QString& path);
// Replaces the file's bytes; false when it cannot be written.
bool writeBytes(const QString& path, const QByteArray& bytes);
// Does `step` until it succeeds, for up to five seconds: Windows (and Wine, later still) lets
// go of a file only once whoever read it has closed it.
bool soon(const std::function<bool()>& step);
// Every file below `dir` (dot-files and subfolders included) by relative name, with its bytes.
QMap<QString, QByteArray> filesBelow(const QString& dir);

// Whether `program` starts here and ends normally on `arguments` (asked once per program).
// Wine, for one, does not start Linux programs such as python3, soffice or dbus-daemon.
bool programStarts(const QString& program, const QStringList& arguments = {QStringLiteral("--version")});

// A path of the build (a CMake path, "/work/..."), for QProcess from any working folder: under
// Wine a path from the root is on the current drive, and the window may move onto C:, so it
// gets Z:, Wine's drive for the Linux root.
QString buildPath(const QString& path);

// True when a tmpfs can be mounted here (root in a namespace that allows it).
bool mountTmpfs(const QString& dir, const QString& options);
bool remountReadOnly(const QString& dir);
void unmount(const QString& dir);

} // namespace qadora::test

// Skips the current test on Windows, where what it checks does not exist; `reason` says what.
#ifdef Q_OS_WIN
#define QADORA_LINUX_ONLY(reason) QSKIP("Linux only: " reason)
#else
#define QADORA_LINUX_ONLY(reason) do { } while (false)
#endif

// The current test needs `program` (a string literal) running: on Windows (Wine) it skips
// when the program cannot be started there; elsewhere that is a failure, never a skip.
#ifdef Q_OS_WIN
#define QADORA_NEEDS_PROGRAM(program)                                                              \
    do {                                                                                           \
        if (!qadora::test::programStarts(QStringLiteral(program)))                                  \
            QSKIP("cannot start " program " here (under Wine, a Linux program does not start)");   \
    } while (false)
#else
#define QADORA_NEEDS_PROGRAM(program)                                                              \
    do {                                                                                           \
        if (!qadora::test::programStarts(QStringLiteral(program)))                                  \
            QFAIL("cannot start " program);                                                        \
    } while (false)
#endif
