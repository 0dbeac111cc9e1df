// SPDX-License-Identifier: GPL-3.0-or-later
// The index behind the site's search page, written by the build. A query's words are folded
// as the window's search boxes fold them (searchtext.h) and found as substrings: every word
// of one character through the records holding that character, every longer word through the
// records holding all of its 2-character pieces (and each character followed by two digits),
// then checked against the text itself. So a query typed the Japanese way, without spaces, finds every
// record that holds it.
//
// The index is split so that a phone fetches only what a query needs: a small file of
// figures and kinds, the shards that hold the query's pieces (by the piece's first character), and
// the chunks of records that are shown. Each file is a script that hands its data to the
// page, so the search works from a folder opened in the browser as well as from a server.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace qadora {

inline const QString kSearchScript = QStringLiteral("qadora-search.js");
inline const QString kSearchMeta = QStringLiteral("qs-meta.js"); // figures, kinds, every other file's version

struct SearchDocument {
    QString file;     // the record's page
    QString question; // visible text
    QString answer;   // visible text
    int kind = 0;     // position in the kinds
};

struct SearchKind {
    QString file;
    QString title; // visible text
};

// The figures the index is split by, chosen from the number of records.
struct SearchLayout {
    int shards = 1;
    int chunk = 64;
    bool operator==(const SearchLayout&) const = default;
};
SearchLayout searchLayout(qsizetype documents);

// Every file of the index by name, the search script included, in a fixed order.
QList<std::pair<QString, QByteArray>> searchFiles(const QList<SearchKind>& kinds, const QList<SearchDocument>& documents);

QByteArray searchScript();

} // namespace qadora
