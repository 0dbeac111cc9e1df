// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: mutated Access files into the reader. Seed it with the fixtures:
//   build/tests/fuzz_jetreader -max_total_time=300 corpus/ tests/data/jet/
#include "store/jetreader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)qadora::readJetBuffer(bytes);
    return 0;
}
