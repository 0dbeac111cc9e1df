// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-mdb-reader FILE: reads tbl1 of an Access file and writes the records to standard
// output for the program. It runs as a separate process so that a damaged file that makes
// the reading library fail can never take the window down.
#include "store/jetreader.h"

#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: qadora-mdb-reader FILE\n", stderr);
        return 64;
    }
    const QByteArray out = qadora::encodeJetResult(qadora::readJetFile(QFile::decodeName(argv[1])));
    return std::fwrite(out.constData(), 1, size_t(out.size()), stdout) == size_t(out.size()) ? 0 : 1;
}
