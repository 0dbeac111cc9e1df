// SPDX-License-Identifier: GPL-3.0-or-later
#include "importdialog.h"

#include "controls.h"
#include "pathlabel.h"
#include "views/listings.h"
#include "workbook/workbookreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qadora {

namespace {

constexpr int kSampleRecords = 5;

const QStringList kUses = {QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"), QStringLiteral("回答"),
                           QStringLiteral("使わない")};

bool blank(const QString& headerCell)
{
    return headerCell.trimmed().isEmpty();
}

// The column table's rows, each a first and last column: one column each, except that a long
// stretch of columns without a heading is one row, never chosen for anything — a cell typed
// far to the right of the header (column XFD) would otherwise give thousands of rows.
QList<std::pair<int, int>> columnRows(const QStringList& header)
{
    constexpr int kLongestListed = 3;
    QList<std::pair<int, int>> rows;
    for (int i = 0; i < header.size(); ++i) {
        int last = i;
        while (blank(header[i]) && last + 1 < header.size() && blank(header[last + 1]))
            ++last;
        if (last - i + 1 > kLongestListed) {
            rows.append({i, last});
            i = last;
        } else {
            rows.append({i, i});
        }
    }
    return rows;
}

QString encodingName(csv::Encoding encoding)
{
    return encoding == csv::Encoding::ShiftJis ? QStringLiteral("Shift_JIS") : QStringLiteral("UTF-8");
}

QTableWidget* table(const char* name, const QStringList& headers, QWidget* parent)
{
    auto* t = named<QTableWidget>(name, parent);
    t->setColumnCount(int(headers.size()));
    t->setHorizontalHeaderLabels(headers);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setStretchLastSection(true);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setTabKeyNavigation(false); // Tab moves on to the next control, as everywhere else
    return t;
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(markLineBreaks(text));
    item->setToolTip(text);
    return item;
}

} // namespace

ImportDialog::ImportDialog(const QString& database, const QString& file, QByteArray bytes, QWidget* parent,
                           bool lineBreakMarks, const QString& indexName)
    : QDialog(parent)
    , m_database(database)
    , m_file(file)
    , m_indexName(indexName)
    , m_bytes(std::move(bytes))
{
    setObjectName(QStringLiteral("importDialog"));
    setWindowTitle(QStringLiteral("取り込み"));
    resize(760, 640);
    auto* layout = new QVBoxLayout(this);
    auto* path = new PathLabel(this);
    path->setObjectName(QStringLiteral("exchangeFile"));
    path->setFrameShape(QFrame::Panel);
    path->setFrameShadow(QFrame::Sunken);
    path->setText(file);
    layout->addWidget(path);

    auto* form = new QFormLayout;
    encoding = named<QComboBox>("importEncoding", this);
    encoding->addItems({QStringLiteral("自動判別"), QStringLiteral("Shift_JIS"), QStringLiteral("UTF-8")});
    form->addRow(QStringLiteral("文字コード："), encoding);
    sheet = named<QComboBox>("importSheet", this);
    form->addRow(QStringLiteral("シート："), sheet);
    layout->addLayout(form);
    lineBreaks = captioned<QCheckBox>("importLineBreaks", QStringLiteral("改行を<br>改行にする"), this);
    lineBreaks->setChecked(lineBreakMarks);
    pageNames = captioned<QCheckBox>("importPageNames", QStringLiteral("半角カンマのない種類をページの題名にし、ページ名を付ける"), this);
    pageNames->setChecked(true);
    layout->addWidget(lineBreaks);
    layout->addWidget(pageNames);

    summary = plainLabel("importSummary", this);
    layout->addWidget(summary);
    header = plainLabel("importHeader", this);
    layout->addWidget(header);
    columns = table("importColumns", {QStringLiteral("見出し"), QStringLiteral("使い方")}, this);
    layout->addWidget(columns, 1);
    categories = table("importCategories", {QStringLiteral("種類（題名）"), QStringLiteral("ページ名"), QStringLiteral("件数")}, this);
    layout->addWidget(categories, 1);
    sample = table("importSample", {QStringLiteral("行"), QStringLiteral("番号"), QStringLiteral("種類"), QStringLiteral("質問"),
                                    QStringLiteral("答え")}, this);
    layout->addWidget(sample, 1);
    problems = named<QListWidget>("importProblems", this);
    problems->setUniformItemSizes(true); // a file may have thousands of such rows
    layout->addWidget(problems, 1);
    m_changed = plainLabel("importChanged", this);
    m_changed->setText(QStringLiteral("確かめている間にデータベースが変更されたため、読み直しました。"
                                      "内容を確かめてから、もう一度「取り込む」を押して下さい"));
    m_changed->setVisible(false);
    layout->addWidget(m_changed);

    auto* box = new QDialogButtonBox(this);
    importButton = box->addButton(QStringLiteral("取り込む"), QDialogButtonBox::AcceptRole);
    importButton->setObjectName(QStringLiteral("importButton"));
    importButton->setDefault(true);
    box->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    connect(encoding, &QComboBox::currentIndexChanged, this, &ImportDialog::refresh);
    connect(sheet, &QComboBox::currentIndexChanged, this, [this] {
        if (m_filling)
            return;
        m_columns.clear(); // another sheet has other columns
        refresh();
    });
    connect(lineBreaks, &QCheckBox::toggled, this, &ImportDialog::refresh);
    connect(pageNames, &QCheckBox::toggled, this, &ImportDialog::refresh);
    refresh();
}

