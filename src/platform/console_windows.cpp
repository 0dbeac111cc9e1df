// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <QTextStream>

#include <atomic>
#include <cstdio>

#include <windows.h>

namespace qadora::platform {

namespace {

std::atomic<DWORD> g_savedMode{0};
std::atomic<bool> g_silent{false};
std::atomic<void (*)()> g_handler{nullptr};

// Ctrl-C at the password prompt: the console gets its echo back, and the next handler (in
// the end the system's, which ends the program) takes the event.
BOOL WINAPI restoreConsole(DWORD)
{
    if (g_silent)
        ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), g_savedMode);
    return FALSE;
}

BOOL WINAPI callHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (auto* handler = g_handler.load())
        handler();
    return TRUE;
}

} // namespace

QString readLineWithoutEcho()
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(input, &mode)) {
        QTextStream in(stdin);
        return in.readLine();
    }
    g_savedMode = mode;
    g_silent = true;
    ::SetConsoleCtrlHandler(restoreConsole, TRUE);
    ::SetConsoleMode(input, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    // Read as UTF-16 from the console itself: the code page could not hold every character.
    QString line;
    wchar_t buffer[256];
    for (;;) {
        DWORD n = 0;
        if (!::ReadConsoleW(input, buffer, DWORD(std::size(buffer)), &n, nullptr) || n == 0)
            break;
        line += QString::fromWCharArray(buffer, int(n));
        if (line.contains(QLatin1Char('\n')))
            break;
    }
    ::SetConsoleMode(input, mode);
    g_silent = false;
    ::SetConsoleCtrlHandler(restoreConsole, FALSE);
    const qsizetype end = line.indexOf(QLatin1Char('\n'));
    if (end >= 0)
        line.truncate(end);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

void onInterrupt(void (*handler)())
{
    g_handler = handler;
    ::SetConsoleCtrlHandler(callHandler, TRUE);
}

void useUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
}

} // namespace qadora::platform
