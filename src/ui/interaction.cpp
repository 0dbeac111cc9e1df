// SPDX-License-Identifier: GPL-3.0-or-later
#include "interaction.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace qadora {

namespace {

// The program's messages join their lines with CR alone, which a message box would not break.
QString shown(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// A message box that shows its text as plain text, whatever it holds ("<b>", "<br>" are
// answers' own markup and must be read as typed), and that fits the screen: a long text
// scrolls while the buttons stay in reach.
int showMessage(QWidget* parent, QStyle::StandardPixmap icon, const QString& title, const QString& text,
                QDialogButtonBox::StandardButtons buttons, bool defaultNo = false)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(title);

    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("messageText"));
    label->setTextFormat(Qt::PlainText);
    label->setText(shown(text));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("messageScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(label);
    scroll->setBackgroundRole(QPalette::Window);

    auto* row = new QHBoxLayout;
    if (icon != QStyle::SP_CustomBase) {
        auto* iconLabel = new QLabel;
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        iconLabel->setPixmap(box.style()->standardIcon(icon, nullptr, &box).pixmap(size, size));
        iconLabel->setAlignment(Qt::AlignTop);
        row->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    row->addWidget(scroll, 1);

    auto* buttonBox = new QDialogButtonBox(buttons);
    buttonBox->setCenterButtons(buttons == QDialogButtonBox::Ok);
    QObject::connect(buttonBox, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* b) {
        box.done(buttonBox->standardButton(b));
    });
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(row, 1);
    layout->addWidget(buttonBox);

    // At most 1024×768 (and the screen), less the frame: the box never outgrows a small screen.
    QRect room(0, 0, 1024, 768);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        room = room.intersected(screen->availableGeometry().translated(-screen->availableGeometry().topLeft()));
    const int textWidth = qBound(240, label->fontMetrics().averageCharWidth() * 60, room.width() * 3 / 4);
    const int natural = label->fontMetrics()
                            .boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap, label->text())
                            .width();
    const int width = qMax(natural, 120) + scroll->verticalScrollBar()->sizeHint().width();
    const int height = qMin(label->heightForWidth(qMax(natural, 120)) + 4, room.height() * 2 / 3);
    scroll->setMinimumSize(width, qMax(height, label->fontMetrics().height()));
    box.setMaximumSize(room.size() - QSize(32, 64));

    QPushButton* preferred = buttonBox->button(buttons & QDialogButtonBox::Yes
                                                   ? (defaultNo ? QDialogButtonBox::No : QDialogButtonBox::Yes)
                                                   : QDialogButtonBox::Ok);
    preferred->setDefault(true);
    preferred->setFocus();
    const int result = box.exec();
    return result == QDialog::Rejected ? int(buttons & QDialogButtonBox::No ? QDialogButtonBox::No : QDialogButtonBox::Ok)
                                       : result;
}

} // namespace

QtInteraction::QtInteraction(QWidget* parent)
    : m_parent(parent)
{
}

void QtInteraction::notice(const QString& text)
{
    showMessage(m_parent, QStyle::SP_CustomBase, QApplication::applicationDisplayName(), text, QDialogButtonBox::Ok);
}

void QtInteraction::information(const QString& text)
{
    showMessage(m_parent, QStyle::SP_MessageBoxInformation, QApplication::applicationDisplayName(), text,
                QDialogButtonBox::Ok);
}

bool QtInteraction::ask(const QString& title, const QString& text, Icon icon, bool defaultNo)
{
    return showMessage(m_parent, icon == Icon::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_CustomBase, title,
                       text, QDialogButtonBox::Yes | QDialogButtonBox::No, defaultNo)
        == QDialogButtonBox::Yes;
}

QString QtInteraction::saveFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    // The program asks about overwriting itself, in its own words.
    return QFileDialog::getSaveFileName(m_parent, QString(), QDir(dir).filePath(fileName), toQtFilter(filter),
                                        nullptr, QFileDialog::DontConfirmOverwrite);
}

QString QtInteraction::openFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    return QFileDialog::getOpenFileName(m_parent, QString(), QDir(dir).filePath(fileName), toQtFilter(filter));
}

QString QtInteraction::clipboardText()
{
    return QApplication::clipboard()->text();
}

void QtInteraction::setClipboardText(const QString& text)
{
    QApplication::clipboard()->clear();
    QApplication::clipboard()->setText(text);
}

bool QtInteraction::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

QString toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return filters.join(QStringLiteral(";;"));
}

} // namespace qadora