csv::ImportPlan ImportDialog::planNow(QString* failure) const
{
    csv::ExistingRecords existing;
    if (const StoreStatus status = csv::readExisting(m_database, &existing); !status.ok()) {
        *failure = status.message;
        return {};
    }
    csv::ImportOptions options;
    options.separator = csv::separatorFor(m_file);
    if (encoding->currentIndex() == 1)
        options.encoding = csv::Encoding::ShiftJis;
    else if (encoding->currentIndex() == 2)
        options.encoding = csv::Encoding::Utf8;
    options.sheet = sheet->currentText();
    options.columns = m_columns;
    options.headerLine = m_columns.isEmpty() ? 0 : m_headerLine;
    options.pageNames = pageNames->isChecked();
    options.chosenPageNames = m_chosenNames;
    options.lineBreakMarks = lineBreaks->isChecked();
    options.indexName = m_indexName;
    if (!csv::isWorkbookFile(m_bytes))
        return csv::planImport(m_bytes, options, existing);
    // Only the sheet is read again, and only when another is chosen: a tick or a page name plans again.
    if (!m_sheet || (!options.sheet.isEmpty() && options.sheet != m_sheet->name)) {
        m_sheet = std::make_shared<const workbook::Sheet>(workbook::readSheet(m_bytes, options.sheet));
        ++m_sheetReads;
    }
    return csv::planSheetImport(*m_sheet, options, existing);
}

