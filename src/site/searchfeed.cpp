// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchfeed.h"
#include "searchbuilder_p.h"

namespace qadora {

SearchIndexFeed::SearchIndexFeed(qsizetype expected, Thread thread)
    : m_builder(std::make_unique<SearchIndexBuilder>(searchLayout(expected)))
    , m_thread(thread == Thread::Own ? std::thread([this] { run(); }) : std::thread())
{
}

SearchIndexFeed::~SearchIndexFeed()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_ready.notify_one();
    m_thread.join();
}

void SearchIndexFeed::add(const SearchDocument& document)
{
    if (!m_thread.joinable()) {
        m_builder->add(document);
        return;
    }
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

namespace {

SearchIndexFeed::Files filesOf(SearchIndexBuilder& builder, const QList<SearchKind>& kinds)
{
    if (!(searchLayout(builder.count()) == builder.layout()))
        return {};
    return builder.files(kinds);
}

} // namespace

std::future<SearchIndexFeed::Files> SearchIndexFeed::finish(QList<SearchKind> kinds)
{
    if (!m_thread.joinable()) {
        // The records are all in; the files are made beside the run's last pages, by a
        // builder that is no longer the feed's.
        return std::async(std::launch::async, [builder = std::move(m_builder), kinds = std::move(kinds)] {
            return filesOf(*builder, kinds);
        });
    }
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
    m_files.set_value(files());
}

SearchIndexFeed::Files SearchIndexFeed::files()
{
    return filesOf(*m_builder, m_kinds);
}

} // namespace qadora
