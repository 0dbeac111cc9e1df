// SPDX-License-Identifier: GPL-3.0-or-later
// main1: ファイル → 取り込み… and 書き出し… (the records to and from spreadsheets), and
// 種類の変更… on the data-entry tab.
#include "ui/main1.h"

#include "editing/kindrename.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "ui/csvdialogs.h"
#include "ui/interaction.h"
#include "views/listings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace qadora {

namespace {

csv::ExportResult exportWithProgress(const QString& database, const QString& file, const csv::ExportOptions& options,
                                     Interaction* interaction)
{
    QString ignored;
    const int total = countRecords(database, &ignored);
    const std::unique_ptr<Progress> progress = interaction->startProgress(QStringLiteral("書き出しています…"), total);
    return csv::exportRecords(database, file, options, [&](int done) { return progress->advance(done); });
}

} // namespace

void main1::exportCsv_Click()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return;
    }
    const QFileInfo database(m_dbPath);
    const QString file = m_interaction->saveFileName(database.absolutePath(),
                                                     QStringLiteral("CSVファイル|*.csv|TSVファイル|*.tsv|Excelブック|*.xlsx|All Files|*.*|"),
                                                     database.completeBaseName() + QStringLiteral(".csv"));
    if (file.isEmpty())
        return;
    // The chooser leaves the question to the program: a sheet kept under that name may hold
    // the user's own edits.
    if (QFileInfo::exists(file)
        && !m_interaction->ask(QStringLiteral("ファイル上書き確認"),
                               QLatin1Char('\n') + file + QStringLiteral(" のファイルに上書きしますか？"),
                               Interaction::Icon::Warning, true))
        return;
    ExportDialog dialog(file, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    csv::ExportOptions options = dialog.options();
    csv::ExportResult result = exportWithProgress(m_dbPath, file, options, m_interaction);
    if (result.notInEncoding && options.encoding == csv::Encoding::ShiftJis) {
        if (!m_interaction->ask(QStringLiteral("文字コード確認"),
                                result.message + QLatin1Char('\r') + QLatin1Char('\r')
                                    + QStringLiteral("UTF-8（BOM付き）で書き出しますか？"))) {
            return;
        }
        options.encoding = csv::Encoding::Utf8;
        result = exportWithProgress(m_dbPath, file, options, m_interaction);
    }
    if (result.cancelled)
        return;
    if (!result.ok) {
        notice(result.message);
        return;
    }
    notice(QStringLiteral("%1 件のデータを書き出しました").arg(result.records) + QLatin1Char('\r') + file);
}

void main1::importCsv_Click()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return;
    }
    const QString file = m_interaction->openFileName(QFileInfo(m_dbPath).absolutePath(),
                                                     QStringLiteral("CSV・TSV・ブック（Excel・LibreOffice）|*.csv;*.tsv;*.txt;*.xlsx;*.xlsm;*.ods|All Files|*.*|"),
                                                     QString());
    if (file.isEmpty())
        return;
    QByteArray bytes;
    QString error;
    if (!csv::readImportFile(file, &bytes, &error)) {
        notice(error);
        return;
    }
    // With no index name set yet, the one the html tab starts with: a kind must not take it.
    const QString indexName = Text8->text().isEmpty() ? QStringLiteral("index.html") : Text8->text();
    ImportDialog dialog(m_dbPath, file, std::move(bytes), this, Check1->isChecked(), indexName);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const ChangeSet& additions = dialog.plan().additions;
    if (!applyUndoable(additions, QStringLiteral("取り込み（%1 件）").arg(additions.size()), BackupReason::Import))
        return;
    relistShown();
    notice(QStringLiteral("%1 件のデータを取り込みました").arg(additions.size()));
}

void main1::renameKind_Click()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return;
    }
    QList<KindCount> kinds;
    if (const StoreStatus status = countKinds(m_dbPath, &kinds); !status.ok()) {
        notice(status.message);
        return;
    }
    if (kinds.isEmpty()) {
        notice(kNoRecordsMessage);
        return;
    }
    RenameKindDialog dialog(kinds, m_interaction, this);
    // The kind being typed on the tab is the likely one.
    if (const int i = dialog.kind->findText(Combo1->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive); i >= 0)
        dialog.kind->setCurrentIndex(i);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString from = dialog.from();
    const QString to = dialog.to();
    ChangeSet changes;
    if (const StoreStatus status = kindRenameChanges(m_dbPath, from, to, &changes); !status.ok()) {
        notice(status.message);
        return;
    }
    if (changes.isEmpty()) {
        notice(QStringLiteral("この種類のデータはもうありません") + QLatin1Char('\r') + from);
        return;
    }
    if (!applyUndoable(changes, QStringLiteral("種類の変更「%1」→「%2」").arg(markLineBreaks(from), markLineBreaks(to)),
                       BackupReason::KindRename))
        return;
    // The lists follow; the kind typed on the tab stays, unless it was the old one.
    const bool typedOld = Combo1->currentText() == from;
    relistShown();
    if (typedOld)
        Combo1->setEditText(to);
    notice(QStringLiteral("%1 件のデータの種類を変更しました").arg(changes.size()));
}

void main1::connectExchange()
{
    connect(exportCsv, &QAction::triggered, this, &main1::exportCsv_Click);
    connect(importCsv, &QAction::triggered, this, &main1::importCsv_Click);
    connect(renameKind, &QPushButton::clicked, this, &main1::renameKind_Click);
}

} // namespace qadora
