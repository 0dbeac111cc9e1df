// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line programs' console: a password typed without echo, Ctrl-C, UTF-8 text.
// Part of the platform layer (console_posix.cpp, console_windows.cpp).
#pragma once

#include <QString>

namespace qadora::platform {

// A line typed at the terminal, not shown as it is typed. Ctrl-C meanwhile gives the terminal
// its echo back and ends the program as Ctrl-C does; the handlers set before are kept.
QString readLineWithoutEcho();

// `handler` is called on Ctrl-C or a request to end (SIGINT, SIGTERM; the console's close and
// break events on Windows) instead of the program ending. It may only set a flag.
void onInterrupt(void (*handler)());

// Text the program prints reaches the console as UTF-8 (Windows' console otherwise takes the
// code page's bytes).
void useUtf8Console();

} // namespace qadora::platform
