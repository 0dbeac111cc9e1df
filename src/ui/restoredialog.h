// SPDX-License-Identifier: GPL-3.0-or-later
// "バックアップから復元…": the backups of the current database, newest first, with the time
// each was made, why, and the records it holds; the user picks one of those that can be read.
#pragma once

#include "history/backups.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace qadora {

class RestoreDialog : public QDialog {
    Q_OBJECT
public:
    RestoreDialog(const QString& database, const QList<BackupEntry>& backups, QWidget* parent = nullptr);

    // The backup picked; -1 when none is.
    int chosen() const;

    QListWidget* list = nullptr;
    QPushButton* restoreButton = nullptr;
};

// One backup as the list shows it: "2026/01/05 14:03:22　取り込み前　12 件" (without the reason
// for a backup from before reasons were kept).
QString backupLine(const BackupEntry& backup);

} // namespace qadora
