// SPDX-License-Identifier: GPL-3.0-or-later
#include "pathlabel.h"

#include <QDir>
#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace qadora {

PathLabel::PathLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize PathLabel::minimumSizeHint() const
{
    const QSize base = QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("/…/")) + 2 * frameWidth() + 8, base.height()};
}

QSize PathLabel::sizeHint() const
{
    return {qMin(QLabel::sizeHint().width(), 400), QLabel::sizeHint().height()};
}

QString PathLabel::wholeText() const
{
    return QDir::toNativeSeparators(text());
}

QString PathLabel::shownText() const
{
    const int room = contentsRect().width() - 2 * margin() - 4;
    return fontMetrics().elidedText(wholeText(), Qt::ElideMiddle, qMax(room, 0));
}

void PathLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin() + 2, margin(), -margin() - 2, -margin());
    style()->drawItemText(&painter, room, int(Qt::AlignLeft | Qt::AlignVCenter), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

bool PathLabel::event(QEvent* event)
{
    // The tooltip is the whole path, shown as plain text, and only when it is shortened.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (shownText() != wholeText())
            QToolTip::showText(help->globalPos(), QStringLiteral("<p style='white-space:pre'>%1</p>").arg(wholeText().toHtmlEscaped()),
                               this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

} // namespace qadora
