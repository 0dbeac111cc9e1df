// SPDX-License-Identifier: GPL-3.0-or-later
#include "interaction.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace qadora {

namespace {

// The program's messages join their lines with CR alone, which a message box would not break.
QString shown(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

QtInteraction::QtInteraction(QWidget* parent)
    : m_parent(parent)
{
}

void QtInteraction::notice(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), shown(text), QMessageBox::Ok, m_parent);
    box.exec();
}

void QtInteraction::information(const QString& text)
{
    QMessageBox::information(m_parent, QApplication::applicationDisplayName(), shown(text));
}

bool QtInteraction::ask(const QString& title, const QString& text, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title, shown(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
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
