// SPDX-License-Identifier: GPL-3.0-or-later
#include "jetreader.h"

#include "platform/platform.h"
#include "site/cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <mdbtools.h>

#include <memory>
#include <optional>

namespace qadora {

namespace {

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// A memo value is a 12-byte header in the row: its length and flags, then where its data is.
constexpr int kMemoHeader = 12;
constexpr quint32 kMemoInline = 0x80000000;
constexpr quint32 kMemoSinglePage = 0x40000000;

// The long-value rows of the table, shared by all its memos: a row belongs to one memo only,
// so a chain that comes back to a row it or another memo has used is damaged. Every row is
// thus read once at most, and no memo can be longer than the file that holds it.
struct MemoPages {
    QSet<qint32> used;
    qint64 fileSize = 0;
};

// The memo's bytes, or nothing when its chain is damaged (a loop, a row that is not there,
// more data than the file holds).
std::optional<QByteArray> memoBytes(MdbHandle* mdb, const unsigned char* header, int fieldSize, MemoPages& pages)
{
    const quint32 lengthAndFlags = quint32(mdb_get_int32(const_cast<unsigned char*>(header), 0));
    const qsizetype length = lengthAndFlags & 0x00FFFFFF;
    if (lengthAndFlags & kMemoInline) {
        const qsizetype inlineSize = qMin<qsizetype>(fieldSize - kMemoHeader, length);
        return QByteArray(reinterpret_cast<const char*>(header) + kMemoHeader, qMax<qsizetype>(inlineSize, 0));
    }
    if (length > pages.fileSize)
        return std::nullopt;
    qint32 pageRow = qint32(mdb_get_int32(const_cast<unsigned char*>(header), 4));
    QByteArray data;
    const bool singlePage = lengthAndFlags & kMemoSinglePage;
    // Each long-value row of a chain starts with where the next one is.
    while (pageRow != 0 && data.size() < length) {
        if (pages.used.contains(pageRow))
            return std::nullopt;
        pages.used.insert(pageRow);
        void* buf = nullptr;
        int start = 0;
        size_t size = 0;
        if (mdb_find_pg_row(mdb, pageRow, &buf, &start, &size) != 0 || !buf || size > size_t(mdb->fmt->pg_size))
            return std::nullopt;
        const char* row = static_cast<const char*>(buf) + start;
        if (singlePage) {
            data.append(row, qsizetype(size));
            break;
        }
        if (size < 4)
            return std::nullopt;
        pageRow = qint32(mdb_get_int32(buf, start));
        data.append(row + 4, qsizetype(size) - 4);
    }
    if (data.size() < length)
        return std::nullopt;
    data.truncate(length);
    return data;
}

// Whether the library can walk the table's pages: a usage map of no bytes is a null pointer
// to Debian's libmdb (it faults) and a zero-sized buffer to the Windows build (it reads past
// it and takes noise for pages), so such a table is damaged on every system.
bool hasUsageMap(const MdbTableDef* table)
{
    return table && table->usage_map && table->map_sz > 0;
}

// The system table the catalog is read from, checked before the library walks it.
bool catalogReadable(MdbHandle* mdb)
{
    MdbCatalogEntry system{};
    system.mdb = mdb;
    system.object_type = MDB_TABLE;
    system.table_pg = 2;
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(&system));
    return hasUsageMap(table.get());
}

JetReadResult readTable(MdbHandle* mdb, qint64 fileSize)
{
    JetReadResult result;
    auto fail = [&](JetReadResult::Code code, const QString& detail) {
        result.code = code;
        result.detail = detail;
        result.records.clear();
        return result;
    };
    if (!mdb->f)
        return fail(JetReadResult::Damaged, QStringLiteral("no header"));
    if (mdb->f->jet_version != MDB_VER_JET3 && mdb->f->jet_version != MDB_VER_JET4)
        return fail(JetReadResult::Unsupported, QString::number(mdb->f->jet_version));
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    // Access writes its files a whole page at a time: one that ends inside a page was cut
    // short, and the library would take the missing pages for whatever its buffer last held
    // (a file cut so faults Debian's libmdb and reads as junk records with the Windows build).
    if (mdb->fmt->pg_size <= 0 || fileSize % mdb->fmt->pg_size != 0)
        return fail(JetReadResult::Damaged, QStringLiteral("not whole pages"));

    if (!catalogReadable(mdb))
        return fail(JetReadResult::Damaged, QStringLiteral("no catalog"));
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (!catalog)
        return fail(JetReadResult::Damaged, QStringLiteral("no catalog"));
    MdbCatalogEntry* entry = nullptr;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        // The whole name, as Access compares names: "tbl1_old" is not it.
        if (e && QString::fromUtf8(e->object_name).compare(QLatin1String("tbl1"), Qt::CaseInsensitive) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry)
        return fail(JetReadResult::NoTable, QString());
    // Checked once the file has proved readable: the header of a damaged file decodes to
    // a password of noise.
    for (const char c : mdb->f->db_passwd) {
        if (c != 0)
            return fail(JetReadResult::Password, QString());
    }
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!hasUsageMap(table.get()) || !mdb_read_columns(table.get()))
        return fail(JetReadResult::Damaged, QStringLiteral("cannot read tbl1"));

