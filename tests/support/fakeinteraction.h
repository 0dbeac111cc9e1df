// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted Interaction: records every message, question and dialog in order, answers
// questions and dialogs from queues, and fails the running test when a question or a
// dialog arrives that nothing queued an answer for.
#pragma once

#include "ui/interaction.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace qadora::test {

class FakeInteraction final : public Interaction {
public:
    void answerNext(bool yes) { m_answers.enqueue(yes); }
    // An empty name is Cancel; the folder chooser takes its answer from the same queue.
    void fileNameNext(const QString& name) { m_fileNames.enqueue(name); }
    // The password typed at the next password prompt; no value is Cancel.
    void passwordNext(std::optional<QString> password) { m_passwords.enqueue(password); }
    // "title\ttext" of every password prompt.
    QStringList passwordPrompts() const { return m_passwordPrompts; }

    QStringList messages() const { return m_messages; }
    // "title\ttext" of every question asked ("\t(no icon)", "\t(default No)" appended when so).
    QStringList questions() const { return m_questions; }
    // "save|open\tdir\tfilter\tname" of every file dialog shown, "folder\tdir" of every folder chooser.
    QStringList dialogs() const { return m_dialogs; }
    QList<QUrl> opened() const { return m_opened; }
    QString clipboard() const { return m_clipboard; }
    void setClipboard(const QString& text) { m_clipboard = text; }
    QStringList informations() const { return m_informations; }
    bool questionsLeft() const { return !m_answers.isEmpty() || !m_fileNames.isEmpty() || !m_passwords.isEmpty(); }
    void clear();

    // Progress is shown for real through `shown` (a QtInteraction) as well as recorded.
    void showProgressWith(Interaction* shown) { m_shownProgress = shown; }
    // Questions are recorded and then shown for real through `shown` (a QtInteraction), whose
    // answer counts: the test answers them with keys (testenv.h, onNextModal).
    void showQuestionsWith(Interaction* shown) { m_shownQuestions = shown; }
    // Notices too are recorded and then shown for real through `shown`.
    void showMessagesWith(Interaction* shown) { m_shownMessages = shown; }
    // The user presses Cancel once a progress has reached `done`.
    void cancelProgressAt(int done) { m_cancelAt = done; }
    // "label\ttotal" of every progress started, and the last value each reached.
    QStringList progresses() const { return m_progresses; }
    QList<int> progressReached() const { return m_reached; }
    std::unique_ptr<Progress> startProgress(const QString& label, int total) override;
    // Runs while a progress advances, as a user's doing while the work goes on.
    std::function<void(int)> onProgress;

    // Runs when a notice is shown, as a user's doing while the box is open.
    std::function<void(const QString&)> onNotice;

    void notice(const QString& text) override
    {
        m_messages << text;
        if (onNotice)
            onNotice(text);
        if (m_shownMessages)
            m_shownMessages->notice(text);
    }
    void information(const QString& text) override { m_informations << text; }
    bool ask(const QString& title, const QString& text, Icon icon, bool defaultNo) override;
    QString saveFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString openFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString directory(const QString& dir) override;
    QString clipboardText() override { return m_clipboard; }
    void setClipboardText(const QString& text) override { m_clipboard = text; }
    bool openUrl(const QUrl& url) override
    {
        m_opened << url;
        return m_browserStarts;
    }
    // Shown for real through showQuestionsWith's interaction, when set.
    std::optional<QString> password(const QString& title, const QString& text) override;
    // The browser (or the program for a file) fails to start from now on.
    void browserFails() { m_browserStarts = false; }

private:
    QString nextFileName(const QString& what);

    QQueue<bool> m_answers;
    QQueue<QString> m_fileNames;
    QQueue<std::optional<QString>> m_passwords;
    QStringList m_passwordPrompts;
    QStringList m_messages;
    QStringList m_informations;
    QStringList m_questions;
    QStringList m_dialogs;
    QList<QUrl> m_opened;
    QString m_clipboard;
    QStringList m_progresses;
    QList<int> m_reached;
    int m_cancelAt = -1;
    Interaction* m_shownProgress = nullptr;
    Interaction* m_shownQuestions = nullptr;
    Interaction* m_shownMessages = nullptr;
    bool m_browserStarts = true;
};

} // namespace qadora::test
