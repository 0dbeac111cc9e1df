// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a file whole without trusting the size it reports: files in /proc, FIFOs behind a
// regular name and files that grow as they are read report a size of 0 or none at all.
#pragma once

#include <QByteArray>
#include <QIODevice>

namespace qadora {

enum class WholeRead { Ok, TooLarge, Failed };

// Reads what is left of an open device, at most `limit` bytes: one byte more than that is
// read to tell a file of exactly `limit` bytes from a longer one, which is TooLarge (with
// `out` emptied). Failed when a read fails.
WholeRead readAtMost(QIODevice& device, qint64 limit, QByteArray* out);

} // namespace qadora
