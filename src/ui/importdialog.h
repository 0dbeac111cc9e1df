// SPDX-License-Identifier: GPL-3.0-or-later
// ファイル → 取り込み…, after the file is chosen: what the file or workbook adds and which of its
// rows cannot be taken, planned again whenever a choice changes (encoding, sheet, a column's use,
// a category's page name, the line-break markers); a workbook's sheet is read once, and again
// only when another sheet is chosen. "取り込む" reads the database again; when the
// outcome has changed meanwhile, the dialog shows the new one and stays open.
#pragma once

#include "exchange/csvimport.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace qadora {

class ImportDialog : public QDialog {
    Q_OBJECT
public:
    // `lineBreakMarks`: 「改行を<br>改行にする」 starts as the window's option is. `indexName`:
    // the index page the html tab names, which no kind's page may replace.
    ImportDialog(const QString& database, const QString& file, QByteArray bytes, QWidget* parent = nullptr,
                 bool lineBreakMarks = false, const QString& indexName = QStringLiteral("index.html"));

    // The plan the user confirmed (after the dialog was accepted).
    const csv::ImportPlan& plan() const { return m_plan; }
    // How many times a sheet of the workbook was read.
    int sheetReads() const { return m_sheetReads; }

    QComboBox* encoding = nullptr; // 自動判別, Shift_JIS, UTF-8 (a file, not a workbook)
    QComboBox* sheet = nullptr;    // a workbook's sheets
    QCheckBox* lineBreaks = nullptr;
    QCheckBox* pageNames = nullptr; // categories without a comma get page names
    QLabel* summary = nullptr;
    QLabel* header = nullptr;       // the header row, the rows skipped above it, the columns ignored
    QTableWidget* columns = nullptr;   // each header cell and its use (a combo box)
    QTableWidget* categories = nullptr; // each plain category and its page name (a line edit)
    QTableWidget* sample = nullptr;    // the first records as they will be stored
    QListWidget* problems = nullptr;   // the refused rows, grouped by cause
    QPushButton* importButton = nullptr;

    void accept() override;

private:
    csv::ImportPlan planNow(QString* failure) const;
    void showPlan(const csv::ImportPlan& plan, const QString& failure);
    void showColumns(const csv::ImportPlan& plan);
    void showCategories(const csv::ImportPlan& plan);
    void showSample(const csv::ImportPlan& plan);
    void showProblems(const csv::ImportPlan& plan);
    void refresh();

    QString m_database;
    QString m_file;
    QString m_indexName;
    QByteArray m_bytes;
    mutable std::shared_ptr<const workbook::Sheet> m_sheet; // the sheet last read, when the file is a workbook
    mutable int m_sheetReads = 0;
    csv::ImportPlan m_plan;
    QList<int> m_columns;                    // chosen by hand; empty: by the header's names
    QHash<QString, QString> m_chosenNames;   // category → page name typed
    QStringList m_shownHeader;               // the header cells the column table shows
    QList<std::pair<int, int>> m_columnRows; // each row of that table: its first and last column
    QStringList m_shownCategories;           // the categories the page-name table shows
    int m_headerLine = 0;                    // the header row last found
    bool m_filling = false;
    QLabel* m_changed = nullptr; // said when the database changed before "取り込む"
};

} // namespace qadora
