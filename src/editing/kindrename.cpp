// SPDX-License-Identifier: GPL-3.0-or-later
#include "kindrename.h"

#include "views/listings.h"

#include <QHash>

namespace qadora {

StoreStatus countKinds(const QString& database, QList<KindCount>* out)
{
    out->clear();
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store)
        return status;
    QHash<QString, int> counts;
    WalkOptions kindsOnly;
    kindsOnly.withQuestion = false;
    kindsOnly.withAnswer = false;
    status = store->walk(kindsOnly, [&](const Record& r) {
        ++counts[r.kind];
        return true;
    });
    if (!status.ok())
        return status;
    for (const QString& kind : distinctKinds(counts.keys()))
        out->append({kind, counts.value(kind)});
    return status;
}

StoreStatus kindRenameChanges(const QString& database, const QString& from, const QString& to, ChangeSet* out)
{
    out->clear();
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store)
        return status;
    WalkOptions options;
    options.byKind = true;
    options.kind = from;
    return store->walk(options, [&](const Record& r) {
        Record renamed = r;
        renamed.kind = to;
        out->append({r, renamed});
        return true;
    });
}

QString kindProblem(const QString& kind)
{
    if (!kind.contains(QLatin1Char(',')))
        return kKindFormatMessage;
    return checkLengths({0, kind, QString(), QString()}).message;
}

} // namespace qadora
