// SPDX-License-Identifier: GPL-3.0-or-later
// What the files of a generation run share: the thread that writes the pages, what the
// modern style keeps of them, the message for a page not written. For src/site only.
#pragma once

#include "htmlbalance.h"
#include "modernpages.h"
#include "pagefile.h"
#include "searchfeed.h"
#include "searchsite.h"
#include "sitegeneration.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qadora {

QString writeFailureMessage(const QString& path, const QString& error);

// Writes pages on a thread of its own. The producer hands them over in batches, so that the
// two threads meet once per batch rather than once per page.
class SiteRun::Writer {
public:
    Writer(PageFolder& folder, QString outDir)
        : m_folder(folder)
        , m_outDir(std::move(outDir))
        , m_thread([this] { run(); })
    {
    }
    ~Writer() { finish(); }

    bool put(int sequence, QString name, QByteArray bytes)
    {
        if (m_failed)
            return false;
        m_batch.push_back({sequence, std::move(name), std::move(bytes), QByteArray()});
        if (m_batch.size() >= kBatchSize)
            flush();
        return !m_failed;
    }

    bool finish()
    {
        if (m_thread.joinable()) {
            flush();
            hashWaiting();
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_ready.notify_one();
            m_thread.join();
        }
        return !m_failed;
    }

    struct Sum {
        QString name;
        qint64 size;
        QByteArray hash;
    };
    std::vector<Sum> m_sums; // the pages written, read once the writer has finished
    std::atomic<bool> m_failed{false};
    int m_failedAt = 0;
    QString m_failure;
    RunStats m_stats;

private:
    struct Job {
        int sequence;
        QString name;
        QByteArray bytes;
        QByteArray hash; // empty until taken
    };
    struct Batch {
        std::vector<Job> jobs;
        bool hashed = false;  // every job's hash taken
        bool hashing = false; // by the producer, which the writer waits for
    };
    static constexpr size_t kBatchSize = 128;
    static constexpr size_t kBatchesAhead = 8;

    void flush()
    {
        if (m_batch.empty())
            return;
        // Each page's hash is taken by the thread that has time for it: here when the writer
        // is so far behind that this thread would wait anyway, else by the writer.
        std::unique_lock lock(m_mutex);
        const bool writerBehind = m_queue.size() >= kBatchesAhead / 2;
        lock.unlock();
        auto batch = std::make_shared<Batch>();
        batch->jobs = std::move(m_batch);
        m_batch = {};
        if (writerBehind) {
            for (Job& job : batch->jobs)
                job.hash = pageHash(job.bytes);
            batch->hashed = true;
        }
        lock.lock();
        m_space.wait(lock, [&] { return m_queue.size() < kBatchesAhead || m_failed; });
        if (!m_failed)
            m_queue.push_back(std::move(batch));
        lock.unlock();
        m_ready.notify_one();
    }

    // With no pages left to make, this thread hashes the batches the writer has not come to,
    // from the last on, while the writer takes the first.
    void hashWaiting()
    {
        for (;;) {
            std::shared_ptr<Batch> batch;
            {
                std::lock_guard lock(m_mutex);
                // The first is the writer's next.
                for (auto it = m_queue.rbegin(); it != m_queue.rend() && it + 1 != m_queue.rend(); ++it) {
                    if (!(*it)->hashed) {
                        batch = *it;
                        break;
                    }
                }
                if (!batch || m_failed)
                    return;
                batch->hashing = true;
            }
            for (Job& job : batch->jobs)
                job.hash = pageHash(job.bytes);
            {
                std::lock_guard lock(m_mutex);
                batch->hashing = false;
                batch->hashed = true;
            }
            m_ready.notify_one();
        }
    }

