// SPDX-License-Identifier: GPL-3.0-or-later
// The kind string "name,title": which sub-index page a record belongs to and that page's title.
#pragma once

#include <QString>

namespace qadora {

struct KindParts {
    bool ok = false; // false: no half-width comma, the kind string is malformed
    QString name;    // sub-index name, before the first half-width comma, untrimmed
    QString title;   // everything after that comma, further commas included
};

KindParts splitKind(const QString& kind);

// The sub-index page of a sub-index name: name + ".html".
QString subIndexFileName(const QString& name);

inline const QString kMalformedKindMessage =
    QStringLiteral("種類フォーマットが違います。半角カンマで区切られていません");

} // namespace qadora
