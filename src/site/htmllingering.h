// SPDX-License-Identifier: GPL-3.0-or-later
// The formatting elements that something other than their end tag closed, which the HTML
// parser keeps in its list of active formatting elements and opens again as soon as text or a
// tag follows: for the tokenizer that limits the depth of markup (htmldepth.cpp).
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qadora {

class LingeringFormatting {
public:
    // `marker`: the innermost marker's place in the stack below the element, or -1.
    void add(std::string_view name, std::string_view attributes, qsizetype marker)
    {
        // Of three the same after one marker, the parser forgets the earliest.
        int same = 0;
        auto earliest = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->marker == marker && it->name == name && it->attributes == attributes && same++ == 0)
                earliest = it;
        }
        if (same >= 3)
            erase(earliest);
        m_entries.push_back({std::string(name), attributes, marker});
        m_pending += markupSize(m_entries.back());
    }

    // An end tag (or an <a>) ends the latest of its name.
    bool end(std::string_view name)
    {
        for (size_t k = m_entries.size(); k > 0; --k) {
            if (m_entries[k - 1].name == name) {
                erase(m_entries.begin() + qsizetype(k - 1));
                return true;
            }
        }
        return false;
    }

    // Markers at `place` and above closed: what stood after them goes with them.
    void endAfterMarkersFrom(qsizetype place)
    {
        std::erase_if(m_entries, [place, this](const Entry& e) {
            if (e.marker < place)
                return false;
            if (e.reopenedAt < 0)
                m_pending -= markupSize(e);
            return true;
        });
    }

    // Text or an inline tag where the stack is `depth` deep: the parser opens those not open
    // again there. The size of the markup it writes for them.
    qsizetype reopen(qsizetype depth)
    {
        if (m_pending == 0)
            return 0;
        for (Entry& e : m_entries)
            if (e.reopenedAt < 0)
                e.reopenedAt = depth;
        return std::exchange(m_pending, 0);
    }

    // The elements from `at` up closed: those opened again above them are closed once more.
    void closedFrom(qsizetype at)
    {
        for (Entry& e : m_entries) {
            if (e.reopenedAt > at) {
                e.reopenedAt = -1;
                m_pending += markupSize(e);
            }
        }
    }

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

private:
    struct Entry {
        std::string name;
        std::string_view attributes; // as written: what makes two of them the same
        qsizetype marker;
        qsizetype reopenedAt = -1; // opened again above this many open elements, or not open
    };

    static qsizetype markupSize(const Entry& e) { return qsizetype(2 * e.name.size() + e.attributes.size() + 5); }

    void erase(std::vector<Entry>::iterator it)
    {
        if (it->reopenedAt < 0)
            m_pending -= markupSize(*it);
        m_entries.erase(it);
    }

    std::vector<Entry> m_entries;
    qsizetype m_pending = 0; // the markup of those not open
};

} // namespace qadora
