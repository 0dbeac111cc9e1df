// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakeinteraction.h"

#include <QTest>

namespace qadora::test {

void FakeInteraction::clear()
{
    m_answers.clear();
    m_fileNames.clear();
    m_messages.clear();
    m_informations.clear();
    m_questions.clear();
    m_dialogs.clear();
    m_opened.clear();
}

bool FakeInteraction::ask(const QString& title, const QString& text, Icon icon, bool defaultNo)
{
    m_questions << title + QLatin1Char('\t') + text + (icon == Icon::Warning ? QString() : QStringLiteral("\t(no icon)"))
            + (defaultNo ? QStringLiteral("\t(default No)") : QString());
    if (m_answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + text), __FILE__, __LINE__);
        return false;
    }
    return m_answers.dequeue();
}

QString FakeInteraction::nextFileName(const QString& what)
{
    if (m_fileNames.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected file dialog: ") + what), __FILE__, __LINE__);
        return QString();
    }
    return m_fileNames.dequeue();
}

QString FakeInteraction::saveFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    m_dialogs << QStringList{QStringLiteral("save"), dir, filter, fileName}.join(QLatin1Char('\t'));
    return nextFileName(fileName);
}

QString FakeInteraction::openFileName(const QString& dir, const QString& filter, const QString& fileName)
{
    m_dialogs << QStringList{QStringLiteral("open"), dir, filter, fileName}.join(QLatin1Char('\t'));
    return nextFileName(fileName);
}

} // namespace qadora::test
