// SPDX-License-Identifier: GPL-3.0-or-later
#include "publisher.h"

#include "curlsession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace qadora {

namespace {

// What was published, by file name (relative to the folder): the SHA-256 of its bytes.
using State = QMap<QString, QByteArray>;

// One line a file: the hash, a tab, the name percent-encoded (any name survives a text file).
State parseState(const QByteArray& bytes)
{
    State state;
    for (const QByteArray& line : bytes.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        const qsizetype tab = l.indexOf('\t');
        if (l.startsWith('#') || tab != 64)
            continue;
        state.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(l.mid(tab + 1))), l.left(tab));
    }
    return state;
}

QByteArray stateBytes(const State& state)
{
    QByteArray bytes = "# Qadora: the files published here, by SHA-256\r\n";
    for (auto it = state.cbegin(); it != state.cend(); ++it)
        bytes += it.value() + '\t' + it.key().toUtf8().toPercentEncoding("/") + "\r\n";
    return bytes;
}

// The files of the site: every regular file below the folder, by relative name, except the
// program's own (temporary files, the state).
QStringList siteFiles(const QString& dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    const QDir base(dir);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = base.relativeFilePath(path);
        if (QFileInfo(path).fileName().startsWith(QLatin1String(".qadora-")) || !QFileInfo(path).isFile())
            continue;
        names << name;
    }
    names.sort();
    return names;
}

QString sendFailure(const QString& name)
{
    return QStringLiteral("「%1」を送れませんでした").arg(name);
}

} // namespace

QString PublishResult::summary() const
{
    return QStringLiteral("uploaded %1, removed %2, unchanged %3").arg(uploaded).arg(removed).arg(unchanged);
}

QString publishUrlProblem(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("公開先のアドレスが正しくありません（例: ftp://user@example.jp/public_html）");
    if (scheme != QLatin1String("ftp") && scheme != QLatin1String("ftps") && scheme != QLatin1String("sftp"))
        return QStringLiteral("公開先のアドレスは ftp://、ftps://、sftp:// のいずれかで始めて下さい");
    return QString();
}

PublishResult publishSite(const PublishOptions& options, const PublishProgress& progress)
{
    PublishResult result;
    auto fail = [&](const QString& message) {
        result.code = PublishResult::Failed;
        result.message = message;
        return result;
    };
    if (const QString problem = publishUrlProblem(options.url); !problem.isEmpty())
        return fail(problem);
    if (!QFileInfo(options.outDir).isDir())
        return fail(QStringLiteral("公開するフォルダがありません") + QLatin1Char('\r') + options.outDir);

    CurlSession session(options);
    auto sessionFailure = [&](const QString& message) {
        if (session.unknownHostKey()) {
            result.code = PublishResult::UnknownHostKey;
            result.fingerprint = session.unknownKeyFingerprint();
            result.message = QStringLiteral("サーバーのホスト鍵が登録されていません。接続しませんでした") + QLatin1Char('\r')
                + result.fingerprint;
            return result;
        }
        if (session.hostKeyRefused())
            return fail(session.error());
        if (session.loginDenied())
            return fail(QStringLiteral("サーバーにログインできませんでした（ユーザー名かパスワードが違います）") + QLatin1Char('\r')
                        + session.error());
        return fail(message + QLatin1Char('\r') + session.error());
    };

    QByteArray stateFile;
    bool noState = false;
    if (!session.get(kPublishStateName, &stateFile, &noState))
        return sessionFailure(QStringLiteral("サーバーに接続できませんでした"));
    State published = noState ? State() : parseState(stateFile);

    // What to send: files whose bytes differ from what was published; what to remove: files an
    // earlier publish sent that the folder no longer has. Nothing else on the server is touched.
    const QDir dir(QFileInfo(options.outDir).absoluteFilePath());
    const QStringList names = siteFiles(dir.path());
    QList<std::pair<QString, QByteArray>> toSend;
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("ファイルを読み込めませんでした") + QLatin1Char('\r') + dir.filePath(name));
        const QByteArray hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        if (published.value(name) == hash)
            ++result.unchanged;
        else
            toSend.append({name, hash});
    }
    QStringList toRemove;
    const QSet<QString> present(names.cbegin(), names.cend());
    for (auto it = published.cbegin(); it != published.cend(); ++it) {
        if (!present.contains(it.key()))
            toRemove << it.key();
    }
    if (options.dryRun) {
        for (const auto& [name, hash] : std::as_const(toSend))
            result.changes << QStringLiteral("upload ") + name;
        for (const QString& name : std::as_const(toRemove))
            result.changes << QStringLiteral("remove ") + name;
        result.uploaded = int(toSend.size());
        result.removed = int(toRemove.size());
        return result;
    }

    const int total = int(toSend.size() + toRemove.size());
    int done = 0;
    // The state goes up now and then, so that a publish cut short is finished by the next one
    // without sending again what already arrived.
    QElapsedTimer sinceSaved;
    sinceSaved.start();
    bool stateChanged = noState && !names.isEmpty();
    auto saveState = [&]() {
        if (!stateChanged)
            return true;
        if (!session.put(kPublishStateName, stateBytes(published)))
            return false;
        stateChanged = false;
        sinceSaved.restart();
        return true;
    };
    auto cancelled = [&](const QString& name) {
        if (!progress || progress(done, total, name))
            return false;
        saveState();
        result.code = PublishResult::Cancelled;
        result.message = QStringLiteral("公開を中止しました");
        return true;
    };

    for (const auto& [name, hash] : std::as_const(toSend)) {
        if (cancelled(name))
            return result;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("ファイルを読み込めませんでした") + QLatin1Char('\r') + dir.filePath(name));
        if (!session.put(name, file.readAll())) {
            saveState();
            return sessionFailure(sendFailure(name));
        }
        published.insert(name, hash);
        stateChanged = true;
        ++result.uploaded;
        ++done;
        if (sinceSaved.elapsed() > 10000 && !saveState())
            return sessionFailure(sendFailure(kPublishStateName));
    }
    for (const QString& name : std::as_const(toRemove)) {
        if (cancelled(name))
            return result;
        if (!session.remove(name)) {
            saveState();
            return sessionFailure(QStringLiteral("「%1」を削除できませんでした").arg(name));
        }
        published.remove(name);
        stateChanged = true;
        ++result.removed;
        ++done;
    }
    if (!saveState())
        return sessionFailure(sendFailure(kPublishStateName));
    if (progress)
        progress(done, total, QString());
    return result;
}

} // namespace qadora
