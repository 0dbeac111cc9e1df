// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include <QTextStream>

#include <csignal>
#include <cstdio>

#include <termios.h>
#include <unistd.h>

namespace qadora::platform {

namespace {

termios g_terminal {};
void (*g_handler)() = nullptr;

// Ctrl-C at the password prompt: the terminal gets its echo back before the program ends.
void restoreTerminalAndStop(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_terminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void callHandler(int)
{
    if (g_handler)
        g_handler();
}

} // namespace

QString readLineWithoutEcho()
{
    const bool terminal = ::tcgetattr(STDIN_FILENO, &g_terminal) == 0;
    auto* const previousInt = std::signal(SIGINT, restoreTerminalAndStop);
    auto* const previousTerm = std::signal(SIGTERM, restoreTerminalAndStop);
    if (terminal) {
        termios silent = g_terminal;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    QTextStream in(stdin);
    const QString line = in.readLine();
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_terminal);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    return line;
}

void onInterrupt(void (*handler)())
{
    g_handler = handler;
    std::signal(SIGINT, callHandler);
    std::signal(SIGTERM, callHandler);
}

void useUtf8Console()
{
}

} // namespace qadora::platform
