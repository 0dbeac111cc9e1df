// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchindex.h"

#include "searchtext.h"

#include <QSet>
#include <QStringView>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <limits>
#include <cstring>
#include <numeric>
#include <thread>
#include <variant>

namespace qadora {

namespace {

constexpr int kMinChunk = 64;
constexpr qsizetype kParallelRecords = 50000;
constexpr int kMaxChunk = 1024;
constexpr char16_t kSeparator = u'\n'; // between fields and records; never inside a word

quint64 mix(quint64 key)
{
    return key * 0x9E3779B97F4A7C15ull;
}

// A chunk ends after a record whose number has these low bits clear in its mix, so the ends
// stay where they were when records elsewhere come and go: unchanged chunks are taken over.
bool endsChunk(qint64 no, qsizetype size)
{
    return size >= kMaxChunk || (size >= kMinChunk && (mix(quint64(no)) >> 56) == 0);
}

quint64 unigram(char16_t c)
{
    return 0xFFFF00000000ull | c;
}

quint64 bigram(char16_t a, char16_t b)
{
    return (quint64(a) << 16) | b;
}

quint64 recordHash(const Record& r)
{
    size_t h = qHash(QStringView(r.kind), size_t(0x51ed270b));
    h = qHash(QStringView(r.quest), h);
    h = qHash(QStringView(r.anser), h);
    return h;
}

// The grams a chunk must hold for `word` to occur in it.
void gramsOf(const QString& word, std::vector<quint64>* grams)
{
    if (word.size() == 1) {
        grams->push_back(unigram(word[0].unicode()));
        return;
    }
    for (qsizetype i = 0; i + 1 < word.size(); ++i)
        grams->push_back(bigram(word[i].unicode(), word[i + 1].unicode()));
}

} // namespace

struct SearchIndex::Chunk {
    std::vector<qint64> nos;
    std::vector<quint64> hashes; // of each record as stored, to find unchanged ones
    std::vector<quint32> starts; // where each record's text starts; one more for the end
    QString text;                // kind, question and answer of each record, folded, each ended by kSeparator
    std::vector<quint64> filter; // one bit per hash of a character or character pair
    int shift = 0;               // 64 - log2 of the filter's bits

    qsizetype size() const { return qsizetype(nos.size()); }

    void buildFilter()
    {
        const quint64 bits = std::bit_ceil(quint64(std::clamp<qsizetype>(text.size() * 4, 1024, 1 << 22)));
        shift = 64 - std::countr_zero(bits);
        filter.assign(size_t(bits / 64), 0);
        const char16_t* t = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (t[i] == kSeparator)
                continue;
            set(unigram(t[i]));
            if (i + 1 < n && t[i + 1] != kSeparator)
                set(bigram(t[i], t[i + 1]));
        }
    }
    void set(quint64 gram)
    {
        const quint64 bit = mix(gram) >> shift;
        filter[size_t(bit >> 6)] |= quint64(1) << (bit & 63);
    }
    bool mayHold(const std::vector<quint64>& grams) const
    {
        for (quint64 gram : grams) {
            const quint64 bit = mix(gram) >> shift;
            if (!((filter[size_t(bit >> 6)] >> (bit & 63)) & 1u))
                return false;
        }
        return true;
    }
    QStringView recordText(qsizetype pos) const
    {
        return QStringView(text).sliced(starts[size_t(pos)], starts[size_t(pos) + 1] - starts[size_t(pos)]);
    }
};

// The first `c` in [from, to) of `t`, or -1. Inline: most scans in a search are a few
// characters long, where a call into the library would cost more than the scan.
qsizetype findChar(const char16_t* t, qsizetype from, qsizetype to, char16_t c)
{
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi16(short(c));
    for (; i + 8 <= to; i += 8) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(chars, wanted));
        if (mask)
            return i + std::countr_zero(unsigned(mask)) / 2;
    }
#endif
    for (; i < to; ++i) {
        if (t[i] == c)
            return i;
    }
    return -1;
}

// A word to look for, with the character a scan looks for first: the rarest one.
struct Needle {
    QString word;
    qsizetype anchor = 0;

