// SPDX-License-Identifier: GPL-3.0-or-later
#include "restoredialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace qadora {

QString backupLine(const BackupEntry& backup)
{
    const QString records = backup.records < 0 ? QStringLiteral("読み込めません") : QStringLiteral("%L1 件").arg(backup.records);
    const QString reason = backupReasonText(backup.reason);
    return backup.made.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) + QStringLiteral("　")
        + (reason.isEmpty() ? QString() : reason + QStringLiteral("　")) + records;
}

RestoreDialog::RestoreDialog(const QString& database, const QList<BackupEntry>& backups, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("restoreDialog"));
    setWindowTitle(QStringLiteral("バックアップから復元"));

    auto* caption = new QLabel(QStringLiteral("データベースを、選んだバックアップの内容に戻します") + QLatin1Char('\n') + database);
    caption->setTextFormat(Qt::PlainText);
    caption->setWordWrap(true);
    list = new QListWidget;
    list->setObjectName(QStringLiteral("backups"));
    // One that cannot be read is shown, but cannot be chosen: restored, it would replace the
    // database with something no part of the program can read.
    int first = -1;
    for (const BackupEntry& b : backups) {
        auto* item = new QListWidgetItem(backupLine(b), list);
        if (b.records < 0)
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        else if (first < 0)
            first = list->row(item);
    }
    if (first >= 0)
        list->setCurrentRow(first);

    auto* buttons = new QDialogButtonBox;
    restoreButton = buttons->addButton(QStringLiteral("復元"), QDialogButtonBox::AcceptRole);
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    buttons->addButton(QDialogButtonBox::Cancel);
    restoreButton->setDefault(true);
    restoreButton->setEnabled(first >= 0);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list, &QListWidget::itemActivated, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    list->setFocus();
    resize(480, 320);
}

int RestoreDialog::chosen() const
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() && (item->flags() & Qt::ItemIsEnabled) ? list->row(item) : -1;
}

} // namespace qadora
