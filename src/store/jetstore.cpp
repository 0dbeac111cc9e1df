// SPDX-License-Identifier: GPL-3.0-or-later
#include "jetstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

namespace qadora {

namespace {

constexpr int kReaderTimeoutMs = 60000;

QString readerProgram()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("qadora-mdb-reader"));
    if (QFileInfo(beside).isExecutable())
        return beside;
#ifdef QADORA_MDB_READER
    if (QFileInfo(QStringLiteral(QADORA_MDB_READER)).isExecutable())
        return QStringLiteral(QADORA_MDB_READER);
#endif
    return QStringLiteral("qadora-mdb-reader");
}

StoreStatus unusable(const QString& message, const QString& path)
{
    return {StoreStatus::Unusable, message + QLatin1Char('\r') + path};
}

// The records of the file last read, while its size and time are unchanged: every listing
// and the site generation read the same file several times in a row.
struct Cache {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    std::shared_ptr<const std::vector<Record>> records;
};
Cache& cache()
{
    static Cache c;
    return c;
}

} // namespace

bool readAccessFile(const QString& path, std::vector<Record>* records, StoreStatus* status)
{
    QProcess reader;
    reader.setProcessChannelMode(QProcess::SeparateChannels);
    reader.start(readerProgram(), {path}, QIODevice::ReadOnly);
    if (!reader.waitForStarted()) {
        *status = unusable(QStringLiteral("アクセス形式のファイルを読み込むプログラム（qadora-mdb-reader）を起動できません"), path);
        return false;
    }
    QByteArray out;
    // Read as it comes so that a large file cannot fill the pipe.
    while (reader.state() != QProcess::NotRunning) {
        if (!reader.waitForReadyRead(kReaderTimeoutMs) && reader.state() != QProcess::NotRunning) {
            reader.kill();
            reader.waitForFinished();
            break;
        }
        out += reader.readAllStandardOutput();
    }
    out += reader.readAllStandardOutput();

    JetReadResult result;
    if (reader.exitStatus() != QProcess::NormalExit || !decodeJetResult(out, &result)) {
        *status = unusable(QStringLiteral("アクセス形式のファイルが壊れているため読み込めません"), path);
        return false;
    }
    switch (result.code) {
    case JetReadResult::Ok:
        break;
    case JetReadResult::NoTable:
        *status = unusable(QStringLiteral("このファイルにはＱ＆Ａのデータ（テーブル tbl1）がありません"), path);
        return false;
    case JetReadResult::Password:
        *status = unusable(QStringLiteral("パスワードが設定されたアクセスのファイルは開けません"), path);
        return false;
    case JetReadResult::Unsupported:
        *status = unusable(QStringLiteral("この形式のアクセスのファイル（accdb）には対応していません。mdb形式（Access 97～2003）で保存したファイルを指定して下さい"), path);
        return false;
    case JetReadResult::BadSchema:
        *status = unusable(QStringLiteral("テーブル tbl1 に No, kind, quest, anser の列がありません"), path);
        return false;
    default:
        *status = unusable(QStringLiteral("アクセス形式のファイルが壊れているため読み込めません"), path);
        return false;
    }
    // Store order is ascending No, whatever order the pages hold the rows in.
    std::stable_sort(result.records.begin(), result.records.end(),
                     [](const Record& a, const Record& b) { return a.no < b.no; });
    *records = std::move(result.records);
    *status = StoreStatus::success();
    return true;
}

JetStore::JetStore(QString path)
    : m_path(std::move(path))
{
}

std::unique_ptr<JetStore> JetStore::open(const QString& path, StoreStatus* status)
{
    std::unique_ptr<JetStore> store(new JetStore(path));
    *status = store->load();
    if (!status->ok())
        return nullptr;
    return store;
}

StoreStatus JetStore::load()
{
    const QFileInfo info(m_path);
    Cache& c = cache();
    if (c.records && c.path == m_path && c.size == info.size() && c.modified == info.lastModified()) {
        m_records = c.records;
        return StoreStatus::success();
    }
    auto records = std::make_shared<std::vector<Record>>();
    StoreStatus status;
    if (!readAccessFile(m_path, records.get(), &status))
        return status;
    c = {m_path, info.size(), info.lastModified(), records};
    m_records = records;
    return status;
}

StoreStatus JetStore::count(int* n)
{
    *n = int(m_records->size());
    return StoreStatus::success();
}

StoreStatus JetStore::walk(const WalkOptions& options, const RecordVisitor& visit)
{
    const std::vector<Record>& all = *m_records;
    const size_t limit = options.limit < 0 ? all.size() : std::min(all.size(), size_t(options.limit));
    for (size_t i = 0; i < limit; ++i) {
        if (options.byKind && all[i].kind != options.kind)
            continue;
        if (!visit(all[i]))
            break;
    }
    return StoreStatus::success();
}

StoreStatus JetStore::findFirstByQuestion(const QString& quest, Record* out)
{
    for (const Record& r : *m_records) {
        if (r.quest == quest) {
            *out = r;
            return StoreStatus::success();
        }
    }
    return {StoreStatus::NotFound, QString()};
}

StoreStatus JetStore::add(const Record&)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::updateFirstByQuestion(const QString&, const Record&)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::removeFirstByQuestion(const QString&)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

} // namespace qadora
