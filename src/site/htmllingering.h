// SPDX-License-Identifier: GPL-3.0-or-later
// The formatting elements that something other than their end tag closed, which the HTML
// parser keeps in its list of active formatting elements and opens again as soon as text or a
// tag follows: for the tokenizer that limits the depth of markup (htmldepth.cpp).
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <string>
#include <string_view>
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
            m_entries.erase(earliest);
        m_entries.push_back({std::string(name), attributes, marker});
    }

    // An end tag (or an <a>) ends the latest of its name.
    bool end(std::string_view name)
    {
        for (size_t k = m_entries.size(); k > 0; --k) {
            if (m_entries[k - 1].name == name) {
                m_entries.erase(m_entries.begin() + qsizetype(k - 1));
                return true;
            }
        }
        return false;
    }

    // Markers at `place` and above closed: what stood after them goes with them.
    void endAfterMarkersFrom(qsizetype place)
    {
        std::erase_if(m_entries, [place](const Entry& e) { return e.marker >= place; });
    }

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

private:
    struct Entry {
        std::string name;
        std::string_view attributes; // as written: what makes two of them the same
        qsizetype marker;
    };
    std::vector<Entry> m_entries;
};

} // namespace qadora
