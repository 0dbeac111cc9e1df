// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitegeneration.h"

#include "pagefile.h"
#include "store/kindstring.h"
#include "views/listings.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qadora {

namespace {

WriteOutcome writeNow(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!replaceFile(path, bytes, &error)) {
        return {WriteOutcome::Stopped, QStringLiteral("ファイルを作成できませんでした") + QLatin1Char('\r') + path
                                           + QLatin1Char('\r') + error};
    }
    return {};
}

WriteOutcome writePage(const QString& outDir, const QString& fileName, const QStringList& lines, PageOutput* output)
{
    if (!isPlainFileName(fileName)) {
        return {WriteOutcome::Stopped, QStringLiteral("ファイル名に「/」や「\\」は使えません") + QLatin1Char('\r')
                                           + fileName};
    }
    const QString path = joinPath(outDir, fileName);
    return output ? output->put(path, encodeLines(lines)) : writeNow(path, encodeLines(lines));
}

// Writes the pages on a thread of its own, so that reading the store, formatting and encoding
// the next pages go on while the file system works. Every page and every message of the run
// gets a place in one sequence; a failed write ends the run at its own place.
class QueuedOutput final : public PageOutput {
public:
    explicit QueuedOutput(int* sequence)
        : m_sequence(sequence)
        , m_thread([this] { run(); })
    {
    }
    ~QueuedOutput() override { finish(); }

    WriteOutcome put(const QString& path, QByteArray bytes) override
    {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_queue.size() < kCapacity || m_failed; });
        if (m_failed)
            return {WriteOutcome::Stopped, QString()};
        m_queue.push_back({(*m_sequence)++, path, std::move(bytes)});
        m_ready.notify_one();
        return {};
    }

    // Waits for every queued page.
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    bool failed() const { return m_failed; }
    int failedAt() const { return m_failedAt; }
    QString failure() const { return m_failure; }

private:
    struct Job {
        int sequence;
        QString path;
        QByteArray bytes;
    };
    static constexpr size_t kCapacity = 64;

    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_queue.empty() || m_done; });
                if (m_queue.empty())
                    return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
                m_space.notify_one();
            }
            const WriteOutcome outcome = writeNow(job.path, job.bytes);
            if (outcome.code != WriteOutcome::Written) {
                std::lock_guard lock(m_mutex);
                m_failed = true;
                m_failedAt = job.sequence;
                m_failure = outcome.message;
                m_queue.clear();
                m_space.notify_all();
                return;
            }
        }
    }

    int* m_sequence;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<Job> m_queue;
    bool m_done = false;
    std::atomic<bool> m_failed{false};
    int m_failedAt = 0;
    QString m_failure;
    std::thread m_thread;
};

} // namespace

WriteOutcome writeQaPage(const QString& outDir, const PageStyle& style, const QString& fnum, const QString& atext,
                         const QString& btext, const QString& ctext, PageOutput* output)
{
    const KindParts parts = splitKind(ctext);
    if (!parts.ok)
        return {WriteOutcome::Reported, kMalformedKindMessage};
    return writePage(outDir, qaFileName(fnum), qaPage(atext, btext, subIndexFileName(parts.name), style), output);
}

WriteOutcome writeIndexPage(const QString& outDir, const QString& indexName, const IndexSettings& settings,
                            const QStringList& kinds, PageOutput* output)
{
    const IndexPage page = indexPage(settings, kinds);
    WriteOutcome outcome = writePage(outDir, indexName, page.lines, output);
    if (outcome.code == WriteOutcome::Written && page.malformedKind)
        return {WriteOutcome::Reported, kMalformedKindMessage + QLatin1Char('\r') + *page.malformedKind};
    return outcome;
}

WriteOutcome writeSubIndexPage(const QString& outDir, const QString& htm, const QString& tit,
                               const QString& indexName, const QStringList& questions, const QStringList& numbers,
                               const PageStyle& style, PageOutput* output)
{
    return writePage(outDir, htm, subIndexPage(tit, indexName, questions, numbers, style), output);
}

bool generateSite(const QString& databasePath, const SiteOptions& options, const MessageSink& sink)
{
    // Messages wait in sequence with the pages until the writes before them are known.
    int sequence = 0;
    QList<std::pair<int, QString>> messages;
    auto say = [&](const QString& message) { messages.append({sequence++, message}); };
    QueuedOutput output(&sequence);
    auto finish = [&](bool completed) {
        output.finish();
        for (const auto& [at, message] : std::as_const(messages)) {
            if (output.failed() && at > output.failedAt())
                break;
            sink(message);
        }
        if (output.failed()) {
            sink(output.failure());
            return false;
        }
        if (completed)
            sink(kSiteDoneMessage);
        return completed;
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

    StoreStatus status;
    auto store = openStore(databasePath, &status);
    if (!storeOk(status))
        return finish(false);
    WalkOptions walk;
    walk.limit = n;
    bool goOn = true;
    status = store->walk(walk, [&](const Record& r) {
        goOn = report(writeQaPage(options.outDir, options.index.style, QString::number(r.no), r.quest, r.anser,
                                  r.kind, &output));
        return goOn;
    });
    if (!goOn || !storeOk(status))
        return finish(false);

    QStringList kinds;
    if (options.indexName.isEmpty()) {
        say(kIndexNameMissingMessage);
    } else {
        n = count();
        if (n > 0) {
            KindListing listing = listKinds(databasePath, n);
            if (!storeOk(listing.status))
                return finish(false);
            kinds = listing.kinds;
        }
        if (!report(writeIndexPage(options.outDir, options.indexName, options.index, kinds, &output)))
            return finish(false);
    }

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
        if (!report(writeSubIndexPage(options.outDir, subIndexFileName(parts.name), parts.title, options.indexName,
                                      listing.visible, listing.companion, options.index.style, &output)))
            return finish(false);
    }
    return finish(true);
}

} // namespace qadora