    // The first place in [from, to) of `text` where the word starts, or -1.
    qsizetype findIn(const char16_t* text, qsizetype from, qsizetype to) const
    {
        const qsizetype length = word.size();
        const char16_t* w = reinterpret_cast<const char16_t*>(word.constData());
        const char16_t a = w[anchor];
        const qsizetype last = to - length + anchor; // the anchor's last possible place
        qsizetype at = from + anchor;
        while (at <= last) {
            const qsizetype hit = findChar(text, at, last + 1, a);
            if (hit < 0)
                return -1;
            const qsizetype start = hit - anchor;
            if (std::memcmp(text + start, w, size_t(length) * sizeof(char16_t)) == 0)
                return start;
            at = hit + 1;
        }
        return -1;
    }
};

class SearchIndex::Builder {
public:
    explicit Builder(const SearchIndex* previous)
        : m_previous(previous)
    {
        if (previous) {
            for (size_t i = 0; i < previous->m_chunks.size(); ++i)
                m_previousByFirst.insert(previous->m_chunks[i]->nos.front(), int(i));
        }
    }

    void add(const Record& r)
    {
        const quint64 hash = recordHash(r);
        Pending p{r.no, hash, {}};
        // The folded text of an unchanged record is taken from the index it is in.
        if (m_previous) {
            const qsizetype slot = m_previous->slotOf(r.no);
            if (slot >= 0) {
                const qsizetype c = m_previous->chunkOfSlot(slot);
                const Chunk& chunk = *m_previous->m_chunks[size_t(c)];
                const qsizetype pos = slot - m_previous->m_base[size_t(c)];
                if (chunk.hashes[size_t(pos)] == hash)
                    p.text = chunk.recordText(pos);
            }
        }
        if (std::holds_alternative<std::monostate>(p.text)) {
            QString folded = foldForSearch(r.kind);
            folded += kSeparator;
            folded += foldForSearch(r.quest);
            folded += kSeparator;
            folded += foldForSearch(r.anser);
            folded += kSeparator;
            p.text = std::move(folded);
        }
        m_pending.push_back(std::move(p));
        ++m_records;
        if (endsChunk(r.no, qsizetype(m_pending.size())))
            closeChunk();
    }

    std::shared_ptr<const SearchIndex> finish()
    {
        if (!m_pending.empty())
            closeChunk();
        auto index = std::make_shared<SearchIndex>();
        index->m_chunks = std::move(m_chunks);
        qsizetype slot = 0;
        index->m_base.reserve(index->m_chunks.size());
        index->m_frequency.assign(65536, 0);
        index->m_slots.reserve(m_records);
        for (const auto& chunk : index->m_chunks) {
            index->m_base.push_back(slot);
            for (qsizetype i = 0; i < chunk->size(); ++i)
                index->m_slots.emplace_back(chunk->nos[size_t(i)], slot + i);
            slot += chunk->size();
            // A sample is enough to tell a rare character from a common one.
            const char16_t* t = reinterpret_cast<const char16_t*>(chunk->text.constData());
            for (qsizetype i = 0; i < chunk->text.size(); i += 7)
                ++index->m_frequency[t[i]];
        }
        index->m_size = slot;
        // Walks give ascending numbers: sorting is a check.
        if (!std::is_sorted(index->m_slots.begin(), index->m_slots.end()))
            std::sort(index->m_slots.begin(), index->m_slots.end());
        return index;
    }

private:
    struct Pending {
        qint64 no;
        quint64 hash;
        std::variant<std::monostate, QStringView, QString> text; // taken over or folded now
    };