void ImportDialog::showPlan(const csv::ImportPlan& plan, const QString& failure)
{
    if (plan.headerLine > 0)
        m_headerLine = plan.headerLine;
    m_plan = plan;
    m_filling = true;
    if (plan.workbook && sheet->count() != plan.sheets.size()) {
        sheet->clear();
        sheet->addItems(plan.sheets);
        sheet->setCurrentText(plan.sheet);
    }
    m_filling = false;
    sheet->setEnabled(plan.sheets.size() > 1);
    encoding->setEnabled(!plan.workbook);
    problems->clear();
    if (!failure.isEmpty() || !plan.fatal.isEmpty()) {
        summary->setText(QStringLiteral("このファイルは取り込めません") + QLatin1Char('\n')
                         + QString(failure.isEmpty() ? plan.fatal : failure).replace(QLatin1Char('\r'), QLatin1Char('\n')));
        header->clear();
        m_plan.additions.clear();
        importButton->setEnabled(false);
        showSample(m_plan);
        return;
    }
    const QString how = encoding->currentIndex() == 0 ? QStringLiteral("（自動判別）") : QString();
    const QString source = plan.workbook ? QStringLiteral("シート：%1").arg(plan.sheet)
                                         : QStringLiteral("文字コード：%1%2").arg(plan.utf16 ? QStringLiteral("UTF-16") : encodingName(plan.encoding), how);
    summary->setText(source + QLatin1Char('\n') + QStringLiteral("追加するデータ：%1 件").arg(plan.additions.size()) + QLatin1Char('\n')
                     + QStringLiteral("取り込めない行：%1 行").arg(plan.problems.size()));
    QStringList about{QStringLiteral("見出し：%1 行目").arg(plan.headerLine)};
    if (!plan.skipped.isEmpty())
        about << QStringLiteral("見出しの上の行は読み飛ばします：") + plan.skipped.join(QStringLiteral("、"));
    QStringList ignored;
    const auto blankAndIgnored = [&](int i) {
        return i < plan.columns.size() && i < plan.headerCells.size() && plan.columns[i] == csv::kIgnored && blank(plan.headerCells[i]);
    };
    for (int i = 0; i < plan.columns.size(); ++i) {
        if (plan.columns[i] != csv::kIgnored || i >= plan.headerCells.size())
            continue;
        if (!blank(plan.headerCells[i])) {
            ignored << QStringLiteral("「%1」").arg(markLineBreaks(plan.headerCells[i]));
            continue;
        }
        const int first = i;
        while (blankAndIgnored(i + 1))
            ++i;
        ignored << (i == first ? QStringLiteral("（%1 列目・見出しなし）").arg(first + 1)
                               : QStringLiteral("（%1〜%2 列目・見出しなし）").arg(first + 1).arg(i + 1));
    }
    if (!ignored.isEmpty())
        about << QStringLiteral("使わない列：") + ignored.join(QStringLiteral("、"));
    header->setText(about.join(QLatin1Char('\n')));
    showColumns(plan);
    showCategories(plan);
    showSample(plan);
    showProblems(plan);
    importButton->setEnabled(!plan.additions.isEmpty());
}

void ImportDialog::showColumns(const csv::ImportPlan& plan)
{
    if (plan.headerCells == m_shownHeader) {
        for (int r = 0; r < columns->rowCount() && r < m_columnRows.size(); ++r) {
            const int c = m_columnRows[r].first;
            if (m_columnRows[r].second > c || c >= plan.columns.size())
                continue;
            auto* use = static_cast<QComboBox*>(columns->cellWidget(r, 1));
            const QSignalBlocker quiet(use);
            use->setCurrentIndex(plan.columns[c] == csv::kIgnored ? 4 : plan.columns[c]);
        }
        return;
    }
    m_shownHeader = plan.headerCells;
    m_columnRows = columnRows(plan.headerCells);
    columns->setRowCount(int(m_columnRows.size()));
    for (int r = 0; r < m_columnRows.size(); ++r) {
        const auto [first, last] = m_columnRows[r];
        auto* use = new QComboBox(columns);
        use->setObjectName(QStringLiteral("importColumn%1").arg(first));
        use->addItems(kUses);
        columns->setCellWidget(r, 1, use);
        if (last > first) {
            columns->setItem(r, 0, cell(QStringLiteral("（%1〜%2 列目）").arg(first + 1).arg(last + 1)));
            use->setCurrentIndex(4);
            use->setEnabled(false);
            continue;
        }
        columns->setItem(r, 0, cell(plan.headerCells[first].isEmpty() ? QStringLiteral("（%1 列目）").arg(first + 1) : plan.headerCells[first]));
        use->setCurrentIndex(first < plan.columns.size() && plan.columns[first] != csv::kIgnored ? plan.columns[first] : 4);
        connect(use, &QComboBox::currentIndexChanged, this, [this] {
            // Every column as its combo box now says: the choice is the user's from here on.
            m_columns.clear();
            for (int row = 0; row < columns->rowCount(); ++row) {
                const int chosen = static_cast<QComboBox*>(columns->cellWidget(row, 1))->currentIndex();
                const auto [from, to] = m_columnRows[row];
                for (int c = from; c <= to; ++c)
                    m_columns << (chosen == 4 || to > from ? csv::kIgnored : chosen);
            }
            refresh();
        });
    }
}

