// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of the records' exchange with spreadsheets and of the rename of a kind: each
// shows what will happen before anything is written.
#pragma once

#include "editing/kindrename.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace qadora {

class Interaction;

// ファイル → 書き出し…, after the file is chosen: the encoding and the separator.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(const QString& file, QWidget* parent = nullptr);

    csv::ExportOptions options() const;

    QRadioButton* shiftJis = nullptr;
    QRadioButton* utf8 = nullptr;
    QRadioButton* comma = nullptr;
    QRadioButton* tab = nullptr;
    QPushButton* exportButton = nullptr;
};

// ファイル → 取り込み…, after the file is chosen: what the file adds and which of its rows
// cannot be taken, read again whenever the encoding is changed. "取り込む" reads the database
// again; when the outcome has changed meanwhile, the dialog shows the new one and stays open.
class ImportDialog : public QDialog {
    Q_OBJECT
public:
    ImportDialog(const QString& database, const QString& file, QByteArray bytes, QWidget* parent = nullptr);

    // The plan the user confirmed (after the dialog was accepted).
    const csv::ImportPlan& plan() const { return m_plan; }

    QComboBox* encoding = nullptr; // 自動判別, Shift_JIS, UTF-8
    QLabel* summary = nullptr;
    QListWidget* problems = nullptr;
    QPushButton* importButton = nullptr;

    void accept() override;

private:
    csv::ImportPlan planNow(QString* failure) const;
    void showPlan(const csv::ImportPlan& plan, const QString& failure);
    void refresh();

    QString m_database;
    QString m_file;
    QByteArray m_bytes;
    csv::ImportPlan m_plan;
    QLabel* m_changed = nullptr; // said when the database changed before "取り込む"
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
