// SPDX-License-Identifier: GPL-3.0-or-later
// The whole run of qadora-build: listing, pages, index and kinds' pages, messages in order.
#include "sitegeneration.h"

#include "store/kindstring.h"
#include "views/listings.h"

namespace qadora {

SiteResult generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink,
                        const ProgressSink& progress)
{
    // One snapshot of the store for the whole run: pages, index and sub-index pages all see
    // the same records, whatever another program writes meanwhile.
    ReadSnapshot snapshot(databasePath);
    SiteRun run(options.outDir, SiteRun::Mode::Background);
    const PageStyle style = withSiteFrame(options.index.style, options.indexName, options.index);
    SiteResult result;

    // Messages wait in order with the pages until the writes before them are known.
    QList<std::pair<int, QString>> messages;
    auto say = [&](const QString& message) { messages.append({run.nextSequence(), message}); };
    auto finish = [&](bool completed) {
        if (completed)
            run.prepareRecord();
        const bool written = run.finish();
        for (const auto& [at, message] : std::as_const(messages)) {
            if (!written && at > run.failedAt())
                break;
            sink(message);
        }
        if (!written) {
            sink(run.failure());
            completed = false;
        }
        if (completed) {
            QString error;
            if (!run.recordPages(options.prune, &error)) {
                sink(error);
                completed = false;
            }
        }
        result.stats = run.stats();
        if (completed)
            sink(kSiteDoneMessage);
        result.complete = completed;
        return result;
    };
    // Shows what a writer has to say; true while the run goes on.
    auto report = [&](const WriteOutcome& out) {
        if (out.code != WriteOutcome::Written && !out.message.isEmpty())
            say(out.message);
        return out.code != WriteOutcome::Stopped;
    };

    // kensu and its callers' "no records" message, as the window's listings show them.
    auto count = [&]() {
        QString message;
        const int n = countRecords(databasePath, &message);
        if (!message.isEmpty())
            say(message);
        if (n <= 0)
            say(kNoRecordsMessage);
        return n;
    };
    auto storeOk = [&](const StoreStatus& status) {
        if (!status.ok())
            say(status.message);
        return status.ok();
    };

    // "データ表示": the number of records to write.
    int n = count();
    if (n <= 0) {
        say(kListFirstMessage);
        return finish(false);
    }
    // A run that can write no index page cannot complete; it is refused before anything is written.
    if (options.indexName.isEmpty()) {
        say(kIndexNameMissingMessage);
        say(kIndexNotWrittenMessage);
        return finish(false);
    }
    const int records = n;
    int total = records + 1;
    auto made = [&] {
        if (progress)
            progress(run.pagesMade(), total);
    };

    StoreStatus status;
    auto store = openStore(databasePath, &status);
    if (!storeOk(status))
        return finish(false);
    // Records that damage kept from being read have no pages: the site is not complete.
    const bool damaged = store->unreadableRecords() > 0;
    WalkOptions walk;
    walk.limit = n;
    run.expectRecords(n);
    bool goOn = true;
    status = store->walk(walk, [&](const Record& r) {
        goOn = report(run.qaPage(style, QString::number(r.no), r.quest, r.anser, r.kind));
        made();
        return goOn;
    });
    if (!goOn || !storeOk(status))
        return finish(false);
    run.startSearchIndex();

    QStringList kinds;
    n = count();
    if (n > 0) {
        KindListing listing = listKinds(databasePath, n);
        if (!storeOk(listing.status))
            return finish(false);
        kinds = listing.kinds;
    }
    total = records + 1 + int(kinds.size());
    if (!report(run.indexPage(options.indexName, options.index, kinds)))
        return finish(false);
    made();

    KindGroups groups;
    if (!kinds.isEmpty()) {
        n = count();
        if (n > 0) {
            groups = listByKind(databasePath, n);
            if (!storeOk(groups.status))
                return finish(false);
        }
    }
    for (const QString& kind : std::as_const(kinds)) {
        const KindParts parts = splitKind(kind);
        if (!parts.ok) {
            say(kMalformedKindMessage);
            break;
        }
        const Listing listing = groups.byKind.value(kind);
        if (!report(run.subIndexPage(subIndexFileName(parts.name), parts.title, options.indexName, listing.visible,
                                     listing.companion, style)))
            return finish(false);
        made();
    }
    return finish(!damaged);
}

} // namespace qadora
