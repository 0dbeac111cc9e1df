// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvdialogs.h"

#include "controls.h"
#include "interaction.h"
#include "pathlabel.h"
#include "views/listings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qadora {

namespace {

// The OK-like button of a dialog: named, captioned, default; Cancel rejects.
QPushButton* buttons(QDialog* dialog, QVBoxLayout* layout, const char* name, const QString& text)
{
    auto* box = new QDialogButtonBox(dialog);
    auto* ok = box->addButton(text, QDialogButtonBox::AcceptRole);
    ok->setObjectName(QLatin1String(name));
    ok->setDefault(true);
    box->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(box);
    return ok;
}

PathLabel* fileLabel(const QString& file, QWidget* parent)
{
    auto* l = new PathLabel(parent);
    l->setObjectName(QStringLiteral("exchangeFile"));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setText(file);
    return l;
}

QString encodingName(csv::Encoding encoding)
{
    return encoding == csv::Encoding::ShiftJis ? QStringLiteral("Shift_JIS") : QStringLiteral("UTF-8");
}

} // namespace

ExportDialog::ExportDialog(const QString& file, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(QStringLiteral("書き出し"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileLabel(file, this));

    auto* encodings = new QGroupBox(QStringLiteral("文字コード"), this);
    shiftJis = captioned<QRadioButton>("exportShiftJis", QStringLiteral("Shift_JIS（日本語版の Excel でそのまま開けます）"), encodings);
    utf8 = captioned<QRadioButton>("exportUtf8", QStringLiteral("UTF-8（BOM付き。絵文字など Shift_JIS にない文字も書き出せます）"), encodings);
    shiftJis->setChecked(true);
    auto* e = new QVBoxLayout(encodings);
    e->addWidget(shiftJis);
    e->addWidget(utf8);
    layout->addWidget(encodings);

    auto* separators = new QGroupBox(QStringLiteral("区切り"), this);
    comma = captioned<QRadioButton>("exportComma", QStringLiteral("カンマ区切り（CSV）"), separators);
    tab = captioned<QRadioButton>("exportTab", QStringLiteral("タブ区切り（TSV）"), separators);
    (csv::separatorFor(file) == csv::Separator::Tab ? tab : comma)->setChecked(true);
    auto* s = new QVBoxLayout(separators);
    s->addWidget(comma);
    s->addWidget(tab);
    layout->addWidget(separators);

    exportButton = buttons(this, layout, "exportButton", QStringLiteral("書き出す"));
}

csv::ExportOptions ExportDialog::options() const
{
    return {utf8->isChecked() ? csv::Encoding::Utf8 : csv::Encoding::ShiftJis,
            tab->isChecked() ? csv::Separator::Tab : csv::Separator::Comma};
}

ImportDialog::ImportDialog(const QString& database, const QString& file, QByteArray bytes, QWidget* parent)
    : QDialog(parent)
    , m_database(database)
    , m_file(file)
    , m_bytes(std::move(bytes))
{
    setObjectName(QStringLiteral("importDialog"));
    setWindowTitle(QStringLiteral("取り込み"));
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileLabel(file, this));
    auto* form = new QFormLayout;
    encoding = named<QComboBox>("importEncoding", this);
    encoding->addItems({QStringLiteral("自動判別"), QStringLiteral("Shift_JIS"), QStringLiteral("UTF-8")});
    form->addRow(QStringLiteral("文字コード："), encoding);
    layout->addLayout(form);
    summary = plainLabel("importSummary", this);
    layout->addWidget(summary);
    problems = named<QListWidget>("importProblems", this);
    problems->setUniformItemSizes(true); // a file may have thousands of such rows
    layout->addWidget(problems, 1);
    m_changed = plainLabel("importChanged", this);
    m_changed->setText(QStringLiteral("確かめている間にデータベースが変更されたため、読み直しました。"
                                      "内容を確かめてから、もう一度「取り込む」を押して下さい"));
    m_changed->setVisible(false);
    layout->addWidget(m_changed);
    importButton = buttons(this, layout, "importButton", QStringLiteral("取り込む"));
    connect(encoding, &QComboBox::currentIndexChanged, this, &ImportDialog::refresh);
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
    return csv::planImport(m_bytes, options, existing);
}

