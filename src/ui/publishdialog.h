// SPDX-License-Identifier: GPL-3.0-or-later
// "サイトの公開…": publishes the output folder to a web server. The address and the user are
// remembered in the settings; the password only in the desktop's keyring, when asked to.
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

class PublishDialog : public QDialog {
    Q_OBJECT
public:
    PublishDialog(const QString& outDir, Interaction* interaction, QWidget* parent = nullptr);
    ~PublishDialog() override;

    QLineEdit* address = nullptr;
    QLineEdit* user = nullptr;
    QLineEdit* password = nullptr;
    QCheckBox* remember = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* result = nullptr;
    QPushButton* publishButton = nullptr;
    QPushButton* cancelButton = nullptr;

    // Starts publishing, as the button does; finished() follows when it is done.
    void start();
    bool isRunning() const { return m_running; }

signals:
    void publishFinished();

protected:
    void reject() override;

private:
    PublishOptions options() const;
    void run(PublishOptions options);
    void finish(const PublishResult& outcome, const PublishOptions& used);
    void loadPassword();
    void savePassword();
    QString keyringKey() const;

    QString m_outDir;
    Interaction* m_interaction;
    bool m_running = false;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace qadora
