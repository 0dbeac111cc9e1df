// SPDX-License-Identifier: GPL-3.0-or-later
// A Q&A record: one row of tbl1, a plain value.
#pragma once

#include <QString>

namespace qadora {

struct Record {
    qint64 no = 0;
    QString kind;
    QString quest;
    QString anser;

    bool operator==(const Record&) const = default;
};

// Column limits of tbl1, in characters (a pair of surrogates is one).
inline constexpr int kKindMaxLength = 100;
inline constexpr int kQuestMaxLength = 250;

} // namespace qadora
