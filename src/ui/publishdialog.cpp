// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishdialog.h"

#include "interaction.h"
#include "pathlabel.h"
#include "publishaddress.h"
#include "publishpassword.h"
#include "settings/appsettings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

namespace qadora {

namespace {

QSettings settings()
{
    return openSettings();
}

QString folderKey(const QString& folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

QStringList patternsOf(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// An SSH server seen for the first time: the user checks the fingerprint and decides.
bool acceptHostKey(Interaction* interaction, const QString& host, const QString& fingerprint)
{
    return interaction->ask(
        QStringLiteral("ホスト鍵の確認"),
        QStringLiteral("%1 のホスト鍵は登録されていません。").arg(host) + QLatin1Char('\n') + QStringLiteral("鍵の指紋：")
            + fingerprint + QLatin1Char('\n')
            + QStringLiteral("サーバーの管理者に確認した指紋と同じなら「はい」を選んで下さい。接続しますか？"),
        Interaction::Icon::Warning, true);
}

// The first publish to a place: files the site generator did not write go up only when the
// user has seen them.
bool confirmFiles(Interaction* interaction, const QStringList& files)
{
    constexpr int kShown = 20;
    QString list;
    for (qsizetype i = 0; i < files.size() && i < kShown; ++i)
        list += QStringLiteral("　") + files[i] + QLatin1Char('\n');
    if (files.size() > kShown)
        list += QStringLiteral("　ほか %1 ファイル\n").arg(files.size() - kShown);
    return interaction->ask(QStringLiteral("公開するファイルの確認"),
                            QStringLiteral("次のファイルはサイト作成で作られたものではありません。") + QLatin1Char('\n') + list
                                + QStringLiteral("これらも公開しますか？（公開しないファイルは「公開しないファイル」で指定できます）"),
                            Interaction::Icon::Warning, true);
}

// A URL without its password; the password it held, if any.
QString strippedAddress(const QString& typed, QString* password)
{
    QUrl url(typed.trimmed(), QUrl::StrictMode);
    *password = url.password();
    if (password->isEmpty())
        return typed.trimmed();
    url.setPassword(QString());
    return url.toString();
}

} // namespace

QString publishResultText(const PublishResult& outcome)
{
    QString text;
    if (outcome.code != PublishResult::Complete) {
        text = outcome.headline() + QLatin1Char('\n');
        QString message = QString(outcome.message).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (message != outcome.headline())
            text += message + QLatin1Char('\n');
        if (!outcome.serverAnswer.isEmpty() && !message.contains(outcome.serverAnswer))
            text += outcome.serverAnswer + QLatin1Char('\n');
    }
    return text + outcome.summaryJa();
}

PublishOptions rememberedPublishOptions(const QString& outDir)
{
    PublishOptions o;
    o.outDir = outDir;
    QSettings s = settings();
    s.beginGroup(QStringLiteral("publish"));
    const QString address = s.value(QStringLiteral("address")).toString();
    // The address belongs to the folder it was published from: another site's folder sent
    // there would take that site's place on the server.
    if (s.value(QStringLiteral("folder")).toString() != folderKey(outDir))
        return o;
    if (!address.isEmpty()) {
        o.url = QUrl(address, QUrl::StrictMode);
        o.url.setPassword(QString());
        const QString user = s.value(QStringLiteral("user")).toString();
        if (!user.isEmpty())
            o.url.setUserName(user);
    }
    o.include = patternsOf(s.value(QStringLiteral("include")).toString());
    o.exclude = patternsOf(s.value(QStringLiteral("exclude")).toString());
    return o;
}

PublishResult publishWithProgress(PublishOptions options, Progress* progress, Interaction* interaction)
{
    for (;;) {
        std::atomic<bool> stop{false};
        std::atomic<int> done{0};
        std::atomic<int> total{0};
        options.stop = &stop;
        PublishResult outcome;
        std::atomic<bool> finished{false};
        QThread* worker = QThread::create([&] {
            outcome = publishSite(options, [&](int d, int t, const QString&) {
                done = d;
                total = t;
                return true;
            });
            finished = true;
        });
        progress->setLabel(QStringLiteral("公開しています…"));
        progress->setTotal(0);
        worker->start();
        // The window stays live while the transfer runs; Cancel is heard at once.
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (finished) {
                loop.quit();
                return;
            }
            progress->setTotal(qMax(total.load(), 0));
            if (!progress->advance(done))
                stop = true;
        });
        tick.start(50);
        loop.exec();
        worker->wait();
        delete worker;
        if (outcome.code == PublishResult::UnknownHostKey
            && acceptHostKey(interaction, options.url.host(), outcome.fingerprint)) {
            options.acceptHostKey = outcome.fingerprint;
            continue;
        }
        if (outcome.code == PublishResult::NeedsConfirmation && confirmFiles(interaction, outcome.unconfirmed)) {
            options.confirmed = true;
            continue;
        }
        return outcome;
    }
}

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
    where = new PublishAddress(interaction, this);
    user = new QLineEdit(this);
    user->setObjectName(QStringLiteral("publishUser"));
    password = new QLineEdit(this);
    password->setObjectName(QStringLiteral("publishPassword"));
    password->setEchoMode(QLineEdit::Password);
    remember = new QCheckBox(QStringLiteral("パスワードをキーリングに記憶する"), this);
    remember->setObjectName(QStringLiteral("publishRemember"));
    exclude = new QLineEdit(this);
    exclude->setObjectName(QStringLiteral("publishExclude"));
    exclude->setPlaceholderText(QStringLiteral("例: drafts *.bak"));
    exclude->setToolTip(QStringLiteral("公開しないファイルやフォルダの名前（* と ? が使えます。空白で区切ります）"));
    include = new QLineEdit(this);
    include->setObjectName(QStringLiteral("publishInclude"));
    include->setPlaceholderText(QStringLiteral("例: .htpasswd"));
    include->setToolTip(QStringLiteral("ドットファイルやデータベースなど、ふだんは公開しないファイルのうち公開するもの"));
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("publishProgress"));
    progress->setRange(0, 1);
    progress->setValue(0);
    result = new QLabel(this);
    result->setObjectName(QStringLiteral("publishResult"));
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // An address pasted with a user or a password: each goes to its own box, the password
    // never into the settings.
    connect(where, &PublishAddress::userFound, user, &QLineEdit::setText);
    connect(where, &PublishAddress::passwordFound, password, &QLineEdit::setText);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("公開するフォルダ："), folder);
    form->addRow(QStringLiteral("公開先："), where);
    form->addRow(QStringLiteral("ユーザー名："), user);
    form->addRow(QStringLiteral("パスワード："), password);
    form->addRow(QString(), remember);
    form->addRow(QStringLiteral("公開しないファイル："), exclude);
    form->addRow(QStringLiteral("公開する追加ファイル："), include);
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
    // An address stored with a password by an older version is shown without it.
    QString stored;
    const QUrl storedUrl(strippedAddress(s.value(QStringLiteral("address")).toString(), &stored), QUrl::StrictMode);
    where->setUrl(storedUrl);
    user->setText(s.value(QStringLiteral("user")).toString());
    if (user->text().isEmpty())
        user->setText(storedUrl.userName(QUrl::FullyDecoded));
    remember->setChecked(s.value(QStringLiteral("remember")).toBool());
    exclude->setText(s.value(QStringLiteral("exclude")).toString());
    include->setText(s.value(QStringLiteral("include")).toString());
    s.endGroup();
    if (!stored.isEmpty())
        password->setText(stored);
    else if (const QString known = sessionPublishPassword(options()); !known.isEmpty())
        password->setText(known);
    else if (remember->isChecked())
        loadPassword();
    // Ticked by the user: only where a keyring can take the password.
    connect(remember, &QCheckBox::clicked, this, [this](bool on) {
        if (on && !keyringAvailable()) {
            remember->setChecked(false);
            m_interaction->notice(noKeyringText());
        }
    });
}