void ImportDialog::showPlan(const csv::ImportPlan& plan, const QString& failure)
{
    m_plan = plan;
    problems->clear();
    if (!failure.isEmpty() || !plan.fatal.isEmpty()) {
        summary->setText(QStringLiteral("このファイルは取り込めません") + QLatin1Char('\n')
                         + QString(failure.isEmpty() ? plan.fatal : failure).replace(QLatin1Char('\r'), QLatin1Char('\n')));
        m_plan.additions.clear();
        importButton->setEnabled(false);
        return;
    }
    const QString how = encoding->currentIndex() == 0 ? QStringLiteral("（自動判別）") : QString();
    summary->setText(QStringLiteral("文字コード：%1%2").arg(plan.utf16 ? QStringLiteral("UTF-16") : encodingName(plan.encoding), how) + QLatin1Char('\n')
                     + QStringLiteral("追加するデータ：%1 件").arg(plan.additions.size()) + QLatin1Char('\n')
                     + QStringLiteral("取り込めない行：%1 行").arg(plan.problems.size()));
    QStringList lines;
    lines.reserve(plan.problems.size());
    for (const csv::ImportProblem& p : plan.problems)
        lines << markLineBreaks(QStringLiteral("%1 行目：%2").arg(p.line).arg(p.reason));
    problems->addItems(lines);
    importButton->setEnabled(!plan.additions.isEmpty());
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
    QString failure;
    const csv::ImportPlan now = planNow(&failure);
    if (!failure.isEmpty() || now.additions != m_plan.additions || now.problems != m_plan.problems) {
        showPlan(now, failure);
        m_changed->setVisible(true);
        return;
    }
    QDialog::accept();
}

RenameKindDialog::RenameKindDialog(const QList<KindCount>& kinds, Interaction* interaction, QWidget* parent)
    : QDialog(parent)
    , m_kinds(kinds)
    , m_interaction(interaction)
{
    setObjectName(QStringLiteral("renameKindDialog"));
    setWindowTitle(QStringLiteral("種類の変更"));
    setMinimumWidth(440);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    kind = named<QComboBox>("renameFrom", this);
    for (const KindCount& k : kinds)
        kind->addItem(k.kind);
    newKind = named<QLineEdit>("renameTo", this);
    form->addRow(QStringLiteral("変更する種類："), kind);
    form->addRow(QStringLiteral("新しい種類："), newKind);
    layout->addLayout(form);
    count = plainLabel("renameCount", this);
    layout->addWidget(count);
    renameButton = buttons(this, layout, "renameButton", QStringLiteral("変更する"));
    connect(kind, &QComboBox::currentIndexChanged, this, [this] {
        newKind->setText(from());
        updateCount();
    });
    connect(newKind, &QLineEdit::textChanged, this, &RenameKindDialog::updateCount);
    newKind->setText(from());
    newKind->setFocus();
    updateCount();
}

QString RenameKindDialog::from() const
{
    const int i = kind->currentIndex();
    return i >= 0 ? m_kinds[i].kind : QString();
}

QString RenameKindDialog::to() const
{
    return newKind->text();
}

void RenameKindDialog::updateCount()
{
    const int i = kind->currentIndex();
    if (i < 0)
        return;
    QString text = QStringLiteral("%1 件のデータの種類が変わります").arg(m_kinds[i].records);
    for (const KindCount& other : m_kinds) {
        if (other.kind == to() && other.kind != from())
            text += QLatin1Char('\n')
                + QStringLiteral("「%1」の %2 件と同じ種類になります").arg(markLineBreaks(other.kind), QString::number(other.records));
    }
    count->setText(text);
}

void RenameKindDialog::accept()
{
    if (const QString problem = kindProblem(to()); !problem.isEmpty()) {
        m_interaction->notice(problem);
        return;
    }
    if (to() == from()) {
        m_interaction->notice(QStringLiteral("新しい種類が今の種類と同じです"));
        return;
    }
    QDialog::accept();
}

} // namespace qadora
