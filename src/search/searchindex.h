// SPDX-License-Identifier: GPL-3.0-or-later
// The text of every record of one database, held in memory for the search boxes.
#pragma once

#include "store/recordstore.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

namespace qadora {

// Which records of an index a search found: one bit per slot.
class SearchHits {
public:
    SearchHits() = default;
    explicit SearchHits(qsizetype size)
        : m_bits(size_t((size + 63) / 64), 0)
        , m_size(size)
    {
    }
    bool test(qsizetype slot) const
    {
        return slot >= 0 && slot < m_size && ((m_bits[size_t(slot >> 6)] >> (slot & 63)) & 1u);
    }
    void set(qsizetype slot) { m_bits[size_t(slot >> 6)] |= quint64(1) << (slot & 63); }
    // Whether any slot in [from, to) is set.
    bool anyIn(qsizetype from, qsizetype to) const;
    qsizetype count() const;
    qsizetype size() const { return m_size; }
    // Adds the slots `other` has set.
    void merge(const SearchHits& other);

private:
    std::vector<quint64> m_bits;
    qsizetype m_size = 0;
};

// The folded text (see foldForSearch) of every record, in chunks of about 256 records. Each
// chunk keeps a small filter of the characters and character pairs it holds, so a search
// reads only the chunks that may hold its words. An index never changes once built: the
// window searches one while the next is built on a worker thread, and the next one takes over
// every chunk whose records did not change.
class SearchIndex {
public:
    struct Chunk;
    class Builder;

    SearchIndex();
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // Reads every record of the store at `path`. Records that `previous` holds unchanged are
    // not folded again. nullptr when the store could not be read (`status` says why) or when
    // `cancel` became true.
    static std::shared_ptr<const SearchIndex> fromStore(const QString& path, const SearchIndex* previous,
                                                        const std::atomic<bool>* cancel, StoreStatus* status);
    static std::shared_ptr<const SearchIndex> fromRecords(const std::vector<Record>& records,
                                                          const SearchIndex* previous = nullptr);

    qsizetype size() const { return m_size; }
    // The slot of record `no`, or -1 when the index has none.
    qsizetype slotOf(qint64 no) const;
    // slotOf for every number; fastest for numbers in ascending order, as listings give them.
    std::vector<qsizetype> slotsOf(const QList<qint64>& nos) const;
    // The records in whose kind, question or answer every word (folded, as searchWords gives
    // them) occurs. With `within`, only its slots are looked at: a search that narrows an
    // earlier one.
    SearchHits find(const QStringList& words, const SearchHits* within = nullptr) const;

    int chunkCount() const { return int(m_chunks.size()); }
    // Chunks this index took over from `older` unchanged.
    int sharedChunks(const SearchIndex& older) const;
    qsizetype memoryBytes() const;

private:
    qsizetype chunkOfSlot(qsizetype slot) const;

    std::vector<std::shared_ptr<const Chunk>> m_chunks;
    std::vector<qsizetype> m_base; // first slot of each chunk
    std::vector<std::pair<qint64, qsizetype>> m_slots; // (number, slot), by number
    std::vector<quint32> m_frequency; // per UTF-16 code unit, from a sample of the text
    qsizetype m_size = 0;
};

} // namespace qadora