    void closeChunk()
    {
        if (const auto reused = unchangedChunk()) {
            m_chunks.push_back(reused);
            m_pending.clear();
            return;
        }
        auto chunk = std::make_shared<Chunk>();
        qsizetype length = 0;
        for (const Pending& p : m_pending)
            length += std::holds_alternative<QString>(p.text) ? std::get<QString>(p.text).size()
                                                              : std::get<QStringView>(p.text).size();
        chunk->text.reserve(length);
        chunk->nos.reserve(m_pending.size());
        chunk->hashes.reserve(m_pending.size());
        chunk->starts.reserve(m_pending.size() + 1);
        for (const Pending& p : m_pending) {
            chunk->nos.push_back(p.no);
            chunk->hashes.push_back(p.hash);
            chunk->starts.push_back(quint32(chunk->text.size()));
            if (std::holds_alternative<QString>(p.text))
                chunk->text += std::get<QString>(p.text);
            else
                chunk->text += std::get<QStringView>(p.text);
        }
        chunk->starts.push_back(quint32(chunk->text.size()));
        chunk->buildFilter();
        m_chunks.push_back(std::move(chunk));
        m_pending.clear();
    }

    std::shared_ptr<const Chunk> unchangedChunk() const
    {
        if (!m_previous)
            return nullptr;
        const auto it = m_previousByFirst.constFind(m_pending.front().no);
        if (it == m_previousByFirst.cend())
            return nullptr;
        const auto& chunk = m_previous->m_chunks[size_t(*it)];
        if (chunk->size() != qsizetype(m_pending.size()))
            return nullptr;
        for (size_t i = 0; i < m_pending.size(); ++i) {
            if (chunk->nos[i] != m_pending[i].no || chunk->hashes[i] != m_pending[i].hash)
                return nullptr;
        }
        return chunk;
    }

    const SearchIndex* m_previous;
    QHash<qint64, int> m_previousByFirst;
    std::vector<Pending> m_pending;
    std::vector<std::shared_ptr<const Chunk>> m_chunks;
    size_t m_records = 0;
};

bool SearchHits::anyIn(qsizetype from, qsizetype to) const
{
    for (qsizetype i = from; i < to;) {
        if ((i & 63) == 0 && i + 64 <= to) {
            if (m_bits[size_t(i >> 6)])
                return true;
            i += 64;
        } else {
            if (test(i))
                return true;
            ++i;
        }
    }
    return false;
}

void SearchHits::merge(const SearchHits& other)
{
    for (size_t i = 0; i < m_bits.size() && i < other.m_bits.size(); ++i)
        m_bits[i] |= other.m_bits[i];
}

qsizetype SearchHits::count() const
{
    qsizetype n = 0;
    for (quint64 word : m_bits)
        n += std::popcount(word);
    return n;
}

SearchIndex::SearchIndex() = default;
SearchIndex::~SearchIndex() = default;

std::shared_ptr<const SearchIndex> SearchIndex::fromStore(const QString& path, const SearchIndex* previous,
                                                          const std::atomic<bool>* cancel, StoreStatus* status)
{
    auto store = openStore(path, status);
    if (!store)
        return nullptr;
    Builder builder(previous);
    WalkOptions options;
    bool cancelled = false;
    *status = store->walk(options, [&](const Record& r) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            cancelled = true;
            return false;
        }
        builder.add(r);
        return true;
    });
    if (cancelled || !status->ok())
        return nullptr;
    return builder.finish();
}

std::shared_ptr<const SearchIndex> SearchIndex::fromRecords(const std::vector<Record>& records,
                                                            const SearchIndex* previous)
{
    Builder builder(previous);
    for (const Record& r : records)
        builder.add(r);
    return builder.finish();
}

qsizetype SearchIndex::slotOf(qint64 no) const
{
    const auto it = std::lower_bound(m_slots.begin(), m_slots.end(), std::pair<qint64, qsizetype>(no, -1));
    return it != m_slots.end() && it->first == no ? it->second : -1;
}

std::vector<qsizetype> SearchIndex::slotsOf(const QList<qint64>& nos) const
{
    std::vector<qsizetype> found;
    found.reserve(size_t(nos.size()));
    auto at = m_slots.begin();
    qint64 last = std::numeric_limits<qint64>::min();
    for (qint64 no : nos) {
        // Ascending numbers walk along; a step back is looked up.
        if (no < last)
            at = std::lower_bound(m_slots.begin(), m_slots.end(), std::pair<qint64, qsizetype>(no, -1));
        last = no;
        while (at != m_slots.end() && at->first < no)
            ++at;
        found.push_back(at != m_slots.end() && at->first == no ? at->second : -1);
    }
    return found;
}

