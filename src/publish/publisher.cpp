// SPDX-License-Identifier: GPL-3.0-or-later
#include "publishrun.h"

namespace qadora {

namespace publishing {

namespace {

PublishResult::Problem problemOf(CurlSession::Problem p)
{
    switch (p) {
    case CurlSession::Problem::None:
        return PublishResult::None;
    case CurlSession::Problem::Connect:
        return PublishResult::Connect;
    case CurlSession::Problem::Login:
        return PublishResult::Login;
    case CurlSession::Problem::TlsRequired:
        return PublishResult::TlsRequired;
    case CurlSession::Problem::HostKey:
        return PublishResult::HostKey;
    case CurlSession::Problem::Full:
        return PublishResult::Full;
    case CurlSession::Problem::Denied:
        return PublishResult::Denied;
    case CurlSession::Problem::Timeout:
        return PublishResult::Timeout;
    case CurlSession::Problem::Stopped:
    case CurlSession::Problem::Other:
        break;
    }
    return PublishResult::Other;
}

} // namespace

void describeFailure(PublishResult& result, const QString& message, const CurlSession* session, bool passwordSent)
{
    result.code = PublishResult::Failed;
    result.message = message;
    if (!session)
        return;
    const CurlSession::Problem p = session->problem();
    if (p == CurlSession::Problem::Stopped) {
        result.code = PublishResult::Cancelled;
        result.message = QStringLiteral("公開を中止しました");
        return;
    }
    if (session->unknownHostKey()) {
        result.code = PublishResult::UnknownHostKey;
        result.problem = PublishResult::HostKey;
        result.fingerprint = session->unknownKeyFingerprint();
        result.message = QStringLiteral("サーバーのホスト鍵が登録されていません。接続しませんでした") + QLatin1Char('\r')
            + result.fingerprint;
        return;
    }
    result.problem = problemOf(p);
    result.serverAnswer = session->serverAnswer();
    if (p == CurlSession::Problem::HostKey || p == CurlSession::Problem::Timeout)
        result.message = session->error();
    else if (p == CurlSession::Problem::Login)
        result.message = (passwordSent ? QStringLiteral("サーバーにログインできませんでした（ユーザー名かパスワードが違います）")
                                       : QStringLiteral("サーバーにログインできませんでした（パスワードが入力されていません）"))
            + QLatin1Char('\r') + session->error();
    else if (p == CurlSession::Problem::TlsRequired)
        result.message = QStringLiteral("このサーバーは TLS での接続だけを受け付けます（ftps:// で始まるアドレスにして下さい）")
            + QLatin1Char('\r') + session->error();
    else
        result.message = message + QLatin1Char('\r') + session->error();
}

PublishResult Publish::fail(const QString& message, CurlSession* session)
{
    describeFailure(m_result, message, session, !m_options.password.isEmpty());
    return m_result;
}

PublishResult Publish::localFail(const QString& message)
{
    m_result.code = PublishResult::Failed;
    m_result.problem = PublishResult::LocalFile;
    m_result.message = message;
    return m_result;
}

CurlSession* Publish::newSession()
{
    std::lock_guard lock(m_sessionsLock);
    m_sessions.push_back(std::make_unique<CurlSession>(m_options, &m_stop));
    return m_sessions.back().get();
}

void Publish::startWatchdog()
{
    m_watchdog = std::thread([this] {
        std::unique_lock lock(m_watchLock);
        while (!m_watchEnd) {
            m_watchWake.wait_for(lock, std::chrono::milliseconds(100));
            if (m_options.stop && m_options.stop->load())
                m_stop = true;
            if (m_stop) {
                // Wake a sender waiting for work, and the control thread.
                m_more.notify_all();
                m_finished.notify_all();
            }
            const qint64 now = steadyMs();
            std::lock_guard sessions(m_sessionsLock);
            for (const auto& s : m_sessions)
                s->watch(now);
        }
    });
}

void Publish::stopWatchdog()
{
    {
        std::lock_guard lock(m_watchLock);
        m_watchEnd = true;
    }
    m_watchWake.notify_all();
    if (m_watchdog.joinable())
        m_watchdog.join();
}

bool Publish::tell(int done, int total, const QString& file)
{
    if (m_progress && !m_progress(done, total, file))
        m_stop = true;
    return !stopRequested();
}

} // namespace publishing

QString PublishResult::summary() const
{
    return QStringLiteral("uploaded %1, removed %2, unchanged %3").arg(uploaded).arg(removed).arg(unchanged);
}

QString PublishResult::summaryJa() const
{
    return QStringLiteral("送信 %1、削除 %2、変更なし %3").arg(uploaded).arg(removed).arg(unchanged);
}

QString PublishResult::headline() const
{
    switch (code) {
    case Complete:
        return QStringLiteral("公開しました");
    case Cancelled:
        return QStringLiteral("公開を中止しました");
    case UnknownHostKey:
        return QStringLiteral("サーバーのホスト鍵が登録されていません");
    case NeedsConfirmation:
        return QStringLiteral("公開してよいか確かめて下さい");
    case Failed:
        break;
    }
    switch (problem) {
    case Connect:
        return QStringLiteral("接続できません");
    case Login:
        return QStringLiteral("ログインできません");
    case TlsRequired:
        return QStringLiteral("TLS が必要です");
    case HostKey:
        return QStringLiteral("ホスト鍵が違います");
    case Full:
        return QStringLiteral("容量不足");
    case Denied:
        return QStringLiteral("書き込めません");
    case Timeout:
        return QStringLiteral("応答がありません");
    case Locked:
        return QStringLiteral("ほかの公開が進行中です");
    case LocalFile:
        return QStringLiteral("公開するファイルに問題があります");
    case None:
    case Other:
        break;
    }
    return QStringLiteral("公開できませんでした");
}

QString publishUrlProblem(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("公開先のアドレスが正しくありません（例: ftp://user@example.jp/public_html）");
    if (scheme != QLatin1String("ftp") && scheme != QLatin1String("ftps") && scheme != QLatin1String("sftp"))
        return QStringLiteral("公開先のアドレスは ftp://、ftps://、sftp:// のいずれかで始めて下さい");
    if (url.port() == 0)
        return QStringLiteral("公開先のアドレスのポート番号が正しくありません");
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("公開先のアドレスに「?」や「#」は使えません");
    // The folder is the one named, never one reached through "..", and no name carries a
    // line break into the server's commands.
    const QString path = url.path(QUrl::FullyDecoded);
    const QString user = url.userName(QUrl::FullyDecoded);
    if (std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; })
        || std::any_of(user.cbegin(), user.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }))
        return QStringLiteral("公開先のアドレスに制御文字は使えません");
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")) || parts.contains(QStringLiteral(".")))
        return QStringLiteral("公開先のアドレスに「.」や「..」のフォルダは使えません");
    return QString();
}

QString addressWithoutPassword(const QUrl& url)
{
    return url.toString(QUrl::RemovePassword);
}

PublishResult publishSite(const PublishOptions& options, const PublishProgress& progress)
{
    publishing::Publish publish(options, progress);
    return publish.run();
}

} // namespace qadora
