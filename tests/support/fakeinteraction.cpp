// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakeinteraction.h"

#include <QTest>

namespace qadora::test {

void FakeInteraction::clear()
{
    m_answers.clear();
    m_fileNames.clear();
    m_passwords.clear();
    m_passwordPrompts.clear();
    m_messages.clear();
    m_informations.clear();
    m_questions.clear();
    m_dialogs.clear();
    m_opened.clear();
    m_progresses.clear();
    m_reached.clear();
    m_cancelAt = -1;
}

bool FakeInteraction::ask(const QString& title, const QString& text, Icon icon, bool defaultNo)
{
    m_questions << title + QLatin1Char('\t') + text + (icon == Icon::Warning ? QString() : QStringLiteral("\t(no icon)"))
            + (defaultNo ? QStringLiteral("\t(default No)") : QString());
    if (m_shownQuestions)
        return m_shownQuestions->ask(title, text, icon, defaultNo);
    if (m_answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + text), __FILE__, __LINE__);
        return false;
    }
    return m_answers.dequeue();
}

std::optional<QString> FakeInteraction::password(const QString& title, const QString& text)
{
    m_passwordPrompts << title + QLatin1Char('\t') + text;
    if (m_shownQuestions)
        return m_shownQuestions->password(title, text);
    if (m_passwords.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected password prompt: ") + text), __FILE__, __LINE__);
        return std::nullopt;
    }
    return m_passwords.dequeue();
}

namespace {

class RecordedProgress final : public Progress {
public:
    RecordedProgress(qsizetype index, int cancelAt, std::function<void(int)> onProgress, QList<int>* reached,
                     std::unique_ptr<Progress> shown)
        : m_index(index)
        , m_cancelAt(cancelAt)
        , m_onProgress(std::move(onProgress))
        , m_reached(reached)
        , m_shown(std::move(shown))
    {
    }
    void setTotal(int total) override
    {
        if (m_shown)
            m_shown->setTotal(total);
    }
    bool advance(int done) override
    {
        (*m_reached)[m_index] = done;
        const bool goOn = !m_shown || m_shown->advance(done);
        if (m_onProgress)
            m_onProgress(done);
        return goOn && (m_cancelAt < 0 || done < m_cancelAt);
    }

private:
    qsizetype m_index;
    int m_cancelAt;
    std::function<void(int)> m_onProgress;
    QList<int>* m_reached;
    std::unique_ptr<Progress> m_shown;
};

} // namespace

std::unique_ptr<Progress> FakeInteraction::startProgress(const QString& label, int total)
{
    m_progresses << label + QLatin1Char('\t') + QString::number(total);
    m_reached << 0;
    return std::make_unique<RecordedProgress>(m_reached.size() - 1, m_cancelAt, onProgress, &m_reached,
                                              m_shownProgress ? m_shownProgress->startProgress(label, total) : nullptr);
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

QString FakeInteraction::directory(const QString& dir)
{
    m_dialogs << QStringLiteral("folder\t") + dir;
    return nextFileName(dir);
}

} // namespace qadora::test
