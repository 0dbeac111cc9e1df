// SPDX-License-Identifier: GPL-3.0-or-later
// main1: shortcuts and the order in which Tab visits the controls of each tab. Shortcuts
// leave every caption as it is.
#include "ui/main1.h"

#include "ui/answerbox.h"
#include "ui/folderpicker.h"
#include "ui/recordsearch.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QFocusFrame>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>

#include <memory>

namespace qadora {

namespace {

// A ring in the highlight colour around the control that has the focus, whatever its kind:
// the style's own marks are faint on buttons and absent on an empty list.
class FocusRing : public QFocusFrame {
public:
    using QFocusFrame::QFocusFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
};

void chain(std::initializer_list<QWidget*> widgets)
{
    QWidget* before = nullptr;
    for (QWidget* w : widgets) {
        if (before)
            QWidget::setTabOrder(before, w);
        before = w;
    }
}

} // namespace

void main1::connectKeyboard()
{
    // Spelled out: the platform's standard keys may lack some (Quit on a desktop without a theme).
    dbmake->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    eend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    setumei->setShortcut(QKeySequence(Qt::Key_F1));

    // Ctrl+Enter adds on the entry tab and saves on the modification tab, wherever the focus
    // is on that tab (in the answer box Enter alone is a line break).
    const QKeySequence ctrlEnter[] = {QKeySequence(Qt::CTRL | Qt::Key_Return),
                                      QKeySequence(Qt::CTRL | Qt::Key_Enter)};
    for (const QKeySequence& keys : ctrlEnter) {
        new QShortcut(keys, Command3->parentWidget(), Command3, &QPushButton::click, Qt::WidgetWithChildrenShortcut);
        new QShortcut(keys, Command10->parentWidget(), Command10, &QPushButton::click, Qt::WidgetWithChildrenShortcut);
    }
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this, this, [this] {
        for (QLineEdit* box : {searchDisplay, searchDelete, searchModify}) {
            if (SSTab1->currentWidget()->isAncestorOf(box)) {
                box->setFocus(Qt::ShortcutFocusReason);
                box->selectAll();
            }
        }
    });
    auto step = [this](int by) {
        const int n = SSTab1->count();
        SSTab1->setCurrentIndex((SSTab1->currentIndex() + by + n) % n);
    };
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this, this, [step] { step(1); });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this, this, [step] { step(-1); });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), this, this, [step] { step(-1); });

    // In this window and in every dialog and box it opens, each with a ring of its own (a
    // child, which goes with the window). The menu bar shows its own highlight while it is
    // used from the keyboard; a popup's own marks are enough.
    auto rings = std::make_shared<QHash<const QWidget*, QPointer<FocusRing>>>();
    connect(qApp, &QApplication::focusChanged, this, [rings](QWidget* old, QWidget* now) {
        rings->removeIf([](const auto& entry) { return entry.value().isNull(); });
        if (old && (!now || old->window() != now->window())) {
            if (FocusRing* ring = rings->value(old->window()))
                ring->setWidget(nullptr);
        }
        if (!now || now->isWindow() || now->window()->windowType() == Qt::Popup || qobject_cast<QMenuBar*>(now))
            return;
        QPointer<FocusRing>& ring = (*rings)[now->window()];
        if (!ring)
            ring = new FocusRing(now->window());
        ring->setWidget(now);
    });

    // Top to bottom, left to right; a button after the fields it uses.
    chain({Command17, List8, Option1, Option2, Command18, searchDisplay, List9});
    chain({Combo1, Command12, renameKind, Text1, rtext1, Check1, Command26, Command3, Command4, List1});
    chain({Command5, searchDelete, List2, Command6, Text6, Text7, Text2, Command7, Command8});
    chain({Command2, searchModify, List3, Check3, Command25, List12, Command9, Text3, Text4, Text5, Command10,
           Command11, previewRecord});
    chain({Text8, Text15, Text12, Text10, Option5, Option6, Option7, Check2, Check5, siteAddress, Command13, List4, Command14, preview,
           Dir1, File1, Command1, browseDir, Text9, Command15, Command16, Check4});
    chain({Command19, Command20, List11, Text11, Command22, Text13, Text14, Command21, Command23, Command24});
    Command17->setFocus(); // where the window opens: the first control of the first tab
}

} // namespace qadora
