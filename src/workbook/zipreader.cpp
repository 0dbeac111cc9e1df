// SPDX-License-Identifier: GPL-3.0-or-later
#include "zipreader.h"

#include <zip.h>

namespace qadora::workbook {

ZipReader::ZipReader(const QByteArray& bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (source) {
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_zip) // a failed open leaves the source to us
            zip_source_free(source);
    }
    zip_error_fini(&error);
}

ZipReader::~ZipReader()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipReader::contains(const QString& name) const
{
    return m_zip && zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0;
}

ZipReader::Read ZipReader::read(const QString& name, QByteArray* out, qint64 limit) const
{
    out->clear();
    if (!m_zip)
        return Read::Damaged;
    const QByteArray utf8 = name.toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_zip, utf8.constData(), 0, &st) != 0)
        return Read::Missing;
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        return Read::Encrypted;
    if ((st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(limit))
        return Read::TooLarge;
    zip_file_t* file = zip_fopen_index(m_zip, st.index, 0);
    if (!file)
        return zip_error_code_zip(zip_get_error(m_zip)) == ZIP_ER_NOPASSWD ? Read::Encrypted : Read::Damaged;
    // The stated size is only a hint: the inflated bytes are counted as they come.
    out->reserve(qsizetype(std::min<zip_uint64_t>((st.valid & ZIP_STAT_SIZE) ? st.size : 0, zip_uint64_t(limit))));
    char buffer[65536];
    Read result = Read::Ok;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            result = Read::Damaged;
            break;
        }
        if (n == 0)
            break;
        if (out->size() + n > limit) {
            result = Read::TooLarge;
            break;
        }
        out->append(buffer, qsizetype(n));
    }
    if (zip_fclose(file) != 0 && result == Read::Ok)
        result = Read::Damaged; // a CRC that does not match
    if (result != Read::Ok)
        out->clear();
    return result;
}

} // namespace qadora::workbook