void ImportDialog::showCategories(const csv::ImportPlan& plan)
{
    QStringList titles;
    for (const csv::Category& c : plan.categories)
        titles << c.title;
    categories->setVisible(!titles.isEmpty());
    if (titles == m_shownCategories) {
        for (int i = 0; i < plan.categories.size(); ++i) {
            categories->item(i, 2)->setText(QString::number(plan.categories[i].rows));
            auto* name = static_cast<QLineEdit*>(categories->cellWidget(i, 1));
            if (!name->hasFocus())
                name->setText(plan.categories[i].pageName);
        }
        return;
    }
    m_shownCategories = titles;
    categories->setRowCount(int(plan.categories.size()));
    for (int i = 0; i < plan.categories.size(); ++i) {
        const csv::Category& c = plan.categories[i];
        categories->setItem(i, 0, cell(c.title));
        auto* name = new QLineEdit(c.pageName, categories);
        name->setObjectName(QStringLiteral("importPageName%1").arg(i));
        connect(name, &QLineEdit::editingFinished, this, [this, name, title = c.title] {
            if (m_chosenNames.value(title) == name->text())
                return;
            m_chosenNames.insert(title, name->text());
            refresh();
        });
        categories->setCellWidget(i, 1, name);
        categories->setItem(i, 2, new QTableWidgetItem(QString::number(c.rows)));
    }
}

void ImportDialog::showSample(const csv::ImportPlan& plan)
{
    const int n = int(std::min<qsizetype>(plan.additions.size(), kSampleRecords));
    sample->setRowCount(n);
    for (int i = 0; i < n; ++i) {
        const Record& r = *plan.additions[i].after;
        sample->setItem(i, 0, new QTableWidgetItem(QString::number(plan.additionLines.value(i))));
        sample->setItem(i, 1, new QTableWidgetItem(QString::number(r.no)));
        sample->setItem(i, 2, cell(r.kind));
        sample->setItem(i, 3, cell(r.quest));
        sample->setItem(i, 4, cell(r.anser));
    }
}

// Each cause once, with its count, and every row of it under it.
void ImportDialog::showProblems(const csv::ImportPlan& plan)
{
    QStringList causes;
    QHash<QString, QStringList> rows;
    for (const csv::ImportProblem& p : plan.problems) {
        if (!rows.contains(p.cause))
            causes << p.cause;
        rows[p.cause] << QStringLiteral("　%1 行目：%2").arg(p.line).arg(markLineBreaks(p.reason));
    }
    QStringList lines;
    lines.reserve(plan.problems.size() + causes.size());
    for (const QString& cause : causes) {
        lines << QStringLiteral("%1（%2 行）").arg(cause).arg(rows[cause].size());
        lines += rows[cause];
    }
    problems->addItems(lines);
}

void ImportDialog::refresh()
{
    QString failure;
    const csv::ImportPlan plan = planNow(&failure);
    m_changed->setVisible(false);
    showPlan(plan, failure);
}

void ImportDialog::accept()
{
    // A page name being typed counts as typed.
    if (auto* name = qobject_cast<QLineEdit*>(focusWidget()); name && categories->isAncestorOf(name))
        emit name->editingFinished();
    QString failure;
    const csv::ImportPlan now = planNow(&failure);
    if (!failure.isEmpty() || now.additions != m_plan.additions || now.problems != m_plan.problems) {
        showPlan(now, failure);
        m_changed->setVisible(true);
        return;
    }
    QDialog::accept();
}

} // namespace qadora
