// SPDX-License-Identifier: GPL-3.0-or-later
#include "jetprotocol.h"

#include <QDataStream>
#include <QIODevice>

namespace qadora {

namespace {
constexpr quint32 kMagic = 0x514A4532; // "QJE2"
constexpr quint32 kEnd = 0x454E4421;   // "END!": the reader finished
} // namespace

QByteArray encodeJetResult(const JetReadResult& result)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << qint32(result.code) << result.detail << qint32(result.unreadable) << quint32(result.records.size());
    for (const Record& r : result.records)
        out << r.no << r.kind << r.quest << r.anser;
    out << kEnd;
    return bytes;
}

bool decodeJetResult(const QByteArray& bytes, JetReadResult* result)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 code = 0;
    quint32 count = 0;
    qint32 unreadable = 0;
    in >> magic >> code >> result->detail >> unreadable >> count;
    result->unreadable = unreadable;
    if (in.status() != QDataStream::Ok || magic != kMagic)
        return false;
    result->code = JetReadResult::Code(code);
    result->records.clear();
    result->records.reserve(qMin<quint32>(count, 1u << 20));
    for (quint32 i = 0; i < count; ++i) {
        Record r;
        in >> r.no >> r.kind >> r.quest >> r.anser;
        if (in.status() != QDataStream::Ok)
            return false;
        result->records.push_back(std::move(r));
    }
    quint32 end = 0;
    in >> end;
    return in.status() == QDataStream::Ok && end == kEnd;
}

} // namespace qadora
