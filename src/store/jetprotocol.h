// SPDX-License-Identifier: GPL-3.0-or-later
// What the Access reader hands back: the records of tbl1, or why there are none. The helper
// process writes it to its standard output in this binary form.
#pragma once

#include "record.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace qadora {

struct JetReadResult {
    enum Code {
        Ok = 0,
        Damaged = 2,   // not an Access file that can be read, or damaged
        NoTable = 3,   // no table named tbl1
        Password = 4,  // protected by a password
        BadSchema = 5, // tbl1 without the columns No, kind, quest, anser
        Unsupported = 6, // a later Access format (.accdb)
    };
    Code code = Ok;
    QString detail;
    std::vector<Record> records; // in the file's order
    int unreadable = 0;          // rows the table has that could not be read (damage)
};

QByteArray encodeJetResult(const JetReadResult& result);
// False when the bytes are not a complete result (the reader died on the way).
bool decodeJetResult(const QByteArray& bytes, JetReadResult* result);

} // namespace qadora