PublishDialog::~PublishDialog()
{
    if (m_stop)
        *m_stop = true;
}

void PublishDialog::loadPassword()
{
    auto* job = new QKeychain::ReadPasswordJob(kPublishKeyringService, this);
    job->setKey(publishKeyringKey(user->text(), where->url().host()));
    QPointer<QLineEdit> box = password;
    connect(job, &QKeychain::Job::finished, this, [box](QKeychain::Job* j) {
        if (box && j->error() == QKeychain::NoError && box->text().isEmpty())
            box->setText(static_cast<QKeychain::ReadPasswordJob*>(j)->textData());
    });
    job->start();
}

void PublishDialog::savePassword()
{
    const QString key = publishKeyringKey(user->text(), where->url().host());
    if (!remember->isChecked()) {
        auto* job = new QKeychain::DeletePasswordJob(kPublishKeyringService, this);
        job->setKey(key);
        job->start();
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(kPublishKeyringService, this);
    job->setKey(key);
    job->setTextData(password->text());
    QPointer<PublishDialog> self = this;
    connect(job, &QKeychain::Job::finished, this, [self](QKeychain::Job* j) {
        if (!self || j->error() == QKeychain::NoError)
            return;
        // "Remembered" stays ticked only when the keyring really holds the password.
        self->remember->setChecked(false);
        QSettings s = settings();
        s.setValue(QStringLiteral("publish/remember"), false);
        // The keyring's own words (D-Bus's, in English) would tell the user nothing.
        self->result->setText(self->result->text() + QLatin1Char('\n')
                              + QStringLiteral("パスワードをキーリングに記憶できませんでした"));
    });
    job->start();
}

PublishOptions PublishDialog::options()
{
    PublishOptions o;
    o.outDir = m_outDir;
    o.url = where->url();
    if (!user->text().isEmpty())
        o.url.setUserName(user->text());
    o.password = password->text();
    o.include = patternsOf(include->text());
    o.exclude = patternsOf(exclude->text());
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
    // One URL, as qadora-publish takes it; the user beside it, the password never.
    s.setValue(QStringLiteral("address"), addressWithoutPassword(where->url()));
    s.setValue(QStringLiteral("user"), user->text());
    s.setValue(QStringLiteral("remember"), remember->isChecked());
    s.setValue(QStringLiteral("exclude"), exclude->text());
    s.setValue(QStringLiteral("include"), include->text());
    s.setValue(QStringLiteral("folder"), folderKey(m_outDir));
    s.endGroup();
    run(o);
}

void PublishDialog::run(PublishOptions o)
{
    m_running = true;
    for (QWidget* w : {static_cast<QWidget*>(publishButton), static_cast<QWidget*>(where), static_cast<QWidget*>(user),
                       static_cast<QWidget*>(password), static_cast<QWidget*>(exclude), static_cast<QWidget*>(include)})
        w->setEnabled(false);
    result->setText(QStringLiteral("公開しています…"));
    cancelButton->setText(QCoreApplication::translate("QPlatformTheme", "Cancel"));
    progress->setRange(0, 0);
    m_stop = std::make_shared<std::atomic<bool>>(false);
    auto stop = m_stop;
    o.stop = stop.get();
    QPointer<PublishDialog> self = this;
    // The transfer runs on a thread of its own; the dialog stays live and Cancel is heard.
    QThread* worker = QThread::create([self, stop, o] {
        const PublishResult outcome = publishSite(o, [self](int done, int total, const QString& file) {
            QMetaObject::invokeMethod(
                self,
                [self, done, total, file] {
                    if (!self || !self->m_running)
                        return;
                    self->progress->setRange(0, qMax(total, 1));
                    self->progress->setValue(done);
                    if (!file.isEmpty())
                        self->result->setText(QStringLiteral("公開しています… %1").arg(file));
                },
                Qt::QueuedConnection);
            return true;
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
    if (outcome.code == PublishResult::UnknownHostKey && !*m_stop
        && acceptHostKey(m_interaction, used.url.host(), outcome.fingerprint)) {
        PublishOptions again = used;
        again.acceptHostKey = outcome.fingerprint;
        run(again);
        return;
    }
    if (outcome.code == PublishResult::NeedsConfirmation && !*m_stop && confirmFiles(m_interaction, outcome.unconfirmed)) {
        PublishOptions again = used;
        again.confirmed = true;
        run(again);
        return;
    }
    publishButton->setEnabled(true);
    cancelButton->setText(QCoreApplication::translate("QPlatformTheme", "Close"));
    for (QWidget* w : {static_cast<QWidget*>(where), static_cast<QWidget*>(user), static_cast<QWidget*>(password),
                       static_cast<QWidget*>(exclude), static_cast<QWidget*>(include)})
        w->setEnabled(true);
    progress->setRange(0, 1);
    progress->setValue(outcome.code == PublishResult::Complete ? 1 : 0);
    result->setText(publishResultText(outcome));
    notePublishLogin(used, outcome);
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
