// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitegeneration.h"

#include "pagefile.h"
#include "store/kindstring.h"
#include "views/listings.h"

namespace qadora {

namespace {

WriteOutcome writePage(const QString& outDir, const QString& fileName, const QStringList& lines)
{
    if (!isPlainFileName(fileName)) {
        return {WriteOutcome::Stopped, QStringLiteral("ファイル名に「/」や「\\」は使えません") + QLatin1Char('\r')
                                           + fileName};
    }
    const QString path = joinPath(outDir, fileName);
    QString error;
    if (!replaceFile(path, encodeLines(lines), &error)) {
        return {WriteOutcome::Stopped, QStringLiteral("ファイルを作成できませんでした") + QLatin1Char('\r') + path
                                           + QLatin1Char('\r') + error};
    }
    return {};
}

} // namespace

WriteOutcome writeQaPage(const QString& outDir, const PageStyle& style, const QString& fnum, const QString& atext,
                         const QString& btext, const QString& ctext)
{
    const KindParts parts = splitKind(ctext);
    if (!parts.ok)
        return {WriteOutcome::Reported, kMalformedKindMessage};
    return writePage(outDir, qaFileName(fnum), qaPage(atext, btext, subIndexFileName(parts.name), style));
}

WriteOutcome writeIndexPage(const QString& outDir, const QString& indexName, const IndexSettings& settings,
                            const QStringList& kinds)
{
    const IndexPage page = indexPage(settings, kinds);
    WriteOutcome outcome = writePage(outDir, indexName, page.lines);
    if (outcome.code == WriteOutcome::Written && page.malformedKind)
        return {WriteOutcome::Reported, kMalformedKindMessage + QLatin1Char('\r') + *page.malformedKind};
    return outcome;
}

WriteOutcome writeSubIndexPage(const QString& outDir, const QString& htm, const QString& tit,
                               const QString& indexName, const QStringList& questions, const QStringList& numbers,
                               const PageStyle& style)
{
    return writePage(outDir, htm, subIndexPage(tit, indexName, questions, numbers, style));
}

bool generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink)
{
    // kensu and its callers' "no records" message, as the window's listings show them.
    auto count = [&]() {
        QString message;
        const int n = countRecords(databasePath, &message);
        if (!message.isEmpty())
            sink(message);
        if (n <= 0)
            sink(kNoRecordsMessage);
        return n;
    };
    auto reportStore = [&](const StoreStatus& status) {
        if (!status.ok())
            sink(status.message);
        return status.ok();
    };

    // "データ表示": the number of records to write.
    int n = count();
    if (n <= 0) {
        sink(kListFirstMessage);
        return false;
    }

    StoreStatus status;
    auto store = openStore(databasePath, &status);
    if (!reportStore(status))
        return false;
    WalkOptions walk;
    walk.limit = n;
    bool stopped = false;
    status = store->walk(walk, [&](const Record& r) {
        const WriteOutcome out = writeQaPage(options.outDir, options.index.style, QString::number(r.no), r.quest,
                                             r.anser, r.kind);
        if (out.code != WriteOutcome::Written)
            sink(out.message);
        stopped = out.code == WriteOutcome::Stopped;
        return !stopped;
    });
    if (stopped || !reportStore(status))
        return false;

    QStringList kinds;
    if (options.indexName.isEmpty()) {
        sink(kIndexNameMissingMessage);
    } else {
        n = count();
        if (n > 0) {
            KindListing listing = listKinds(databasePath, n);
            if (!reportStore(listing.status))
                return false;
            kinds = listing.kinds;
        }
        const WriteOutcome out = writeIndexPage(options.outDir, options.indexName, options.index, kinds);
        if (out.code != WriteOutcome::Written)
            sink(out.message);
        if (out.code == WriteOutcome::Stopped)
            return false;
    }

    KindGroups groups;
    if (!kinds.isEmpty()) {
        n = count();
        if (n > 0) {
            groups = listByKind(databasePath, n);
            if (!reportStore(groups.status))
                return false;
        }
    }
    for (const QString& kind : std::as_const(kinds)) {
        const KindParts parts = splitKind(kind);
        if (!parts.ok) {
            sink(kMalformedKindMessage);
            break;
        }
        const Listing listing = groups.byKind.value(kind);
        const WriteOutcome out = writeSubIndexPage(options.outDir, subIndexFileName(parts.name), parts.title,
                                                   options.indexName, listing.visible, listing.companion,
                                                   options.index.style);
        if (out.code != WriteOutcome::Written) {
            sink(out.message);
            return false;
        }
    }
    sink(kSiteDoneMessage);
    return true;
}

} // namespace qadora
