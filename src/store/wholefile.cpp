// SPDX-License-Identifier: GPL-3.0-or-later
#include "wholefile.h"

#include <algorithm>

namespace qadora {

WholeRead readAtMost(QIODevice& device, qint64 limit, QByteArray* out)
{
    out->clear();
    // The reported size is only a hint for the first allocation.
    const qint64 hint = device.isSequential() ? 0 : std::clamp<qint64>(device.size() - device.pos(), 0, limit);
    out->reserve(qsizetype(hint + 1));
    constexpr qint64 kChunk = qint64(1) << 20;
    for (;;) {
        const qint64 want = std::min(kChunk, limit + 1 - out->size());
        const qsizetype at = out->size();
        out->resize(at + qsizetype(want));
        const qint64 got = device.read(out->data() + at, want);
        if (got < 0) {
            out->clear();
            return WholeRead::Failed;
        }
        out->resize(at + qsizetype(got));
        if (out->size() > limit) {
            out->clear();
            out->squeeze();
            return WholeRead::TooLarge;
        }
        if (got == 0)
            return WholeRead::Ok;
    }
}

} // namespace qadora
