// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchfeed.h"
#include "searchbuilder_p.h"

namespace qadora {

SearchIndexFeed::SearchIndexFeed(qsizetype expected)
    : m_builder(std::make_unique<SearchIndexBuilder>(searchLayout(expected)))
    , m_thread([this] { run(); })
{
}

SearchIndexFeed::~SearchIndexFeed()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_ready.notify_one();
    m_thread.join();
}

void SearchIndexFeed::add(const SearchDocument& document)
{
    m_batch.push_back(document);
    if (m_batch.size() >= kBatchSize)
        handOver();
}

void SearchIndexFeed::handOver()
{
    if (m_batch.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(m_batch));
    }
    m_batch = {};
    m_ready.notify_one();
}

std::future<SearchIndexFeed::Files> SearchIndexFeed::finish(QList<SearchKind> kinds)
{
    handOver();
    {
        std::lock_guard lock(m_mutex);
        m_kinds = std::move(kinds);
        m_finished = true;
    }
    m_ready.notify_one();
    return m_files.get_future();
}

void SearchIndexFeed::run()
{
    for (;;) {
        std::vector<SearchDocument> batch;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [&] { return m_stopped || m_finished || !m_queue.empty(); });
            if (m_stopped)
                return;
            if (m_queue.empty())
                break; // finished, every batch added
            batch = std::move(m_queue.front());
            m_queue.pop_front();
        }
        for (const SearchDocument& d : batch)
            m_builder->add(d);
    }
    // The kinds are the main thread's until finish(), which hands them over under the lock.
    if (!(searchLayout(m_builder->count()) == m_builder->layout()))
        m_files.set_value({});
    else
        m_files.set_value(m_builder->files(m_kinds));
}

} // namespace qadora