    MdbColumn* columns[4] = {};
    const char* names[4] = {"No", "kind", "quest", "anser"};
    for (guint i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        for (int k = 0; k < 4; ++k) {
            if (col && QString::fromUtf8(col->name).compare(QLatin1String(names[k]), Qt::CaseInsensitive) == 0)
                columns[k] = col;
        }
    }
    for (MdbColumn* col : columns) {
        if (!col)
            return fail(JetReadResult::BadSchema, QString());
    }

    MemoPages memoPages;
    memoPages.fileSize = fileSize;
    // The value of a column in the current row; nothing when a memo's chain is damaged.
    auto text = [&](MdbColumn* col) -> std::optional<QString> {
        const int start = col->cur_value_start;
        const int size = col->cur_value_len;
        if (size <= 0 || start < 0 || start + size > int(mdb->fmt->pg_size))
            return QString();
        const unsigned char* p = mdb->pg_buf + start;
        if (col->col_type == MDB_MEMO) {
            if (size < kMemoHeader)
                return QString();
            // Copied first: following the chain reads other pages.
            const QByteArray field(reinterpret_cast<const char*>(p), size);
            const auto bytes = memoBytes(mdb, reinterpret_cast<const unsigned char*>(field.constData()), size, memoPages);
            if (!bytes)
                return std::nullopt;
            return decodeJetText(bytes->constData(), bytes->size(), jet3);
        }
        return decodeJetText(reinterpret_cast<const char*>(p), size, jet3);
    };

    // Nothing is bound: fetching a row leaves where each value stands in the page.
    mdb_rewind_table(table.get());
    qint64 fetched = 0;
    while (mdb_fetch_row(table.get())) {
        ++fetched;
        Record r;
        MdbColumn* no = columns[0];
        if (no->cur_value_len == 4 && no->cur_value_start >= 0
            && no->cur_value_start + 4 <= int(mdb->fmt->pg_size))
            r.no = qint32(mdb_get_int32(mdb->pg_buf, no->cur_value_start));
        else if (no->cur_value_len == 2 && no->cur_value_start >= 0)
            r.no = qint16(mdb_get_int16(mdb->pg_buf, no->cur_value_start));
        const auto kind = text(columns[1]);
        const auto quest = text(columns[2]);
        const auto anser = text(columns[3]);
        if (!kind || !quest || !anser) {
            ++result.unreadable;
            continue;
        }
        r.kind = *kind;
        r.quest = *quest;
        r.anser = *anser;
        result.records.push_back(std::move(r));
    }
    // Rows on a page that is damaged are skipped by the library without a word; the table
    // definition still says how many there are.
    if (qint64(table->num_rows) > fetched)
        result.unreadable += int(qint64(table->num_rows) - fetched);
    return result;
}

} // namespace

QString decodeJetText(const char* data, qsizetype size, bool jet3)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    if (jet3)
        return cp932::decode(QByteArray(data, size));
    if (size >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        QString out;
        out.reserve(size);
        bool compressed = true;
        qsizetype i = 2;
        while (i < size) {
            if (p[i] == 0x00) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out += QChar(p[i++]);
            } else if (i + 1 < size) {
                out += QChar(char16_t(p[i] | (p[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    QString out(size / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < size / 2; ++i)
        out[i] = QChar(char16_t(p[2 * i] | (p[2 * i + 1] << 8)));
    return out;
}

JetReadResult readJetFile(const QString& path)
{
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(platform::libraryPath(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        return {JetReadResult::Damaged, QStringLiteral("cannot open"), {}};
    return readTable(mdb.get(), QFileInfo(path).size());
}

JetReadResult readJetBuffer(const QByteArray& bytes)
{
    QByteArray copy = bytes; // libmdb keeps a pointer to the buffer while it is open
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open_buffer(copy.data(), size_t(copy.size()), MDB_NOFLAGS));
    if (!mdb)
        return {JetReadResult::Damaged, QStringLiteral("cannot open"), {}};
    return readTable(mdb.get(), copy.size());
}

} // namespace qadora