    void run()
    {
        for (;;) {
            std::vector<Job> batch;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return m_queue.empty() ? m_done : !m_queue.front()->hashing; });
                if (m_queue.empty())
                    return;
                batch = std::move(m_queue.front()->jobs);
                m_queue.pop_front();
            }
            m_space.notify_one();
            for (const Job& job : batch) {
                QString error;
                const PageWrite outcome = m_folder.write(job.name, job.bytes, &error);
                if (outcome != PageWrite::Failed)
                    m_sums.push_back({job.name, job.bytes.size(), job.hash.isEmpty() ? pageHash(job.bytes) : job.hash});
                switch (outcome) {
                case PageWrite::Written:
                    ++m_stats.written;
                    break;
                case PageWrite::Unchanged:
                    ++m_stats.unchanged;
                    break;
                case PageWrite::Failed: {
                    std::lock_guard lock(m_mutex);
                    m_failedAt = job.sequence;
                    m_failure = writeFailureMessage(joinPath(m_outDir, job.name), error);
                    m_failed = true;
                    m_queue.clear();
                    m_space.notify_all();
                    return;
                }
                }
            }
        }
    }

    PageFolder& m_folder;
    const QString m_outDir;
    std::vector<Job> m_batch; // the producer's, not yet handed over
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<std::shared_ptr<Batch>> m_queue; // shared with the producer while it hashes one
    bool m_done = false;
    std::thread m_thread;
};

// The manifest holds one page a line: its name, percent-encoded so that any name a kind can
// give survives a plain ASCII file, then the size and the SHA-256 of the bytes written, so that
// a prune removes only a file that is still the page a run wrote. (Older manifests hold the
// name alone.)
struct ManifestEntry {
    QString name;
    qint64 size = -1;
    QByteArray hash;
};

// A file of the run besides its pages, written, or why not.
struct FileWritten {
    PageWrite outcome = PageWrite::Failed; // also for a file not tried after another failed
    QString failure;
    QByteArray hash;
};
using NamedFiles = QList<std::pair<QString, QByteArray>>;
// Writes `files` into the run's folder, each with its hash taken; none is begun after one
// failed (sitemodernfiles.cpp).
std::vector<FileWritten> writeFiles(PageFolder& folder, const NamedFiles& files);

// The run's record in the making: what the folder's manifest held, and this run's pages and
// files in order, each once.
struct SiteRun::Recording {
    QString manifest;
    QList<ManifestEntry> earlier;
    QHash<QString, qsizetype> now; // a name's place in keep
    QList<ManifestEntry> keep;
    qsizetype listed = 0; // of the run's names
    std::future<NamedFiles> siteFiles; // the sitemap and robots.txt, made of the pages alone
    bool modernWritten = false;
    NamedFiles modernFiles;
    std::vector<FileWritten> modernOutcomes;

    // The names from the `listed`th on, each once.
    void list(const QStringList& names)
    {
        for (qsizetype i = listed; i < names.size(); ++i) {
            const QString& name = names.at(i); // at(): reading never copies a shared list
            const qsizetype before = now.size();
            qsizetype& index = now[name];
            if (now.size() != before) {
                index = keep.size();
                keep.append({name, 0, QByteArray()});
            }
        }
        listed = names.size();
    }
    void sum(const QString& name, qint64 size, const QByteArray& hash)
    {
        if (const auto it = now.constFind(name); it != now.cend()) {
            keep[*it].size = size;
            keep[*it].hash = hash;
        }
    }
};

// What the modern style needs to know of the run's pages to write its other files.
struct SiteRun::Modern {
    PageStyle style;
    ModernContext context;
    QList<SearchDocument> documents;
    QHash<QString, qsizetype> documentOf; // a page name's place in documents
    QList<SearchKind> kinds;
    QHash<QString, int> kindOf;
    std::future<QList<std::pair<QString, QByteArray>>> search; // the index of documents and kinds as they are now
    // The index in the making while the pages are, when the run knows how many records come;
    // gone once a record replaced an earlier one's place (the index is then built at the end).
    std::unique_ptr<SearchIndexFeed> feed;

    // The kind of the page `file`, by the first title (markup) given for it.
    int kind(const QString& file, const QString& titleHtml)
    {
        const auto it = kindOf.constFind(file);
        if (it != kindOf.cend())
            return *it;
        kinds.append({file, balanceHtml(titleHtml, HtmlContext::Phrasing).text});
        return kindOf[file] = int(kinds.size() - 1);
    }
};

} // namespace qadora
