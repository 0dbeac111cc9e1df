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
    // An Excel workbook holds every character, in cells of its own.
    m_workbook = csv::isWorkbookName(file);
    encodings->setEnabled(!m_workbook);
    separators->setEnabled(!m_workbook);

    auto* headers = new QGroupBox(QStringLiteral("見出し"), this);
    headerEnglish = captioned<QRadioButton>("exportHeaderEnglish", QStringLiteral("英語（No, kind, quest, anser）"), headers);
    headerJapanese = captioned<QRadioButton>("exportHeaderJapanese", QStringLiteral("日本語（番号・種類・質問・答え）"), headers);
    headerEnglish->setChecked(true);
    auto* h = new QVBoxLayout(headers);
    h->addWidget(headerEnglish);
    h->addWidget(headerJapanese);
    layout->addWidget(headers);

    exportButton = buttons(this, layout, "exportButton", QStringLiteral("書き出す"));
}

csv::ExportOptions ExportDialog::options() const
{
    csv::ExportOptions options;
    options.encoding = utf8->isChecked() ? csv::Encoding::Utf8 : csv::Encoding::ShiftJis;
    options.separator = tab->isChecked() ? csv::Separator::Tab : csv::Separator::Comma;
    options.workbook = m_workbook;
    options.japaneseHeader = headerJapanese->isChecked();
    return options;
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
