// SPDX-License-Identifier: GPL-3.0-or-later
#include "main1_controls.h"

#include "ui/answerbox.h"
#include "ui/controls.h"
#include "views/listings.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>

namespace qadora {

namespace {

// Rows stay one line each: a line break inside a stored text is drawn as a mark, so a row
// shows all of its text. The items themselves keep the text exactly.
class OneLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        if (value.typeId() == QMetaType::QString)
            return QStyledItemDelegate::displayText(markLineBreaks(value.toString()), locale);
        return QStyledItemDelegate::displayText(value, locale);
    }
};

// A label whose caption breaks its lines at a lone CR, as the program's captions do;
// text() keeps the caption exactly as set.
class CrLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        const int m = 2 * (frameWidth() + margin() + 2);
        return fontMetrics().boundingRect(QRect(), Qt::AlignLeft, shown()).size() + QSize(m, m);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const int m = margin() + 2;
        style()->drawItemText(&painter, contentsRect().adjusted(m, m, -m, -m), int(alignment()), palette(),
                              isEnabled(), shown(), foregroundRole());
    }

private:
    QString shown() const { return QString(text()).replace(QLatin1Char('\r'), QLatin1Char('\n')); }
};

} // namespace

namespace windowcontrols {

// A bordered label that shows a number centred.
QLabel* countLabel(const char* name, QWidget* parent)
{
    auto* l = named<QLabel>(name, parent);
    l->setFrameShape(QFrame::Box);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(70);
    return l;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = captioned<QPushButton>(name, text, parent);
    // Enter on a focused button presses it; outside a dialog nothing else becomes default.
    b->setAutoDefault(true);
    return b;
}

QLineEdit* lineEdit(const char* name, QWidget* parent, const QString& text)
{
    auto* e = named<QLineEdit>(name, parent);
    e->setText(text);
    return e;
}

AnswerBox* multiLine(const char* name, QWidget* parent)
{
    return named<AnswerBox>(name, parent);
}

QListWidget* list(const char* name, QWidget* parent)
{
    auto* l = named<QListWidget>(name, parent);
    l->setItemDelegate(new OneLineDelegate(l));
    l->setSortingEnabled(false);
    l->setUniformItemSizes(true); // tens of thousands of lines
    return l;
}

// A search box over a record list.
QLineEdit* searchBox(const char* name, QWidget* parent)
{
    auto* e = named<QLineEdit>(name, parent);
    e->setPlaceholderText(QStringLiteral("検索（種類・質問・答え）"));
    e->setClearButtonEnabled(true);
    return e;
}

QFrame* line(const char* name, QWidget* parent)
{
    auto* f = named<QFrame>(name, parent);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

QLabel* crLabel(const char* name, QWidget* parent)
{
    return named<CrLabel>(name, parent);
}

} // namespace windowcontrols
} // namespace qadora
