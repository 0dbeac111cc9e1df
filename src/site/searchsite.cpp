// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchsite.h"
#include "searchbuilder_p.h"

#include "modernpages.h"
#include "search/searchtext.h"
#include "utf8text.h"

#include <algorithm>
#include <span>
#include <vector>

namespace qadora {

namespace {

bool htmlSpace(char16_t u)
{
    // No character above the ideographic space is white space: most of a Japanese text is
    // told so without asking Qt's tables.
    return u <= 0x3000 && QChar(u).isSpace();
}

// The shard of a piece, by its first code unit only: the pieces a word typed on can grow
// into are in the shard of its last character, which the page fetches before the next key.
// The page's script computes the same from the same code unit.
int shardOf(char16_t first, int shards)
{
    return int(quint32(first) % quint32(shards));
}

// Appends the records of a piece, whichever is shorter: their differences in base 36 (as
// JavaScript's parseInt(…, 36) reads them), or (after a "~") one bit a record, six to a
// character, for the pieces that most records hold. Written straight into `out`, grown once:
// this runs for every piece of the site.
void appendPostings(QByteArray& out, std::span<const int> ids)
{
    static const char kSixBits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    static const char kBase36[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    const int last = ids.empty() ? 0 : ids.back();
    const qsizetype bitmapSize = last / 6 + 2;
    const qsizetype start = out.size();
    // A number of up to 31 bits is at most 6 base-36 digits and a comma.
    out.resize(start + std::min<qsizetype>(qsizetype(ids.size()) * 7, bitmapSize + 8));
    char* const begin = out.data() + start;
    char* at = begin;
    char* const limit = begin + bitmapSize;
    int previous = 0;
    for (size_t i = 0; i < ids.size() && at <= limit; ++i) {
        if (i > 0)
            *at++ = ',';
        unsigned n = unsigned(i == 0 ? ids[i] : ids[i] - previous);
        previous = ids[i];
        char digits[8];
        int used = 0;
        do {
            digits[used++] = kBase36[n % 36];
            n /= 36;
        } while (n > 0);
        while (used > 0)
            *at++ = digits[--used];
    }
    if (at - begin <= bitmapSize) {
        out.truncate(start + (at - begin));
        return;
    }
    out.resize(start + 1 + last / 6 + 1);
    char* bits = out.data() + start;
    *bits++ = '~';
    std::fill(bits, bits + last / 6 + 1, char(0));
    for (const int id : ids)
        bits[id / 6] = char(bits[id / 6] | (1 << (id % 6)));
    for (qsizetype b = 0; b <= last / 6; ++b)
        bits[b] = kSixBits[int(bits[b])];
}

QByteArray dataFile(const QString& name, const QByteArray& json)
{
    return "qadoraLoaded(" + jsonString(name).toUtf8() + ',' + json + ");\n";
}

QByteArray dataFile(const QString& name, const QString& json)
{
    return dataFile(name, json.toUtf8());
}

} // namespace

SearchLayout searchLayout(qsizetype documents)
{
    SearchLayout layout;
    // About 32 records' pieces a shard: a query of a few words fetches a few kilobytes, and a
    // large site does not become thousands of files.
    int shards = 16;
    while (shards < 1024 && shards * 32 < documents)
        shards *= 2;
    layout.shards = shards;
    // A key's results are about as many records apart as the site is large, so on a large
    // site each result shown costs a chunk of its own: smaller chunks there make a phone fetch
    // and parse a quarter of the text per key. Small sites keep fewer, larger files.
    layout.chunk = documents > 4096 ? 16 : 64;
    return layout;
}

void SearchIndexBuilder::add(const SearchDocument& d)
{
    // Each piece (a character, two, or one followed by two digits) with the records that hold it, in record
    // order. A key is the piece's code units, 16 bits each, the first highest.
    PieceLists& postings = m_postings;
    const int id = int(m_count++);
    auto digit = [](char16_t u) { return u >= u'0' && u <= u'9'; };
    for (const QString* field : {&d.question, &d.answer}) {
        const QString folded = foldForSearch(*field);
        const char16_t* s = reinterpret_cast<const char16_t*>(folded.utf16());
        const qsizetype n = folded.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (htmlSpace(s[i]))
                continue;
            postings.add(quint64(s[i]) << 32, id);
            if (i + 1 < n && !htmlSpace(s[i + 1]))
                postings.add((quint64(s[i]) << 32) | (quint64(s[i + 1]) << 16), id);
            // Numbers share a few pairs of digits: two digits with what comes before them
            // keep a query of a number (受付番号123) from matching nearly every record that
            // has numbers.
            if (i + 2 < n && digit(s[i + 1]) && digit(s[i + 2]))
                postings.add((quint64(s[i]) << 32) | (quint64(s[i + 1]) << 16) | s[i + 2], id);
        }
    }

