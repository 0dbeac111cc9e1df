// SPDX-License-Identifier: GPL-3.0-or-later
// Giving every record of one kind another kind string at once.
#pragma once

#include "store/recordstore.h"

#include <QList>
#include <QString>

namespace qadora {

struct KindCount {
    QString kind;
    int records = 0;
};

// Every distinct kind with its number of records, ascending as the kind lists show them.
StoreStatus countKinds(const QString& database, QList<KindCount>* out);

// The changes that give every record of kind `from` the kind `to`, in store order.
StoreStatus kindRenameChanges(const QString& database, const QString& from, const QString& to, ChangeSet* out);

// Why `kind` cannot be the kind of a record, by the checks of a new record; empty when it can.
QString kindProblem(const QString& kind);

inline const QString kKindFormatMessage = QStringLiteral("ファイル名,種類　のフォーマットで種類を入れて下さい(右の例参照)");

} // namespace qadora
