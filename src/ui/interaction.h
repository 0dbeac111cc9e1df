// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box, question, file dialog, clipboard access and browser/program start of
// the window goes through this interface, so tests can script and record them.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace qadora {

class DialogProgress;

// A long piece of work the user can follow and stop.
class Progress {
public:
    virtual ~Progress() = default;
    // 0: the total is not known (a busy indicator).
    virtual void setTotal(int total) = 0;
    // Shows `done` of the total and lets the window repaint; false once the user asked to stop.
    virtual bool advance(int done) = 0;
    // What is being done, when one progress follows several pieces of work.
    virtual void setLabel(const QString&) {}
};

class Interaction {
public:
    enum class Icon { Warning, None };

    virtual ~Interaction() = default;

    // A notice with an OK button; no title of its own.
    virtual void notice(const QString& text) = 0;
    // An information box with an OK button (the version box).
    virtual void information(const QString& text) = 0;
    // A Yes/No question titled `title`; true for Yes. Enter answers Yes, or No when
    // `defaultNo` (a question whose Yes loses something).
    virtual bool ask(const QString& title, const QString& text, Icon icon = Icon::Warning, bool defaultNo = false) = 0;
    // File dialogs; `filter` is "text|pattern|text|pattern|"; an empty result is Cancel.
    virtual QString saveFileName(const QString& dir, const QString& filter, const QString& fileName) = 0;
    virtual QString openFileName(const QString& dir, const QString& filter, const QString& fileName) = 0;
    // The desktop's folder chooser, starting in `dir`; an empty result is Cancel.
    virtual QString directory(const QString& dir) = 0;
    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString& text) = 0;
    // Opens a web page or a file with the program the system associates with it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Progress of a piece of work; shown once it has taken about half a second.
    virtual std::unique_ptr<Progress> startProgress(const QString& label, int total) = 0;
    // Asks for a password, shown masked; Enter is OK, Escape cancels (no value).
    virtual std::optional<QString> password(const QString& title, const QString& text)
    {
        Q_UNUSED(title);
        Q_UNUSED(text);
        return std::nullopt;
    }
};

class QtInteraction final : public Interaction {
public:
    explicit QtInteraction(QWidget* parent = nullptr);
    // Dialogs are centred on and modal to this window.
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    void notice(const QString& text) override;
    void information(const QString& text) override;
    bool ask(const QString& title, const QString& text, Icon icon, bool defaultNo) override;
    QString saveFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString openFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString directory(const QString& dir) override;
    QString clipboardText() override;
    void setClipboardText(const QString& text) override;
    bool openUrl(const QUrl& url) override;
    std::unique_ptr<Progress> startProgress(const QString& label, int total) override;
    std::optional<QString> password(const QString& title, const QString& text) override;

    // Takes every progress box off the screen until its work goes on. Every message, question
    // and dialog does this first, so that it is alone on top and takes the keys.
    void closeProgresses();

private:
    QWidget* m_parent;
    // The progresses alive; each removes itself when its work ends.
    std::shared_ptr<QList<DialogProgress*>> m_progresses;
};

// For running the window without a user (benchmarks, screenshots): every question is
// answered No, every dialog cancelled; notices go to `onNotice` when it is set.
class QuietInteraction final : public Interaction {
public:
    std::function<void(const QString&)> onNotice;

    void notice(const QString& text) override
    {
        if (onNotice)
            onNotice(text);
    }
    void information(const QString&) override {}
    bool ask(const QString&, const QString&, Icon, bool) override { return false; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString directory(const QString&) override { return {}; }
    QString clipboardText() override { return {}; }
    void setClipboardText(const QString&) override {}
    bool openUrl(const QUrl&) override { return false; }
    std::unique_ptr<Progress> startProgress(const QString&, int) override;
};

// "ｱｸｾｽmdbﾌｧｲﾙ|*.mdb|All Files|*.*|" as a Qt name filter: "ｱｸｾｽmdbﾌｧｲﾙ (*.mdb);;All Files (*)".
QString toQtFilter(const QString& filter);

} // namespace qadora
