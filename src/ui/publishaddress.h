// SPDX-License-Identifier: GPL-3.0-or-later
// Where to publish, as hosting companies give it: the protocol (FTPS first, then SFTP, then
// FTP), the server, the port and the folder. An address pasted into the server box
// ("ftp.example.jp/public_html/qa", or a whole URL) is spread over the boxes. Stored, it is one
// URL as before.
#pragma once

#include <QUrl>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

namespace qadora {

class Interaction;

class PublishAddress : public QWidget {
    Q_OBJECT
public:
    PublishAddress(Interaction* interaction, QWidget* parent = nullptr);

    QComboBox* protocol = nullptr; // "ftps", "sftp", "ftp" as item data
    QLineEdit* server = nullptr;
    QLineEdit* port = nullptr;   // empty: the protocol's own
    QLineEdit* folder = nullptr;
    QLabel* plainWarning = nullptr; // shown for FTP

    // The address without user or password; a server box still holding a whole address is
    // spread over the boxes first.
    QUrl url();
    void setUrl(const QUrl& url);
    // Spreads an address over the boxes: a scheme it names chooses the protocol; a user and
    // password it holds go out through userFound() and passwordFound(), never into a box here.
    void fill(const QString& address);

signals:
    void userFound(const QString& user);
    void passwordFound(const QString& password);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void protocolChosen();

    Interaction* m_interaction;
};

} // namespace qadora
