// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion.h"

#include "jetstore.h"
#include "platform/platform.h"
#include "sqlitestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qadora {

QString backupPathFor(const QString& path)
{
    const QFileInfo info(path);
    const QString stem = info.dir().filePath(info.completeBaseName() + QStringLiteral("_backup"));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    QString candidate = stem + suffix;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = stem + QString::number(n) + suffix;
    return candidate;
}

ConversionResult convertAccessDatabase(const QString& path, const QString& backupPath, const ConversionTick& tick)
{
    auto fail = [](const QString& reason) {
        return ConversionResult{false, false, QStringLiteral("データベースを変換できませんでした") + QLatin1Char('\r') + reason};
    };
    auto goOn = [&](int done, int total) { return !tick || tick(done, total); };
    goOn(0, 0);
    AccessRecords read;
    StoreStatus status;
    if (!readAccessFile(path, &read, &status))
        return fail(status.message);
    const std::vector<Record>& records = read.records;

    const QFileInfo info(path);
    const QString temp = info.dir().filePath(QStringLiteral(".%1.%2.converting").arg(info.fileName()).arg(QCoreApplication::applicationPid()));
    QFile::remove(temp);
    auto cleanup = [&](const QString& reason) {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
        return fail(reason);
    };
    if (status = createDatabase(temp); !status.ok())
        return cleanup(status.message);
    const int total = 2 * int(records.size());
    bool cancelled = false;
    status = writeRecordsKeepingNumbers(temp, records, [&](int done) {
        cancelled = !goOn(done, total);
        return !cancelled;
    });
    if (cancelled) {
        ConversionResult result = cleanup(QString());
        result.cancelled = true;
        return result;
    }
    if (!status.ok())
        return cleanup(status.message);

    // The copy must hold every record exactly before the original is replaced.
    SqliteStore copy(temp);
    size_t i = 0;
    bool same = true;
    status = copy.walk({}, [&](const Record& r) {
        same = i < records.size() && r.no == records[i].no && r.kind == records[i].kind && r.quest == records[i].quest
            && r.anser == records[i].anser;
        ++i;
        return same && (i % 256 != 0 || goOn(int(records.size() + i), total));
    });
    if (!status.ok())
        return cleanup(status.message);
    if (!same || i != records.size())
        return cleanup(QStringLiteral("変換したデータが元のデータと一致しません"));

    // QFile::copy never overwrites: an existing backup stays as it is.
    if (QFileInfo::exists(backupPath) || !QFile::copy(path, backupPath))
        return cleanup(QStringLiteral("元のファイルの控えを作成できません") + QLatin1Char('\r') + backupPath);
    if (QString reason; !platform::replaceFile(temp, path, &reason)) {
        QFile::remove(backupPath);
        return cleanup(reason);
    }
    return {true, false, QString()};
}

} // namespace qadora
