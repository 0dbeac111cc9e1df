// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-mdb-reader FILE: reads tbl1 of an Access file and writes the records to standard
// output for the program. It runs as a separate process so that a damaged file that makes
// the reading library fail can never take the window down.
#include "platform/platform.h"
#include "store/jetreader.h"

#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: qadora-mdb-reader FILE\n", stderr);
        return 64;
    }
    // The result has a channel of its own: whatever the library prints (it warns on standard
    // output about damaged files) goes to standard error instead.
    const int result = qadora::platform::takeStandardOutput();
    if (result < 0)
        return 1;
    const QByteArray out = qadora::encodeJetResult(qadora::readJetFile(qadora::platform::programArguments(argc, argv).value(1)));
    std::fflush(stdout);
    return qadora::platform::writeAll(result, out) ? 0 : 1;
}
