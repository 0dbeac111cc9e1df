// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishdialog.h"

#include "interaction.h"
#include "pathlabel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

namespace qadora {

namespace {

const QString kService = QStringLiteral("Qadora");

QSettings settings()
{
    return QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora"));
}

} // namespace

PublishDialog::PublishDialog(const QString& outDir, Interaction* interaction, QWidget* parent)
    : QDialog(parent)
    , m_outDir(outDir)
    , m_interaction(interaction)
{
    setObjectName(QStringLiteral("publishDialog"));
    setWindowTitle(QStringLiteral("サイトの公開"));
    auto* folder = new PathLabel(this);
    folder->setObjectName(QStringLiteral("publishFolder"));
    folder->setText(outDir);
    address = new QLineEdit(this);
    address->setObjectName(QStringLiteral("publishAddress"));
    address->setPlaceholderText(QStringLiteral("ftp://example.jp/public_html"));
    address->setToolTip(QStringLiteral("ftp://、ftps://（TLS）、sftp:// のいずれかで、サーバーと公開するフォルダを指定します"));
    user = new QLineEdit(this);
    user->setObjectName(QStringLiteral("publishUser"));
    password = new QLineEdit(this);
    password->setObjectName(QStringLiteral("publishPassword"));
    password->setEchoMode(QLineEdit::Password);
    remember = new QCheckBox(QStringLiteral("パスワードをキーリングに記憶する"), this);
    remember->setObjectName(QStringLiteral("publishRemember"));
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("publishProgress"));
    progress->setRange(0, 1);
    progress->setValue(0);
    result = new QLabel(this);
    result->setObjectName(QStringLiteral("publishResult"));
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("公開するフォルダ："), folder);
    form->addRow(QStringLiteral("公開先アドレス："), address);
    form->addRow(QStringLiteral("ユーザー名："), user);
    form->addRow(QStringLiteral("パスワード："), password);
    form->addRow(QString(), remember);
    auto* buttons = new QDialogButtonBox(this);
    publishButton = buttons->addButton(QStringLiteral("公開"), QDialogButtonBox::AcceptRole);
    publishButton->setObjectName(QStringLiteral("publishStart"));
    cancelButton = buttons->addButton(QDialogButtonBox::Close);
    cancelButton->setObjectName(QStringLiteral("publishCancel"));
    connect(publishButton, &QPushButton::clicked, this, &PublishDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &PublishDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress);
    layout->addWidget(result);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(560, sizeHint().height());

    QSettings s = settings();
    s.beginGroup(QStringLiteral("publish"));
    address->setText(s.value(QStringLiteral("address")).toString());
    user->setText(s.value(QStringLiteral("user")).toString());
    remember->setChecked(s.value(QStringLiteral("remember")).toBool());
    s.endGroup();
    if (remember->isChecked())
        loadPassword();
}

PublishDialog::~PublishDialog()
{
    if (m_stop)
        *m_stop = true;
}

QString PublishDialog::keyringKey() const
{
    const QUrl url(address->text().trimmed());
    return QStringLiteral("publish/%1@%2").arg(user->text(), url.host());
}

