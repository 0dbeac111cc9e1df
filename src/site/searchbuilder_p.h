// SPDX-License-Identifier: GPL-3.0-or-later
// The search index's builder, for the files of src/site that build it: at once, or as a run's
// records come (searchfeed.cpp).
#pragma once

#include "searchsite.h"
#include "utf8text.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace qadora {

// The records of each piece, by the piece's key. Open addressing, each key in its slot: the
// writer looks a piece up for every character of every record, and a node-based table spends
// most of its time there. A list's records go in blocks of one arena, each twice the one
// before and ending with where that one ends; the slot keeps the last block's place, so that
// adding a record touches the slot and that place alone, with no allocation of its own.
class PieceLists {
public:
    explicit PieceLists(qsizetype expected)
    {
        size_t size = 1024;
        while (size < size_t(expected) * 2)
            size *= 2;
        sized(size);
    }
    // Records come in order: a piece a record holds again is told by its slot alone, without
    // reading its list.
    void add(quint64 key, int id)
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t at = slotOf(key);; at = (at + 1) & mask) {
            Slot& slot = m_slots[at];
            if (slot.end < 0) {
                slot.key = key;
                slot.last = id;
                slot.blocks = 0;
                slot.limit = newBlock(0, -1);
                slot.end = slot.limit - (kFirstBlock - 1);
                m_arena[slot.end++] = id;
                if (++m_count * 2 > m_slots.size())
                    grow();
                return;
            }
            if (slot.key == key) {
                if (slot.last != id) {
                    slot.last = id;
                    if (slot.end == slot.limit) {
                        slot.limit = newBlock(++slot.blocks, slot.limit);
                        slot.end = slot.limit - (blockSize(slot.blocks) - 1);
                    }
                    m_arena[slot.end++] = id;
                }
                return;
            }
        }
    }
    struct List {
        int end;    // past the last record
        int limit;  // where the last block's records end
        int blocks; // the blocks before the last
    };
    // Every piece's key with its list, in no order.
    std::vector<std::pair<quint64, List>> lists() const
    {
        std::vector<std::pair<quint64, List>> all;
        all.reserve(m_count);
        for (const Slot& slot : m_slots)
            if (slot.end >= 0)
                all.push_back({slot.key, {slot.end, slot.limit, slot.blocks}});
        return all;
    }
    // A list's records, in order, into `ids`.
    void ids(const List& list, std::vector<int>& ids) const
    {
        // The blocks before the last are full: kFirstBlock - 1, twice that plus one, ...
        size_t count = size_t(list.end - (list.limit - (blockSize(list.blocks) - 1)));
        for (int b = 0; b < list.blocks; ++b)
            count += size_t(blockSize(b) - 1);
        ids.resize(count);
        int* out = ids.data() + count;
        int end = list.end;
        int limit = list.limit;
        for (int b = list.blocks; b >= 0; --b) {
            const int start = limit - (blockSize(b) - 1);
            out -= end - start;
            std::copy(m_arena.begin() + start, m_arena.begin() + end, out);
            end = limit = m_arena[size_t(limit)];
        }
    }

private:
    struct Slot {
        quint64 key = 0;
        int last = -1;  // the record last added to the list
        int end = -1;   // where the list's next record goes; none: a free slot
        int limit = 0;  // where the last block's records end: its link to the one before
        int blocks = 0; // blocks before the last
    };
    static constexpr int kFirstBlock = 8; // ints, its link among them
    static constexpr int blockSize(int before) { return kFirstBlock << std::min(before, 10); }
    // A block of the size that follows `before` blocks, linked to the end of the one before
    // it (-1: none): where its records end.
    int newBlock(int before, int previousLimit)
    {
        m_arena.resize(m_arena.size() + size_t(blockSize(before))); // grows by doubling
        const int limit = int(m_arena.size() - 1);
        m_arena[size_t(limit)] = previousLimit;
        return limit;
    }

    // The top bits of the product, which every bit of the key reaches (its low bits are
    // often zero).
    size_t slotOf(quint64 key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> m_shift); }
    void sized(size_t size)
    {
        m_slots.assign(size, Slot{});
        m_shift = 64;
        while (size > 1) {
            size /= 2;
            --m_shift;
        }
    }

    void grow()
    {
        const std::vector<Slot> old = std::move(m_slots);
        sized(old.size() * 2);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.end < 0)
                continue;
            size_t at = slotOf(slot.key);
            while (m_slots[at].end >= 0)
                at = (at + 1) & mask;
            m_slots[at] = slot;
        }
    }

    std::vector<Slot> m_slots;
    int m_shift = 64;
    size_t m_count = 0;
    std::vector<int> m_arena;
};

// The index a record at a time: add() each record in order, then files() once.
class SearchIndexBuilder {
public:
    explicit SearchIndexBuilder(const SearchLayout& layout) : m_layout(layout) {}
    void add(const SearchDocument& document);
    QList<std::pair<QString, QByteArray>> files(const QList<SearchKind>& kinds);
    qsizetype count() const { return m_count; }
    const SearchLayout& layout() const { return m_layout; }

private:
    void endChunk();
    SearchLayout m_layout; // from the number of records, known before the first
    PieceLists m_postings{4096};
    qsizetype m_count = 0;
    Utf8Text m_chunk; // the records' file under way
    QList<std::pair<QString, QByteArray>> m_chunks;
};

} // namespace qadora
