// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchsite.h"

#include "modernpages.h"
#include "search/searchtext.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace qadora {

namespace {

bool htmlSpace(char16_t u)
{
    return QChar(u).isSpace();
}

// The shard of a piece, by its first code unit only: the pieces a word typed on can grow
// into are in the shard of its last character, which the page fetches before the next key.
// The page's script computes the same from the same code unit.
int shardOf(char16_t first, int shards)
{
    return int(quint32(first) % quint32(shards));
}

QString base36(int n)
{
    return QString::number(n, 36);
}

// The records of a piece, whichever is shorter: their differences in base 36, or (after a
// "~") one bit a record, six to a character, for the pieces that most records hold.
QString postingText(const std::vector<int>& ids)
{
    static const char kSixBits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QString list;
    int previous = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0)
            list += u',';
        list += base36(i == 0 ? ids[i] : ids[i] - previous);
        previous = ids[i];
    }
    const int last = ids.empty() ? 0 : ids.back();
    if (list.size() <= last / 6 + 2)
        return list;
    std::vector<int> bits(size_t(last / 6 + 1), 0);
    for (const int id : ids)
        bits[size_t(id / 6)] |= 1 << (id % 6);
    QString bitmap(qsizetype(bits.size() + 1), u'~');
    for (size_t i = 0; i < bits.size(); ++i)
        bitmap[qsizetype(i + 1)] = QLatin1Char(kSixBits[bits[i]]);
    return bitmap;
}

QByteArray dataFile(const QString& name, const QString& json)
{
    return (QStringLiteral("qadoraLoaded(") + jsonString(name) + u',' + json + QStringLiteral(");\n")).toUtf8();
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
    layout.chunk = 64;
    return layout;
}

QList<std::pair<QString, QByteArray>> searchFiles(const QList<SearchKind>& kinds, const QList<SearchDocument>& documents)
{
    const SearchLayout layout = searchLayout(documents.size());
    QList<std::pair<QString, QByteArray>> files;
    files.append({kSearchScript, searchScript()});

    // Each piece (a character, two, or three digits) with the records that hold it, in record
    // order. A key is the piece's code units, 16 bits each, the first highest.
    QHash<quint64, std::vector<int>> postings;
    postings.reserve(documents.size() * 64);
    auto add = [&](quint64 key, int id) {
        std::vector<int>& ids = postings[key];
        if (ids.empty() || ids.back() != id)
            ids.push_back(id);
    };
    auto digit = [](char16_t u) { return u >= u'0' && u <= u'9'; };
    for (qsizetype id = 0; id < documents.size(); ++id) {
        for (const QString* field : {&documents[id].question, &documents[id].answer}) {
            const QString folded = foldForSearch(*field);
            const char16_t* s = reinterpret_cast<const char16_t*>(folded.utf16());
            const qsizetype n = folded.size();
            for (qsizetype i = 0; i < n; ++i) {
                if (htmlSpace(s[i]))
                    continue;
                add(quint64(s[i]) << 32, int(id));
                if (i + 1 < n && !htmlSpace(s[i + 1]))
                    add((quint64(s[i]) << 32) | (quint64(s[i + 1]) << 16), int(id));
                // Numbers share a few pairs of digits; three in a row keep a query of digits
                // from matching nearly every record that has numbers.
                if (i + 2 < n && digit(s[i]) && digit(s[i + 1]) && digit(s[i + 2]))
                    add((quint64(s[i]) << 32) | (quint64(s[i + 1]) << 16) | s[i + 2], int(id));
            }
        }
    }
    std::vector<std::vector<quint64>> shardKeys(size_t(layout.shards));
    for (auto it = postings.cbegin(); it != postings.cend(); ++it) {
        shardKeys[size_t(shardOf(char16_t(it.key() >> 32), layout.shards))].push_back(it.key());
    }
    for (int shard = 0; shard < layout.shards; ++shard) {
        std::vector<quint64>& keys = shardKeys[size_t(shard)];
        std::sort(keys.begin(), keys.end());
        QString json = QStringLiteral("{");
        for (size_t k = 0; k < keys.size(); ++k) {
            // A piece can be half of a character outside the BMP: such a unit is written as an
            // escape, which the page reads back as that same unit (as UTF-8 it would be lost).
            QString piece = QStringLiteral("\"");
            for (int shift = 32; shift >= 0; shift -= 16) {
                const char16_t u = char16_t(keys[k] >> shift);
                if (u && QChar::isSurrogate(u))
                    piece += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
                else if (u)
                    piece += jsonString(QString(QChar(u))).mid(1).chopped(1);
            }
            if (k > 0)
                json += u',';
            json += piece + QStringLiteral("\":\"") + postingText(postings.value(keys[k])) + u'"';
        }
        json += u'}';
        const QString name = QStringLiteral("qs-g%1.js").arg(shard);
        files.append({name, dataFile(name, json)});
    }

    for (qsizetype start = 0; start < documents.size(); start += layout.chunk) {
        QString json = QStringLiteral("[");
        for (qsizetype id = start; id < std::min<qsizetype>(documents.size(), start + layout.chunk); ++id) {
            const SearchDocument& d = documents[id];
            if (id > start)
                json += u',';
            json += u'[' + QString::number(d.kind) + u',' + jsonString(linkTo(d.file)) + u',' + jsonString(d.question)
                + u',' + jsonString(d.answer) + u']';
        }
        json += u']';
        const QString name = QStringLiteral("qs-d%1.js").arg(start / layout.chunk);
        files.append({name, dataFile(name, json)});
    }
    QString meta = QStringLiteral("{\"count\":") + QString::number(documents.size()) + QStringLiteral(",\"shards\":")
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