qsizetype SearchIndex::chunkOfSlot(qsizetype slot) const
{
    return qsizetype(std::upper_bound(m_base.begin(), m_base.end(), slot) - m_base.begin()) - 1;
}

SearchHits SearchIndex::find(const QStringList& words, const SearchHits* within) const
{
    SearchHits hits(m_size);
    if (words.isEmpty() || (within && within->size() != m_size))
        return hits;
    // The longest word first: it narrows most; each scans for its rarest character.
    std::vector<Needle> needles;
    std::vector<quint64> grams;
    for (const QString& word : words) {
        Needle n{word, 0};
        for (qsizetype i = 1; i < word.size(); ++i) {
            if (m_frequency[word[i].unicode()] < m_frequency[word[n.anchor].unicode()])
                n.anchor = i;
        }
        needles.push_back(std::move(n));
        gramsOf(word, &grams);
    }
    std::stable_sort(needles.begin(), needles.end(),
                     [](const Needle& a, const Needle& b) { return a.word.size() > b.word.size(); });
    auto restMatch = [&](const Chunk& chunk, const char16_t* text, qsizetype pos) {
        const qsizetype from = chunk.starts[size_t(pos)];
        const qsizetype to = chunk.starts[size_t(pos) + 1];
        for (size_t w = 1; w < needles.size(); ++w) {
            if (needles[w].findIn(text, from, to) < 0)
                return false;
        }
        return true;
    };
    auto scan = [&](size_t first, size_t last, SearchHits& out) {
        for (size_t c = first; c < last; ++c) {
            const Chunk& chunk = *m_chunks[c];
            const qsizetype base = m_base[c];
            if (within && !within->anyIn(base, base + chunk.size()))
                continue;
            if (!chunk.mayHold(grams))
                continue;
            const char16_t* text = reinterpret_cast<const char16_t*>(chunk.text.constData());
            if (within) {
                for (qsizetype pos = 0; pos < chunk.size(); ++pos) {
                    if (within->test(base + pos)
                        && needles[0].findIn(text, chunk.starts[size_t(pos)], chunk.starts[size_t(pos) + 1]) >= 0
                        && restMatch(chunk, text, pos))
                        out.set(base + pos);
                }
                continue;
            }
            // One scan of the chunk for the first word; after a hit, on from the next record.
            const qsizetype end = chunk.text.size();
            qsizetype from = 0;
            qsizetype pos = 0;
            while (from < end) {
                const qsizetype at = needles[0].findIn(text, from, end);
                if (at < 0)
                    break;
                while (chunk.starts[size_t(pos) + 1] <= quint32(at))
                    ++pos;
                if (restMatch(chunk, text, pos))
                    out.set(base + pos);
                from = chunk.starts[size_t(pos) + 1];
            }
        }
    };
    // A large index is searched in two halves at once.
    const size_t n = m_chunks.size();
    if (m_size < kParallelRecords || std::thread::hardware_concurrency() < 2) {
        scan(0, n, hits);
        return hits;
    }
    SearchHits second(m_size);
    std::thread other([&] { scan(n / 2, n, second); });
    scan(0, n / 2, hits);
    other.join();
    hits.merge(second);
    return hits;
}

int SearchIndex::sharedChunks(const SearchIndex& older) const
{
    QSet<const Chunk*> old;
    for (const auto& chunk : older.m_chunks)
        old.insert(chunk.get());
    return int(std::count_if(m_chunks.begin(), m_chunks.end(), [&](const auto& c) { return old.contains(c.get()); }));
}

qsizetype SearchIndex::memoryBytes() const
{
    qsizetype bytes = qsizetype(m_slots.size() * sizeof(m_slots[0]) + m_frequency.size() * sizeof(quint32));
    for (const auto& chunk : m_chunks)
        bytes += chunk->text.capacity() * 2 + qsizetype(chunk->filter.size() * 8)
            + chunk->size() * qsizetype(sizeof(qint64) + sizeof(quint64) + sizeof(quint32));
    return bytes;
}

} // namespace qadora
