// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishpassword.h"

#include "interaction.h"
#include "settings/appsettings.h"

#include <QEventLoop>
#include <QHash>
#include <QSettings>

#include <qt6keychain/keychain.h>

namespace qadora {

namespace {

// Passwords the servers took in this session, by user, host and port: never written anywhere.
QHash<QString, QString>& sessionPasswords()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

QString sessionKey(const PublishOptions& options)
{
    return publishKeyringKey(options.url.userName(), options.url.host()) + QLatin1Char(':')
        + QString::number(options.url.port());
}

// Runs a keyring job to its end; its error.
QKeychain::Error runJob(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return job.error();
}

} // namespace

QString publishKeyringKey(const QString& user, const QString& host)
{
    return QStringLiteral("publish/%1@%2").arg(user, host);
}

QString noKeyringText()
{
    return QStringLiteral("このデスクトップにはパスワードを記憶するキーリングがありません。"
                          "パスワードは記憶せず、このプログラムを終了するまでの間だけ覚えておきます。");
}

QString rememberedPublishPassword(const PublishOptions& options)
{
    QSettings s = openSettings();
    if (!s.value(QStringLiteral("publish/remember")).toBool())
        return QString();
    QKeychain::ReadPasswordJob job(kPublishKeyringService);
    job.setKey(publishKeyringKey(options.url.userName(), options.url.host()));
    return runJob(job) == QKeychain::NoError ? job.textData() : QString();
}

bool keyringAvailable()
{
    // Looking up a name that is not there tells whether anything answers.
    QKeychain::ReadPasswordJob job(kPublishKeyringService);
    job.setKey(QStringLiteral("publish/keyring-check"));
    const QKeychain::Error error = runJob(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound || error == QKeychain::AccessDeniedByUser;
}

bool askPublishPassword(PublishOptions* options, Interaction* interaction)
{
    const std::optional<QString> typed = interaction->password(
        QStringLiteral("パスワードの入力"),
        QStringLiteral("%1@%2 のパスワード：").arg(options->url.userName(), options->url.host()));
    if (!typed)
        return false;
    options->password = *typed;
    return true;
}

bool obtainPublishPassword(PublishOptions* options, Interaction* interaction)
{
    if (!options->password.isEmpty())
        return true;
    options->password = sessionPublishPassword(*options);
    if (options->password.isEmpty())
        options->password = rememberedPublishPassword(*options);
    const QString scheme = options->url.scheme().toLower();
    const QString user = options->url.userName();
    // Anonymous FTP needs none; SFTP tries the user's keys first.
    if (!options->password.isEmpty() || scheme == QLatin1String("sftp") || user.isEmpty()
        || user == QLatin1String("anonymous") || user == QLatin1String("ftp"))
        return true;
    return askPublishPassword(options, interaction);
}

void notePublishLogin(const PublishOptions& options, const PublishResult& result)
{
    // Full, Denied and Locked come after a login.
    if (result.problem == PublishResult::Login)
        sessionPasswords().remove(sessionKey(options));
    else if (!options.password.isEmpty()
             && (result.code == PublishResult::Complete || result.problem == PublishResult::Full
                 || result.problem == PublishResult::Denied || result.problem == PublishResult::Locked))
        sessionPasswords().insert(sessionKey(options), options.password);
}

QString sessionPublishPassword(const PublishOptions& options)
{
    return sessionPasswords().value(sessionKey(options));
}

} // namespace qadora
