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

    // Each piece (a character, or two) with the records that hold it, in record order.
    QHash<quint64, std::vector<int>> postings;
    postings.reserve(documents.size() * 64);
    auto add = [&](quint64 key, int id) {
        std::vector<int>& ids = postings[key];
        if (ids.empty() || ids.back() != id)
            ids.push_back(id);
    };
    for (qsizetype id = 0; id < documents.size(); ++id) {
        for (const QString* field : {&documents[id].question, &documents[id].answer}) {
            const QString folded = foldForSearch(*field);
            const char16_t* s = reinterpret_cast<const char16_t*>(folded.utf16());
            for (qsizetype i = 0; i < folded.size(); ++i) {
                if (htmlSpace(s[i]))
                    continue;
                add(quint64(s[i]) << 16, int(id));
                if (i + 1 < folded.size() && !htmlSpace(s[i + 1]))
                    add((quint64(s[i]) << 16) | s[i + 1], int(id));
            }
        }
    }
    std::vector<std::vector<quint64>> shardKeys(size_t(layout.shards));
    for (auto it = postings.cbegin(); it != postings.cend(); ++it) {
        shardKeys[size_t(shardOf(char16_t(it.key() >> 16), layout.shards))].push_back(it.key());
    }
    for (int shard = 0; shard < layout.shards; ++shard) {
        std::vector<quint64>& keys = shardKeys[size_t(shard)];
        std::sort(keys.begin(), keys.end());
        QString json = QStringLiteral("{");
        for (size_t k = 0; k < keys.size(); ++k) {
            const char16_t first = char16_t(keys[k] >> 16);
            const char16_t second = char16_t(keys[k] & 0xffff);
            QString piece{QChar(first)};
            if (second)
                piece += QChar(second);
            if (k > 0)
                json += u',';
            json += jsonString(piece) + QStringLiteral(":\"");
            int previous = 0;
            bool firstId = true;
            for (const int id : postings.value(keys[k])) {
                if (!firstId)
                    json += u',';
                json += base36(firstId ? id : id - previous);
                previous = id;
                firstId = false;
            }
            json += u'"';
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
    files.insert(1, {kSearchMeta, dataFile(kSearchMeta, meta)});

    return files;
}

} // namespace qadora
