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
    ZipMember member(*this, name, limit);
    if (member.status() != Read::Ok)
        return member.status();
    char buffer[65536];
    for (;;) {
        const qint64 n = member.read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        out->append(buffer, qsizetype(n));
    }
    if (member.status() != Read::Ok)
        out->clear();
    return member.status();
}

ZipMember::ZipMember(const ZipReader& zip, const QString& name, qint64 limit)
    : m_limit(limit)
{
    m_status = ZipReader::Read::Damaged;
    if (!zip.m_zip)
        return;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(zip.m_zip, name.toUtf8().constData(), 0, &st) != 0) {
        m_status = ZipReader::Read::Missing;
        return;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
        m_status = ZipReader::Read::Encrypted;
        return;
    }
    if ((st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(limit)) {
        m_status = ZipReader::Read::TooLarge;
        return;
    }
    m_file = zip_fopen_index(zip.m_zip, st.index, 0);
    if (!m_file) {
        m_status = zip_error_code_zip(zip_get_error(zip.m_zip)) == ZIP_ER_NOPASSWD ? ZipReader::Read::Encrypted
                                                                                   : ZipReader::Read::Damaged;
        return;
    }
    m_status = ZipReader::Read::Ok;
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

ZipMember::~ZipMember()
{
    if (m_file)
        zip_fclose(m_file);
}

qint64 ZipMember::readData(char* data, qint64 maxSize)
{
    if (m_status != ZipReader::Read::Ok || m_ended || !m_file)
        return m_ended && m_status == ZipReader::Read::Ok ? 0 : -1;
    // The stated size is only a hint: the inflated bytes are counted as they come.
    const zip_int64_t n = zip_fread(m_file, data, zip_uint64_t(maxSize));
    if (n < 0) {
        m_status = ZipReader::Read::Damaged; // a CRC that does not match, a stream cut short
        return -1;
    }
    if (n == 0) {
        m_ended = true;
        const int closed = zip_fclose(m_file);
        m_file = nullptr;
        if (closed != 0) {
            m_status = ZipReader::Read::Damaged;
            return -1;
        }
        return 0;
    }
    m_inflated += n;
    if (m_inflated > m_limit) {
        m_status = ZipReader::Read::TooLarge;
        return -1;
    }
    return n;
}

} // namespace qadora::workbook
