// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishaddress.h"

#include "interaction.h"

#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace qadora {

namespace {

// More than a server's name: to be spread over the boxes.
bool isWholeAddress(const QString& text)
{
    return text.contains(QLatin1Char('/')) || text.contains(QLatin1Char(':')) || text.contains(QLatin1Char('@'));
}

} // namespace

PublishAddress::PublishAddress(Interaction* interaction, QWidget* parent)
    : QWidget(parent)
    , m_interaction(interaction)
{
    protocol = new QComboBox(this);
    protocol->setObjectName(QStringLiteral("publishProtocol"));
    protocol->addItem(QStringLiteral("FTPS（FTP を TLS で暗号化）"), QStringLiteral("ftps"));
    protocol->addItem(QStringLiteral("SFTP（SSH）"), QStringLiteral("sftp"));
    protocol->addItem(QStringLiteral("FTP（暗号化なし）"), QStringLiteral("ftp"));
    server = new QLineEdit(this);
    server->setObjectName(QStringLiteral("publishServer"));
    server->setPlaceholderText(QStringLiteral("ftp.example.jp"));
    server->setToolTip(QStringLiteral("サーバー名。ホスティング会社の案内にあるアドレス（例: ftp.example.jp/public_html）を"
                                      "貼り付けると、フォルダやポートにも分けて入ります"));
    port = new QLineEdit(this);
    port->setObjectName(QStringLiteral("publishPort"));
    port->setValidator(new QIntValidator(1, 65535, port));
    port->setMaximumWidth(port->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    folder = new QLineEdit(this);
    folder->setObjectName(QStringLiteral("publishPath"));
    folder->setPlaceholderText(QStringLiteral("/public_html"));
    folder->setToolTip(QStringLiteral("サーバー上の公開するフォルダ"));
    plainWarning = new QLabel(QStringLiteral("FTP はパスワードとページを暗号化せずに送ります"), this);
    plainWarning->setObjectName(QStringLiteral("publishPlainWarning"));
    plainWarning->setTextFormat(Qt::PlainText);
    plainWarning->setStyleSheet(QStringLiteral("color: #b00000"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(protocol, 0, 0, 1, 4);
    auto* serverLabel = new QLabel(QStringLiteral("サーバー："), this);
    serverLabel->setBuddy(server);
    auto* portLabel = new QLabel(QStringLiteral("ポート："), this);
    portLabel->setBuddy(port);
    auto* folderLabel = new QLabel(QStringLiteral("フォルダ："), this);
    folderLabel->setBuddy(folder);
    grid->addWidget(serverLabel, 1, 0);
    grid->addWidget(server, 1, 1);
    grid->addWidget(portLabel, 1, 2);
    grid->addWidget(port, 1, 3);
    grid->addWidget(folderLabel, 2, 0);
    grid->addWidget(folder, 2, 1, 1, 3);
    grid->addWidget(plainWarning, 3, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    setTabOrder(protocol, server);
    setTabOrder(server, port);
    setTabOrder(port, folder);

    server->installEventFilter(this);
    // Typed or pasted by other means: spread once the box is left.
    connect(server, &QLineEdit::editingFinished, this, [this] {
        if (isWholeAddress(server->text()))
            fill(server->text());
    });
    connect(protocol, &QComboBox::currentIndexChanged, this, &PublishAddress::protocolChosen);
    protocolChosen();
}

bool PublishAddress::eventFilter(QObject* watched, QEvent* event)
{
    // The paste key takes the clipboard through the interaction, and an address pasted is
    // spread at once.
    if (watched == server && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
        server->insert(m_interaction->clipboardText().trimmed());
        if (isWholeAddress(server->text()))
            fill(server->text());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PublishAddress::protocolChosen()
{
    const QString scheme = protocol->currentData().toString();
    port->setPlaceholderText(scheme == QLatin1String("sftp") ? QStringLiteral("22") : QStringLiteral("21"));
    plainWarning->setVisible(scheme == QLatin1String("ftp"));
}

void PublishAddress::fill(const QString& address)
{
    QString text = address.trimmed();
    const bool hasScheme = text.contains(QStringLiteral("://"));
    if (!hasScheme)
        text.prepend(protocol->currentData().toString() + QStringLiteral("://"));
    const QUrl parsed(text, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return; // left as typed; publishing says what is wrong with it
    if (hasScheme) {
        const int index = protocol->findData(parsed.scheme().toLower());
        if (index >= 0)
            protocol->setCurrentIndex(index);
    }
    server->setText(parsed.host());
    port->setText(parsed.port() > 0 ? QString::number(parsed.port()) : QString());
    const QString path = parsed.path(QUrl::FullyDecoded);
    if (!path.isEmpty() || hasScheme)
        folder->setText(path);
    if (!parsed.userName().isEmpty())
        emit userFound(parsed.userName(QUrl::FullyDecoded));
    if (!parsed.password().isEmpty())
        emit passwordFound(parsed.password(QUrl::FullyDecoded));
}

QUrl PublishAddress::url()
{
    if (isWholeAddress(server->text()))
        fill(server->text());
    QUrl url;
    url.setScheme(protocol->currentData().toString());
    url.setHost(server->text().trimmed());
    if (!port->text().isEmpty())
        url.setPort(port->text().toInt());
    QString path = folder->text().trimmed();
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    url.setPath(path);
    return url;
}

void PublishAddress::setUrl(const QUrl& url)
{
    const int index = protocol->findData(url.scheme().toLower());
    protocol->setCurrentIndex(index >= 0 ? index : 0);
    server->setText(url.host());
    port->setText(url.port() > 0 ? QString::number(url.port()) : QString());
    folder->setText(url.path(QUrl::FullyDecoded));
}

} // namespace qadora
