// SPDX-License-Identifier: GPL-3.0-or-later
#include "jetstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "platform/platform.h"

#include <algorithm>

namespace qadora {

namespace {

constexpr int kReaderTimeoutMs = 60000;

QString readerProgram()
{
    const QString program = platform::programFileName(QStringLiteral("qadora-mdb-reader"));
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(program);
    if (QFileInfo(beside).isExecutable())
        return beside;
#ifdef QADORA_MDB_READER
    if (QFileInfo(QStringLiteral(QADORA_MDB_READER)).isExecutable())
        return QStringLiteral(QADORA_MDB_READER);
#endif
    return program;
}

StoreStatus unusable(const QString& message, const QString& path)
{
    return {StoreStatus::Unusable, message + QLatin1Char('\r') + path};
}

// The records of the file last read, while it is the same file, unchanged: every listing and
// the site generation read the same file several times in a row.
struct FileIdentity {
    QString path;
    qint64 size = -1;
    qint64 inode = -1;
    qint64 modified = 0;
    qint64 changed = 0;

    static FileIdentity of(const QString& path)
    {
        FileIdentity id;
        id.path = path;
        if (const auto st = platform::stampOf(path)) {
            id.size = st->size;
            id.inode = st->identity;
            id.modified = st->modified;
            id.changed = st->changed;
        }
        return id;
    }
    bool operator==(const FileIdentity&) const = default;
};
struct Cache {
    FileIdentity file;
    std::shared_ptr<const AccessRecords> records;
};
Cache& cache()
{
    static Cache c;
    return c;
}

} // namespace

QString unreadableRecordsMessage(int unreadable, const QString& path)
{
    return QStringLiteral("アクセス形式のファイルの一部が壊れているため、%1 件のデータを読み込めませんでした").arg(unreadable)
        + QLatin1Char('\r') + path;
}

bool readAccessFile(const QString& path, AccessRecords* records, StoreStatus* status)
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
        *status = unusable(kNoTableMessage, path);
        return false;
    case JetReadResult::Password:
        *status = unusable(QStringLiteral("パスワードが設定されたアクセスのファイルは開けません"), path);
        return false;
    case JetReadResult::Unsupported:
        *status = unusable(QStringLiteral("この形式のアクセスのファイル（accdb）には対応していません。mdb形式（Access 97～2003）で保存したファイルを指定して下さい"), path);
        return false;
    case JetReadResult::BadSchema:
        *status = unusable(kBadColumnsMessage, path);
        return false;
    default:
        *status = unusable(QStringLiteral("アクセス形式のファイルが壊れているため読み込めません"), path);
        return false;
    }
    // Store order is ascending No, whatever order the pages hold the rows in.
    std::stable_sort(result.records.begin(), result.records.end(),
                     [](const Record& a, const Record& b) { return a.no < b.no; });
    records->records = std::move(result.records);
    records->unreadable = result.unreadable;
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

std::unique_ptr<JetStore> JetStore::withRecords(const QString& path, std::shared_ptr<const AccessRecords> records)
{
    std::unique_ptr<JetStore> store(new JetStore(path));
    store->m_contents = std::move(records);
    return store;
}

StoreStatus JetStore::load()
{
    const FileIdentity file = FileIdentity::of(m_path);
    Cache& c = cache();
    if (c.records && c.file == file) {
        m_contents = c.records;
        return StoreStatus::success();
    }
    auto contents = std::make_shared<AccessRecords>();
    StoreStatus status;
    if (!readAccessFile(m_path, contents.get(), &status))
        return status;
    c = {file, contents};
    m_contents = contents;
    // Said once, when the file is read: a success that comes with a warning.
    if (contents->unreadable > 0)
        return {StoreStatus::Ok, unreadableRecordsMessage(contents->unreadable, m_path)};
    return status;
}

StoreStatus JetStore::count(int* n)
{
    *n = int(m_contents->records.size());
    return StoreStatus::success();
}

StoreStatus JetStore::walk(const WalkOptions& options, const RecordVisitor& visit)
{
    const std::vector<Record>& all = m_contents->records;
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
    for (const Record& r : m_contents->records) {
        if (r.quest == quest) {
            *out = r;
            return StoreStatus::success();
        }
    }
    return {StoreStatus::NotFound, QString()};
}

StoreStatus JetStore::add(const Record&, RecordChange*)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::updateFirstByQuestion(const QString&, const Record&, RecordChange*, qint64)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::removeFirstByQuestion(const QString&, RecordChange*, qint64)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::applyChanges(const ChangeSet&)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

StoreStatus JetStore::checkChanges(const ChangeSet&)
{
    return {StoreStatus::ReadOnly, kReadOnlyAccessMessage};
}

} // namespace qadora
