// SPDX-License-Identifier: GPL-3.0-or-later
// The search index built on a thread of its own while a run makes its record pages: the
// records are handed over in batches as their pages are made, so that the index is nearly
// done when the walk is.
#pragma once

#include "searchsite.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qadora {

class SearchIndexBuilder;

class SearchIndexFeed {
public:
    using Files = QList<std::pair<QString, QByteArray>>;

    // Where the records are taken into the index: on a thread of the feed's own, or by add()
    // itself, on the caller's, where the cores are too few for another busy thread.
    enum class Thread { Own, Caller };
    // The index is split by the number of records expected (searchLayout).
    explicit SearchIndexFeed(qsizetype expected, Thread thread = Thread::Own);
    ~SearchIndexFeed(); // stops the thread, whatever it was doing
    SearchIndexFeed(const SearchIndexFeed&) = delete;
    SearchIndexFeed& operator=(const SearchIndexFeed&) = delete;

    // The next record, in the order of the index.
    void add(const SearchDocument& document);
    // After the last record: the index's files, as searchFiles() gives them for the same
    // records; an empty list when their number would split the index otherwise than expected.
    // Where the records were taken on the caller's thread, the files are made on one of
    // their own, begun here.
    std::future<Files> finish(QList<SearchKind> kinds);

private:
    static constexpr size_t kBatchSize = 256;
    void run();
    void handOver();
    Files files();

    std::unique_ptr<SearchIndexBuilder> m_builder;
    std::vector<SearchDocument> m_batch; // the producer's, not yet handed over
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::vector<SearchDocument>> m_queue;
    QList<SearchKind> m_kinds;
    bool m_finished = false;
    bool m_stopped = false;
    std::promise<Files> m_files;
    std::thread m_thread;
};

} // namespace qadora