void PublishDialog::loadPassword()
{
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(keyringKey());
    QPointer<QLineEdit> box = password;
    connect(job, &QKeychain::Job::finished, this, [box](QKeychain::Job* j) {
        if (box && j->error() == QKeychain::NoError && box->text().isEmpty())
            box->setText(static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
    });
    job->start();
}

void PublishDialog::savePassword()
{
    if (remember->isChecked()) {
        auto* job = new QKeychain::WritePasswordJob(kService, this);
        job->setKey(keyringKey());
        job->setTextData(password->text());
        QPointer<QLabel> line = result;
        connect(job, &QKeychain::Job::finished, this, [line](QKeychain::Job* j) {
            if (line && j->error() != QKeychain::NoError)
                line->setText(line->text() + QLatin1Char('\n')
                              + QStringLiteral("パスワードをキーリングに記憶できませんでした：") + j->errorString());
        });
        job->start();
    } else {
        auto* job = new QKeychain::DeletePasswordJob(kService, this);
        job->setKey(keyringKey());
        job->start();
    }
}

PublishOptions PublishDialog::options() const
{
    PublishOptions o;
    o.outDir = m_outDir;
    o.url = QUrl(address->text().trimmed(), QUrl::StrictMode);
    if (!user->text().isEmpty())
        o.url.setUserName(user->text());
    o.password = password->text();
    return o;
}

void PublishDialog::start()
{
    if (m_running)
        return;
    const PublishOptions o = options();
    if (const QString problem = publishUrlProblem(o.url); !problem.isEmpty()) {
        m_interaction->notice(problem);
        return;
    }
    QSettings s = settings();
    s.beginGroup(QStringLiteral("publish"));
    s.setValue(QStringLiteral("address"), address->text().trimmed());
    s.setValue(QStringLiteral("user"), user->text());
    s.setValue(QStringLiteral("remember"), remember->isChecked());
    s.endGroup();
    run(o);
}

void PublishDialog::run(PublishOptions o)
{
    m_running = true;
    publishButton->setEnabled(false);
    address->setEnabled(false);
    user->setEnabled(false);
    password->setEnabled(false);
    result->setText(QStringLiteral("公開しています…"));
    cancelButton->setText(QCoreApplication::translate("QPlatformTheme", "Cancel"));
    progress->setRange(0, 0);
    m_stop = std::make_shared<std::atomic<bool>>(false);
    auto stop = m_stop;
    QPointer<PublishDialog> self = this;
    // The transfer runs on a thread of its own; the dialog stays live and Cancel is heard.
    QThread* worker = QThread::create([self, stop, o] {
        const PublishResult outcome = publishSite(o, [self, stop](int done, int total, const QString& file) {
            QMetaObject::invokeMethod(
                self,
                [self, done, total, file] {
                    if (!self)
                        return;
                    self->progress->setRange(0, qMax(total, 1));
                    self->progress->setValue(done);
                    if (!file.isEmpty())
                        self->result->setText(QStringLiteral("公開しています… %1").arg(file));
                },
                Qt::QueuedConnection);
            return !*stop;
        });
        QMetaObject::invokeMethod(
            self,
            [self, outcome, o] {
                if (self)
                    self->finish(outcome, o);
            },
            Qt::QueuedConnection);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void PublishDialog::finish(const PublishResult& outcome, const PublishOptions& used)
{
    m_running = false;
    if (outcome.code == PublishResult::UnknownHostKey && !*m_stop) {
        // An SSH server seen for the first time: the user checks the fingerprint and decides.
        const bool accept = m_interaction->ask(
            QStringLiteral("ホスト鍵の確認"),
            QStringLiteral("%1 のホスト鍵は登録されていません。").arg(used.url.host()) + QLatin1Char('\n')
                + QStringLiteral("鍵の指紋：") + outcome.fingerprint + QLatin1Char('\n')
                + QStringLiteral("サーバーの管理者に確認した指紋と同じなら「はい」を選んで下さい。接続しますか？"),
            Interaction::Icon::Warning, true);
        if (accept) {
            PublishOptions again = used;
            again.acceptHostKey = outcome.fingerprint;
            run(again);
            return;
        }
    }
    publishButton->setEnabled(true);
    cancelButton->setText(QCoreApplication::translate("QPlatformTheme", "Close"));
    address->setEnabled(true);
    user->setEnabled(true);
    password->setEnabled(true);
    progress->setRange(0, 1);
    progress->setValue(outcome.code == PublishResult::Complete ? 1 : 0);
    QString text = outcome.summary();
    if (outcome.code != PublishResult::Complete)
        text = QString(outcome.message).replace(QLatin1Char('\r'), QLatin1Char('\n')) + QLatin1Char('\n') + text;
    result->setText(text);
    if (outcome.code == PublishResult::Complete)
        savePassword();
    emit publishFinished();
}

void PublishDialog::reject()
{
    // Cancel (the Close button while publishing, or Escape) stops the transfer; the dialog stays
    // to say how far it got.
    if (m_running) {
        *m_stop = true;
        return;
    }
    QDialog::reject();
}

} // namespace qadora