    // The records' own file, a chunk at a time as its last record comes; written as the UTF-8
    // it is saved as, without a QString of it first.
    Utf8Text& chunk = m_chunk;
    chunk << (chunk.bytes().isEmpty() ? '[' : ',') << '[';
    chunk.number(d.kind) << ',';
    chunk.json(linkTo(d.file)) << ',';
    chunk.json(d.question) << ',';
    chunk.json(d.answer) << ']';
    if (m_count % m_layout.chunk == 0)
        endChunk();
}

void SearchIndexBuilder::endChunk()
{
    if (m_chunk.bytes().isEmpty())
        return;
    m_chunk << ']';
    const QString name = QStringLiteral("qs-d%1.js").arg(m_chunks.size());
    m_chunks.append({name, dataFile(name, m_chunk.take())});
}

QList<std::pair<QString, QByteArray>> searchFiles(const QList<SearchKind>& kinds, const QList<SearchDocument>& documents)
{
    SearchIndexBuilder builder(searchLayout(documents.size()));
    for (const SearchDocument& d : documents)
        builder.add(d);
    return builder.files(kinds);
}

QList<std::pair<QString, QByteArray>> SearchIndexBuilder::files(const QList<SearchKind>& kinds)
{
    const SearchLayout& layout = m_layout;
    QList<std::pair<QString, QByteArray>> files;
    files.append({kSearchScript, searchScript()});
    PieceLists& postings = m_postings;
    std::vector<std::vector<std::pair<quint64, PieceLists::List>>> shardKeys(size_t(layout.shards)); // (key, list)
    for (const auto& [key, list] : postings.lists())
        shardKeys[size_t(shardOf(char16_t(key >> 32), layout.shards))].push_back({key, list});
    std::vector<int> ids;
    for (int shard = 0; shard < layout.shards; ++shard) {
        std::vector<std::pair<quint64, PieceLists::List>>& keys = shardKeys[size_t(shard)];
        std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QByteArray json = "{";
        for (size_t k = 0; k < keys.size(); ++k) {
            if (k > 0)
                json += ',';
            json += '"';
            // A piece can be half of a character outside the BMP: such a unit is written as an
            // escape, which the page reads back as that same unit (as UTF-8 it would be lost).
            for (int shift = 32; shift >= 0; shift -= 16) {
                const char16_t u = char16_t(keys[k].first >> shift);
                if (u && QChar::isSurrogate(u))
                    json += QByteArray("\\u") + QByteArray::number(unsigned(u), 16).rightJustified(4, '0');
                else if (u >= 0x800 && u != 0x2028 && u != 0x2029) { // most pieces: as UTF-8, unescaped
                    const char utf8[] = {char(0xe0 | (u >> 12)), char(0x80 | ((u >> 6) & 0x3f)), char(0x80 | (u & 0x3f))};
                    json += QByteArrayView(utf8, 3);
                }
                else if (u >= 0x80 && u < 0x800) {
                    const char utf8[] = {char(0xc0 | (u >> 6)), char(0x80 | (u & 0x3f))};
                    json += QByteArrayView(utf8, 2);
                } else if (u && u < 0x80 && !utf8text::kSpecials.json[u]) // ASCII that JSON takes as it is
                    json += char(u);
                else if (u)
                    json += jsonString(QString(QChar(u))).mid(1).chopped(1).toUtf8();
            }
            json += "\":\"";
            postings.ids(keys[k].second, ids);
            appendPostings(json, ids);
            json += '"';
        }
        json += '}';
        const QString name = QStringLiteral("qs-g%1.js").arg(shard);
        files.append({name, dataFile(name, json)});
    }

    endChunk();
    files += std::move(m_chunks);
    m_chunks.clear();
    QString meta = QStringLiteral("{\"count\":") + QString::number(m_count) + QStringLiteral(",\"shards\":")
        + QString::number(layout.shards) + QStringLiteral(",\"chunk\":") + QString::number(layout.chunk)
        + QStringLiteral(",\"kinds\":[");
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        if (i > 0)
            meta += u',';
        meta += u'[' + jsonString(linkTo(kinds[i].file)) + u',' + jsonString(kinds[i].title) + u']';
    }
    // Each shard's and chunk's version, which the page asks for them by: a file changed by
    // a rebuild is fetched anew, the others stay in the browser's cache.
    meta += QStringLiteral("],\"v\":[");
    for (qsizetype i = 1; i < files.size(); ++i) {
        if (i > 1)
            meta += u',';
        meta += u'"' + contentVersion(files[i].second) + u'"';
    }
    meta += QStringLiteral("]}");
    const QByteArray metaFile = dataFile(kSearchMeta, meta);
    files.insert(1, {kSearchMeta, metaFile});
    // The page's script carries the first file of the index, so that a query in the address
    // waits for one file fewer. Outside a browser there is nothing to hand it to.
    files[0].second += "if (typeof qadoraLoaded === 'function') " + metaFile;

    return files;
}

} // namespace qadora
