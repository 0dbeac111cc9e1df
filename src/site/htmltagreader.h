// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of markup as the HTML tokenizer reads them (comments, tags, attributes, raw
// text): for the tokenizer that limits the depth of markup (htmldepth.cpp).
#pragma once

#include "htmltagnames.h"

#include <QByteArray>

#include <cstring>
#include <string>
#include <string_view>

namespace qadora {

class TagReader {
protected:
    explicit TagReader(const QByteArray& in)
        : m_s(in.constData())
        , m_n(in.size())
    {
    }

    qsizetype find(qsizetype from, const char* what) const
    {
        const std::string_view rest(m_s + from, size_t(m_n - from));
        const size_t at = rest.find(what);
        return at == std::string_view::npos ? m_n : from + qsizetype(at);
    }

    qsizetype bogusComment(qsizetype at) const
    {
        const void* gt = std::memchr(m_s + at, '>', size_t(m_n - at));
        return gt ? static_cast<const char*>(gt) - m_s + 1 : m_n;
    }

    // The tag's name, lower-cased, from `at`; `at` is left after it.
    std::string tagName(qsizetype& at) const
    {
        std::string name;
        while (at < m_n && !tagnames::isSpace(m_s[at]) && m_s[at] != '/' && m_s[at] != '>') {
            const char c = m_s[at++];
            name += c >= 'A' && c <= 'Z' ? char(c + 32) : c;
        }
        return name;
    }

    // Past a tag's attributes and its ">", or -1 where the input ends inside the tag (the
    // tokenizer then emits nothing more).
    qsizetype afterAttributes(qsizetype at, bool* selfClosing) const
    {
        *selfClosing = false;
        while (at < m_n) {
            const char c = m_s[at];
            if (tagnames::isSpace(c)) {
                ++at;
                continue;
            }
            if (c == '>')
                return at + 1;
            if (c == '/') {
                *selfClosing = at + 1 < m_n && m_s[at + 1] == '>';
                ++at;
                continue;
            }
            ++at; // the name's first character may be any, "=" too
            while (at < m_n && !tagnames::isSpace(m_s[at]) && m_s[at] != '/' && m_s[at] != '>' && m_s[at] != '=')
                ++at;
            while (at < m_n && tagnames::isSpace(m_s[at]))
                ++at;
            if (at < m_n && m_s[at] == '=') {
                ++at;
                while (at < m_n && tagnames::isSpace(m_s[at]))
                    ++at;
                if (at < m_n && (m_s[at] == '"' || m_s[at] == '\'')) {
                    const void* q = std::memchr(m_s + at + 1, m_s[at], size_t(m_n - at - 1));
                    if (!q)
                        return -1;
                    at = static_cast<const char*>(q) - m_s + 1;
                } else {
                    while (at < m_n && !tagnames::isSpace(m_s[at]) && m_s[at] != '>')
                        ++at;
                }
            }
        }
        return -1;
    }

    // Where the text of raw-text element `name` ends: at its end tag, or at the end.
    qsizetype rawTextEnd(qsizetype from, const std::string& name) const
    {
        for (qsizetype k = find(from, "</"); k < m_n; k = find(k + 2, "</")) {
            const qsizetype after = k + 2 + qsizetype(name.size());
            if (after > m_n)
                break;
            bool same = true;
            for (size_t j = 0; j < name.size() && same; ++j) {
                const char c = m_s[k + 2 + qsizetype(j)];
                same = (c >= 'A' && c <= 'Z' ? char(c + 32) : c) == name[j];
            }
            if (same && (after == m_n || tagnames::isSpace(m_s[after]) || m_s[after] == '/' || m_s[after] == '>'))
                return k;
        }
        return m_n;
    }

    const char* m_s;
    qsizetype m_n;
};

} // namespace qadora
