// SPDX-License-Identifier: GPL-3.0-or-later
// The search index's builder, for the files of src/site that build it: at once, or as a run's
// records come (searchfeed.cpp).
#pragma once

#include "searchsite.h"
#include "utf8text.h"

#include <span>
#include <vector>

namespace qadora {

// The records of each piece, by the piece's key. Open addressing, each key in its slot: the
// writer looks a piece up for every character of every record, and a node-based table spends
// most of its time there.
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
        size_t at = slotOf(key);
        for (;; at = (at + 1) & mask) {
            Slot& slot = m_slots[at];
            if (slot.list < 0)
                break;
            if (slot.key == key) {
                if (slot.last != id) {
                    slot.last = id;
                    m_lists[size_t(slot.list)].push_back(id);
                }
                return;
            }
        }
        const int list = int(m_keys.size());
        m_keys.push_back(key);
        m_lists.emplace_back(1, id);
        m_slots[at] = {key, list, id};
        if (m_keys.size() * 2 > m_slots.size())
            grow();
    }
    size_t size() const { return m_keys.size(); }
    quint64 key(size_t list) const { return m_keys[list]; }
    std::span<const int> ids(size_t list) const { return m_lists[list]; }

private:
    struct Slot {
        quint64 key = 0;
        int list = -1;
        int last = -1; // the record last added to the list
    };
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
            if (slot.list < 0)
                continue;
            size_t at = slotOf(slot.key);
            while (m_slots[at].list >= 0)
                at = (at + 1) & mask;
            m_slots[at] = slot;
        }
    }

    std::vector<Slot> m_slots;
    int m_shift = 64;
    std::vector<quint64> m_keys;
    std::vector<std::vector<int>> m_lists;
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
