// SPDX-License-Identifier: GPL-3.0-or-later
#include "listings.h"

#include "store/kindstring.h"

#include <algorithm>

namespace qadora {

namespace {

// Opens the store for one walk; the failure to open or to walk, if any.
StoreStatus walkStore(const QString& path, const WalkOptions& options, const RecordVisitor& visit)
{
    StoreStatus status;
    auto store = openStore(path, &status);
    return store ? store->walk(options, visit) : status;
}

} // namespace

QStringList distinctKinds(QStringList kinds)
{
    // QString's operator< compares UTF-16 code units, a prefix first.
    std::sort(kinds.begin(), kinds.end());
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    return kinds;
}

KindListing listKinds(const QString& path, int n)
{
    KindListing result;
    QStringList kinds;
    kinds.reserve(n);
    WalkOptions options;
    options.limit = n;
    options.withQuestion = false;
    options.withAnswer = false;
    result.status = walkStore(path, options, [&](const Record& r) {
        // Runs of equal kinds are common; skipping them keeps the sort small.
        if (kinds.isEmpty() || kinds.constLast() != r.kind)
            kinds.append(r.kind);
        return true;
    });
    result.kinds = distinctKinds(std::move(kinds));
    return result;
}

std::optional<QString> summaryLine(const Record& r)
{
    const KindParts parts = splitKind(r.kind);
    if (!parts.ok)
        return std::nullopt;
    // Built in one allocation: the display tab builds one line per record of the table.
    QString line;
    line.reserve(parts.name.size() + parts.title.size() + r.quest.size() + r.anser.size() + 14);
    line.append(parts.name).append(QLatin1String(".html , ")).append(parts.title).append(QLatin1String(" / "));
    line.append(r.quest).append(QLatin1String(" / ")).append(r.anser);
    return line;
}

QString markLineBreaks(const QString& line)
{
    QString shown;
    bool marked = false;
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = line[i].unicode();
        if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            if (!marked)
                shown = line.left(i);
            marked = true;
            shown += QChar(0x21B5);
            if (c == u'\r' && i + 1 < n && line[i + 1] == u'\n')
                ++i;
        } else if (marked) {
            shown += line[i];
        }
    }
    return marked ? shown : line;
}

Listing listRecords(const QString& path, int n, const std::optional<QString>& kind, LineFormat format,
                    const WalkTick& tick)
{
    Listing result;
    WalkOptions options;
    options.limit = n;
    options.withAnswer = format == LineFormat::Summary;
    if (kind) {
        options.byKind = true;
        options.kind = *kind;
    }
    result.visible.reserve(n);
    result.numbers.reserve(n);
    if (format != LineFormat::Question)
        result.companion.reserve(n);
    int visited = 0;
    result.status = walkStore(path, options, [&](const Record& r) {
        if (tick && ++visited % 256 == 0 && !tick(visited)) {
            result.cancelled = true;
            return false;
        }
        switch (format) {
        case LineFormat::Question:
            result.visible.append(r.quest);
            break;
        case LineFormat::QuestionWithNumber:
            result.visible.append(r.quest);
            result.companion.append(QString::number(r.no));
            break;
        case LineFormat::Summary: {
            const auto line = summaryLine(r);
            if (!line) {
                result.stoppedAtMalformedKind = true;
                return false;
            }
            result.companion.append(*line);
            break;
        }
        }
        result.numbers.append(r.no);
        ++result.matched;
        return true;
    });
    if (format == LineFormat::Summary) {
        // The shown parts are cut after the walk, side by side in memory rather than between
        // the whole lines: a long list is cleared several times faster.
        for (const QString& line : std::as_const(result.companion))
            result.visible.append(line.left(kSummaryVisibleLength));
    }
    return result;
}

KindGroups listByKind(const QString& path, int n)
{
    KindGroups result;
    WalkOptions options;
    options.limit = n;
    options.withAnswer = false;
    result.status = walkStore(path, options, [&](const Record& r) {
        Listing& listing = result.byKind[r.kind];
        listing.visible.append(r.quest);
        listing.companion.append(QString::number(r.no));
        listing.numbers.append(r.no);
        ++listing.matched;
        return true;
    });
    return result;
}

} // namespace qadora
