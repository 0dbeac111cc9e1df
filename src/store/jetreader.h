// SPDX-License-Identifier: GPL-3.0-or-later
// Reads tbl1 of an Access (Jet 3/4) file with libmdb. Text is decoded here from the stored
// bytes (UTF-16, its compressed form, or CP932 for Jet 3), because libmdb's own conversion
// turns characters outside the BMP into "??" and cuts long memo values short.
//
// libmdb is not safe on damaged files; the program runs this in a helper process
// (qadora-mdb-reader) so that a damaged file can never take the window down.
#pragma once

#include "jetprotocol.h"

#include <QByteArray>

namespace qadora {

JetReadResult readJetFile(const QString& path);
JetReadResult readJetBuffer(const QByteArray& bytes);

// Jet 4 text bytes: UTF-16LE, or the compressed form (FF FE, then runs of one-byte characters
// and of UTF-16LE characters, switched by a 00 byte). Jet 3 text is CP932.
QString decodeJetText(const char* data, qsizetype size, bool jet3);

} // namespace qadora
