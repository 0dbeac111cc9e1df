// SPDX-License-Identifier: GPL-3.0-or-later
// "サイトの公開…": publishes the output folder to a web server. The address (never with a
// password), the user and the file patterns are remembered in the settings; the password only
// in the desktop's keyring, when asked to and only once the keyring has really taken it.
#pragma once

#include "publish/publisher.h"

#include <QDialog>

#include <atomic>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace qadora {

class Interaction;
class Progress;
class PublishAddress;

class PublishDialog : public QDialog {
    Q_OBJECT
public:
    PublishDialog(const QString& outDir, Interaction* interaction, QWidget* parent = nullptr);
    ~PublishDialog() override;

    PublishAddress* where = nullptr; // protocol, server, port, folder
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
    QCheckBox* remember = nullptr;
    QLineEdit* exclude = nullptr; // patterns of files not to publish
    QLineEdit* include = nullptr; // patterns of files published although left out by default
    QProgressBar* progress = nullptr;
    QLabel* result = nullptr;
    QPushButton* publishButton = nullptr;
    QPushButton* cancelButton = nullptr;

    // Starts publishing, as the button does; publishFinished() follows when it is done.
    void start();
    bool isRunning() const { return m_running; }

signals:
    void publishFinished();

protected:
    void reject() override;

private:
    PublishOptions options();
    void run(PublishOptions options);
    void finish(const PublishResult& outcome, const PublishOptions& used);
    void loadPassword();
    void savePassword();

    QString m_outDir;
    Interaction* m_interaction;
    bool m_running = false;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

// What the dialog remembered: the address (with the user), the patterns; no password.
// An empty URL when nothing is remembered yet, or only for another folder.
PublishOptions rememberedPublishOptions(const QString& outDir);

// The result as the window shows it: the failure in plain Japanese with the server's answer
// below it, then 「送信 N、削除 M、変更なし K」.
QString publishResultText(const PublishResult& result);

// Publishes on a thread of its own while `progress` shows how far it got and can stop it; an
// unknown host key and the files of a first publish are put to the user through `interaction`.
PublishResult publishWithProgress(PublishOptions options, Progress* progress, Interaction* interaction);

} // namespace qadora
