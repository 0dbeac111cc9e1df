// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of the records' exchange with spreadsheets and of the rename of a kind: each
// shows what will happen before anything is written.
#pragma once

#include "editing/kindrename.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "importdialog.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace qadora {

class Interaction;

// ファイル → 書き出し…, after the file is chosen: the encoding and the separator (for CSV and
// TSV; a workbook has neither), and the language of the header row.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(const QString& file, QWidget* parent = nullptr);

    csv::ExportOptions options() const;

    QRadioButton* shiftJis = nullptr;
    QRadioButton* utf8 = nullptr;
    QRadioButton* comma = nullptr;
    QRadioButton* tab = nullptr;
    QRadioButton* headerEnglish = nullptr;  // No,kind,quest,anser, as before
    QRadioButton* headerJapanese = nullptr; // 番号・種類・質問・答え
    QPushButton* exportButton = nullptr;

private:
    bool m_workbook = false;
};

// 種類の変更…: a kind, its new kind string, and how many records change.
class RenameKindDialog : public QDialog {
    Q_OBJECT
public:
    RenameKindDialog(const QList<KindCount>& kinds, Interaction* interaction, QWidget* parent = nullptr);

    QString from() const;
    QString to() const;

    QComboBox* kind = nullptr;
    QLineEdit* newKind = nullptr;
    QLabel* count = nullptr;
    QPushButton* renameButton = nullptr;

    void accept() override;

private:
    void updateCount();

    QList<KindCount> m_kinds;
    Interaction* m_interaction;
};

} // namespace qadora
