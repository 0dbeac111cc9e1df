// SPDX-License-Identifier: GPL-3.0-or-later
#include "jetreader.h"

#include "site/cp932.h"

#include <QFile>

#include <mdbtools.h>

#include <memory>

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
constexpr int kMaxMemoPages = 100000;

QByteArray memoBytes(MdbHandle* mdb, const unsigned char* header, int fieldSize)
{
    const quint32 lengthAndFlags = quint32(mdb_get_int32(const_cast<unsigned char*>(header), 0));
    const qsizetype length = lengthAndFlags & 0x00FFFFFF;
    if (lengthAndFlags & kMemoInline) {
        const qsizetype inlineSize = qMin<qsizetype>(fieldSize - kMemoHeader, length);
        return QByteArray(reinterpret_cast<const char*>(header) + kMemoHeader, qMax<qsizetype>(inlineSize, 0));
    }
    qint32 pageRow = qint32(mdb_get_int32(const_cast<unsigned char*>(header), 4));
    QByteArray data;
    const bool singlePage = lengthAndFlags & kMemoSinglePage;
    // Each long-value record of a chain starts with where the next one is; a bound on the
    // number of pages keeps a damaged, circular chain from running forever.
    for (int pages = 0; pageRow != 0 && pages < kMaxMemoPages && data.size() < length; ++pages) {
        void* buf = nullptr;
        int start = 0;
        size_t size = 0;
        if (mdb_find_pg_row(mdb, pageRow, &buf, &start, &size) != 0 || !buf)
            break;
        const char* row = static_cast<const char*>(buf) + start;
        if (singlePage) {
            data.append(row, qsizetype(size));
            break;
        }
        if (size < 4)
            break;
        pageRow = qint32(mdb_get_int32(buf, start));
        data.append(row + 4, qsizetype(size) - 4);
    }
    data.truncate(length);
    return data;
}

JetReadResult readTable(MdbHandle* mdb)
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
    if (!table || !mdb_read_columns(table.get()))
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

    auto text = [&](MdbColumn* col) -> QString {
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
            const QByteArray bytes = memoBytes(mdb, reinterpret_cast<const unsigned char*>(field.constData()), size);
            return decodeJetText(bytes.constData(), bytes.size(), jet3);
        }
        return decodeJetText(reinterpret_cast<const char*>(p), size, jet3);
    };

    // Nothing is bound: fetching a row leaves where each value stands in the page.
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        Record r;
        MdbColumn* no = columns[0];
        if (no->cur_value_len == 4 && no->cur_value_start >= 0
            && no->cur_value_start + 4 <= int(mdb->fmt->pg_size))
            r.no = qint32(mdb_get_int32(mdb->pg_buf, no->cur_value_start));
        else if (no->cur_value_len == 2 && no->cur_value_start >= 0)
            r.no = qint16(mdb_get_int16(mdb->pg_buf, no->cur_value_start));
        r.kind = text(columns[1]);
        r.quest = text(columns[2]);
        r.anser = text(columns[3]);
        result.records.push_back(std::move(r));
    }
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
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        return {JetReadResult::Damaged, QStringLiteral("cannot open"), {}};
    return readTable(mdb.get());
}

JetReadResult readJetBuffer(const QByteArray& bytes)
{
    QByteArray copy = bytes; // libmdb keeps a pointer to the buffer while it is open
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open_buffer(copy.data(), size_t(copy.size()), MDB_NOFLAGS));
    if (!mdb)
        return {JetReadResult::Damaged, QStringLiteral("cannot open"), {}};
    return readTable(mdb.get());
}

} // namespace qadora
