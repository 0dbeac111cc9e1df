// SPDX-License-Identifier: GPL-3.0-or-later
// What the kind lists and record listings hold, computed without any widget.
#pragma once

#include "store/recordstore.h"

#include <QHash>
#include <QStringList>

#include <functional>

#include <optional>

namespace qadora {

// Every distinct kind once, ascending by UTF-16 code units (no locale collation).
QStringList distinctKinds(QStringList kinds);

// The distinct kinds of the first n records of the store.
struct KindListing {
    QStringList kinds;
    StoreStatus status;
};
KindListing listKinds(const QString& path, int n);

// "name.html , title / quest / anser", or nothing when the kind has no half-width comma.
std::optional<QString> summaryLine(const Record& r);

// A line of a list as a row shows it: every line break (CR LF, CR, LF, U+2028, U+2029)
// becomes the mark "↵", so the row stays one line.
QString markLineBreaks(const QString& line);

// The visible lists show summary lines cut to this many UTF-16 code units.
inline constexpr int kSummaryVisibleLength = 60;

enum class LineFormat {
    Question,           // quest, whole
    QuestionWithNumber, // quest; the companion gets No
    Summary,            // summary line cut to 60; the companion gets it whole
};

struct Listing {
    QStringList visible;
    QStringList companion;
    QList<qint64> numbers; // the record of each line of `visible`
    int matched = 0;
    bool stoppedAtMalformedKind = false;
    bool cancelled = false; // the user stopped it
    StoreStatus status; // a failure of the store after the count; the lines so far stay
};

// Told how many records a walk has visited; false stops it.
using WalkTick = std::function<bool(int visited)>;

// Walks the first n records in store order; with `kind` set, only records of that kind.
Listing listRecords(const QString& path, int n, const std::optional<QString>& kind, LineFormat format,
                    const WalkTick& tick = {});

// The question lines and numbers of every kind, in one walk over the first n records: for
// each kind what listRecords(path, n, kind, QuestionWithNumber) gives.
struct KindGroups {
    QHash<QString, Listing> byKind;
    StoreStatus status;
};
KindGroups listByKind(const QString& path, int n);

inline const QString kNoRecordsMessage = QStringLiteral("データが登録されていません");
inline const QString kShowKindsMessage = QStringLiteral("種類を表示して下さい");
inline const QString kChooseKindMessage = QStringLiteral("種類を選択して下さい");

} // namespace qadora
