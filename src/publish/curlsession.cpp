// SPDX-License-Identifier: GPL-3.0-or-later
#include "curlsession.h"

#include "knownhosts.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <curl/curl.h>

#include <chrono>
#include <thread>
#include <utility>
#include <cstdio>


namespace qadora {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

constexpr int kAttempts = 3;

void initCurlOnce()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    Q_UNUSED(done);
}

size_t onWrite(char* data, size_t size, size_t count, void* session)
{
    return static_cast<CurlSession*>(session)->download(data, size * count);
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* session)
{
    auto* s = static_cast<CurlSession*>(session);
    if (type == CURLINFO_HEADER_IN)
        s->serverSaid(QByteArray(data, qsizetype(size)));
    if (type == CURLINFO_HEADER_IN || type == CURLINFO_DATA_IN || type == CURLINFO_SSL_DATA_IN)
        s->heard();
    if (s->verbose() && (type == CURLINFO_TEXT || type == CURLINFO_HEADER_IN || type == CURLINFO_HEADER_OUT)) {
        const char* mark = type == CURLINFO_HEADER_IN ? "< " : type == CURLINFO_HEADER_OUT ? "> " : "* ";
        std::fputs(mark, stderr);
        // The password never reaches a terminal or a log.
        if (type == CURLINFO_HEADER_OUT && size >= 5 && qstrnicmp(data, "PASS ", 5) == 0)
            std::fputs("PASS ****\r\n", stderr);
        else
            std::fwrite(data, 1, size, stderr);
    }
    return 0;
}

int onProgress(void* session, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow)
{
    Q_UNUSED(downTotal);
    Q_UNUSED(upTotal);
    // Bytes moving either way are the server's doing as much as ours.
    thread_local curl_off_t lastDown = -1;
    thread_local curl_off_t lastUp = -1;
    if (downNow != lastDown || upNow != lastUp) {
        lastDown = downNow;
        lastUp = upNow;
        static_cast<CurlSession*>(session)->heard();
    }
    return 0;
}

int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* session)
{
    QByteArray key;
    if (found && found->key)
        key = found->len > 0 ? QByteArray(found->key, qsizetype(found->len)) : QByteArray::fromBase64(found->key);
    return static_cast<CurlSession*>(session)->checkHostKey(key, int(match));
}

curl_socket_t onOpenSocket(void* session, curlsocktype, curl_sockaddr* address)
{
    const qintptr fd = platform::openSocket(address->family, address->socktype, address->protocol);
    if (fd == -1)
        return CURL_SOCKET_BAD;
    return curl_socket_t(static_cast<CurlSession*>(session)->openedSocket(fd));
}

int onCloseSocket(void* session, curl_socket_t fd)
{
    return static_cast<CurlSession*>(session)->closingSocket(qintptr(fd));
}

size_t onRead(char* buffer, size_t size, size_t count, void* session)
{
    return static_cast<CurlSession*>(session)->readUpload(buffer, size * count);
}

curl_slist* slistOf(const QStringList* lines)
{
    curl_slist* list = nullptr;
    if (lines) {
        for (const QString& line : *lines)
            list = curl_slist_append(list, line.toUtf8().constData());
    }
    return list;
}

constexpr char kTempAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kTempRandom = 16;

} // namespace

QString CurlSession::temporaryName()
{
    // Unpredictable and never reused: nothing planted under it in advance can be met, and two
    // publishes never write into one file.
    QString name = QStringLiteral(".qadora-up-");
    for (int i = 0; i < kTempRandom; ++i)
        name += QLatin1Char(kTempAlphabet[QRandomGenerator::system()->bounded(int(sizeof kTempAlphabet) - 1)]);
    return name + QStringLiteral(".tmp");
}

bool CurlSession::isTemporaryName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.qadora-up-[a-z0-9]{16}\\.tmp$"));
    return pattern.match(fileName).hasMatch();
}

CurlSession::CurlSession(const PublishOptions& options, const std::atomic<bool>* stop)
    : m_options(options)
    , m_stop(stop)
{
    initCurlOnce();
    m_curl = curl_easy_init();
    m_multi = curl_multi_init();
    const QString scheme = options.url.scheme().toLower();
    m_sftp = scheme == QLatin1String("sftp");
    m_tls = scheme == QLatin1String("ftps");
    QString path = options.url.path();
    if (m_sftp && path.startsWith(QLatin1String("/~/"))) {
        m_homeRelative = true;
        path = path.mid(3);
    }
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    m_folder = path;

    const long deadline = qMax(1L, long((options.deadlineMs + 999) / 1000));
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    // libcurl keeps a name-cache entry for every FTP data connection's port and goes through
    // all of them at every connection: thousands of files made each file slower. Names are
    // looked up once a connection anyway.
    curl_easy_setopt(m_curl, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_curlError);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, long(options.deadlineMs));
    // libcurl 7.88's blocking SFTP steps (closing a file, the commands after it) wait with
    // what is left of this timeout, and without one they poll without waiting: a spin. A day
    // is never reached; the watchdog ends a silent step long before.
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, 24L * 3600 * 1000);
    // libcurl's own waits end a little after the watchdog's, which names the step.
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, deadline + 1);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket);
    curl_easy_setopt(m_curl, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, onRead);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
    // One CWD to a folder, and none while files go to the same one.
    curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    const QString user = options.url.userName();
    if (!user.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
    const QString password = options.password.isEmpty() ? options.url.password() : options.password;
    if (!password.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    if (scheme == QLatin1String("ftps"))
        curl_easy_setopt(m_curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!options.caFile.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, platform::libraryPath(options.caFile).constData());
    if (m_sftp) {
        curl_easy_setopt(m_curl, CURLOPT_SSH_AUTH_TYPES,
                         long(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT | CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        // Host keys are checked here against the known hosts, and an accepted one is added by
        // the publisher itself: libcurl would rewrite the whole file.
        curl_easy_setopt(m_curl, CURLOPT_SSH_KNOWNHOSTS, platform::libraryPath(options.knownHosts).constData());
        curl_easy_setopt(m_curl, CURLOPT_SSH_KEYFUNCTION, onHostKey);
        curl_easy_setopt(m_curl, CURLOPT_SSH_KEYDATA, this);
        QString identity = options.identity;
        for (const char* name : {".ssh/id_ed25519", ".ssh/id_ecdsa", ".ssh/id_rsa"}) {
            if (identity.isEmpty() && QFileInfo::exists(QDir::home().filePath(QLatin1String(name))))
                identity = QDir::home().filePath(QLatin1String(name));
        }
        if (!identity.isEmpty()) {
            curl_easy_setopt(m_curl, CURLOPT_SSH_PRIVATE_KEYFILE, platform::libraryPath(identity).constData());
            // Empty: the public key is taken from the private one.
            curl_easy_setopt(m_curl, CURLOPT_SSH_PUBLIC_KEYFILE, "");
        }
    }
}

CurlSession::~CurlSession()
{
    curl_multi_cleanup(m_multi);
    curl_easy_cleanup(m_curl);
    curl_slist_free_all(m_quote);
    curl_slist_free_all(m_postQuote);
}

int CurlSession::checkHostKey(const QByteArray& key, int match)
{
    Q_UNUSED(match); // libssh2's reading stops at the first line it cannot parse; ours does not
    const QString fingerprint = hostKeyFingerprint(key);
    const QString host = m_options.url.host();
    const int port = m_options.url.port(22);
    switch (matchHostKey(m_options.knownHosts, host, port, key)) {
    case HostKeyMatch::Known:
        return CURLKHSTAT_FINE;
    case HostKeyMatch::Mismatch:
    case HostKeyMatch::Revoked:
        m_keyMismatch = fingerprint;
        return CURLKHSTAT_REJECT;
    case HostKeyMatch::Missing:
        break;
    }
    if (m_options.acceptHostKey.isEmpty() || m_options.acceptHostKey != fingerprint) {
        m_unknownKey = fingerprint;
        return CURLKHSTAT_REJECT;
    }
    // Accepted: one line is added, and nothing else in the file changes.
    static std::mutex once;
    std::lock_guard lock(once);
    QString error;
    if (matchHostKey(m_options.knownHosts, host, port, key) == HostKeyMatch::Missing
        && !rememberHostKey(m_options.knownHosts, host, port, key, &error))
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("ホスト鍵を記録できませんでした：") + error));
    return CURLKHSTAT_FINE;
}

QByteArray CurlSession::urlOf(const QString& name) const
{
    QUrl url;
    url.setScheme(m_sftp ? QStringLiteral("sftp") : QStringLiteral("ftp"));
    url.setHost(m_options.url.host());
    url.setPort(m_options.url.port());
    QString path = QStringLiteral("/");
    if (m_homeRelative)
        path += QStringLiteral("~/");
    if (!m_folder.isEmpty())
        path += m_folder + QLatin1Char('/');
    url.setPath(path + name, QUrl::DecodedMode);
    return url.toEncoded();
}

void CurlSession::setQuotes(const QStringList* quote, const QStringList* postQuote)
{
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_slist_free_all(m_quote);
    curl_slist_free_all(m_postQuote);
    m_quote = slistOf(quote);
    m_postQuote = slistOf(postQuote);
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, m_quote);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, m_postQuote);
}

void CurlSession::fail(Problem problem, const QString& text)
{
    m_problem = problem;
    m_error = text;
}

namespace {

// A busy or briefly unwell FTP server's reply: another try may work.
bool busyFtpReply(long response)
{
    return response == 421 || response == 425 || response == 426 || response == 450 || response == 451;
}

} // namespace

bool CurlSession::performOnce(Step step, const QByteArray& url, bool* transient)
{
    *transient = false;
    m_curlError[0] = '\0';
    m_lastAnswer.clear();
    m_lateAnswer.clear();
    m_step = step;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, long(step == Step::Put || step == Step::Append));
    curl_easy_setopt(m_curl, CURLOPT_APPEND, long(step == Step::Append));
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, long(step == Step::Command || step == Step::Probe));
    // Folders are made for what is sent, never for what is only read or looked at.
    curl_easy_setopt(m_curl, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     long(step == Step::Put || step == Step::Append ? CURLFTP_CREATE_DIR_RETRY : CURLFTP_CREATE_DIR_NONE));
    m_stepStart = steadyMs();
    m_heardAt = m_stepStart.load();
    m_busy = true;
    // Driven here rather than by curl_easy_perform(), which waits up to a second at a time:
    // the wait ends as soon as a socket is ready, when libcurl's own timer is due, or when the
    // watchdog shuts the sockets.
    curl_multi_add_handle(m_multi, m_curl);
    int running = 1;
    int quickTurns = 0;
    int backoffUs = 250;
    CURLMcode multiCode = CURLM_OK;
    while (multiCode == CURLM_OK) {
        multiCode = curl_multi_perform(m_multi, &running);
        if (running == 0 || multiCode != CURLM_OK || m_cutOff)
            break;
        long timeout = -1;
        curl_multi_timeout(m_multi, &timeout);
        if (timeout < 0 || timeout > 200)
            timeout = 200;
        // libcurl 7.88 does not always wait on every socket it has: an FTP control connection
        // while a data connection ends, a data connection while it is being made. Each socket
        // of an FTP session is watched for input as well, and while libcurl leaves one out
        // the wait is short, so that no answer is slept through.
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        int maxFd = -1;
        curl_multi_fdset(m_multi, &readable, &writable, &failed, &maxFd);
        curl_waitfd extra[8];
        unsigned extraCount = 0;
        {
            std::lock_guard lock(m_socketLock);
            for (const qintptr socket : m_sockets) {
                const auto fd = curl_socket_t(socket);
                const bool watched = platform::selectCanHold(socket) && (FD_ISSET(fd, &readable) || FD_ISSET(fd, &writable));
                if (!watched && timeout > 5)
                    timeout = 5;
                if (!m_sftp && extraCount < 8)
                    extra[extraCount++] = {fd, CURL_WAIT_POLLIN, 0};
            }
        }
        const auto before = std::chrono::steady_clock::now();
        multiCode = curl_multi_poll(m_multi, extra, extraCount, int(timeout), nullptr);
        // While libcurl's SFTP waits for the server it asks to be called again at once, or to
        // wait for a socket that is always writable: after a run of such turns that end at
        // once, the loop sleeps a little, longer each time, so that waiting never spins.
        if (std::chrono::steady_clock::now() - before < std::chrono::microseconds(200)) {
            if (++quickTurns > 16) {
                std::this_thread::sleep_for(std::chrono::microseconds(backoffUs));
                backoffUs = qMin(backoffUs * 2, 2000);
            }
        } else {
            quickTurns = 0;
            backoffUs = 250;
        }
    }
    CURLcode code = multiCode == CURLM_OK ? CURLE_OK : CURLE_SEND_ERROR;
    if (m_cutOff)
        code = CURLE_OPERATION_TIMEDOUT;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl && !m_cutOff)
            code = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    m_busy = false;
    if (code == CURLE_OK)
        return true;
    long response = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &response);
    const bool late = !m_lateAnswer.isEmpty() && !m_cutOff;
    if (late) {
        m_lastAnswer = m_lateAnswer;
        response = m_lateAnswer.left(3).toLong();
    }
    const QString answer = QString::fromUtf8(m_lastAnswer);
    const QString detail = QString::fromUtf8(m_curlError[0] ? m_curlError : curl_easy_strerror(code));
    m_answer = answer.isEmpty() ? detail : answer;
    m_error = answer.isEmpty() ? detail : answer + QStringLiteral("（") + detail + QStringLiteral("）");
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        m_problem = Problem::Connect;
        *transient = code == CURLE_COULDNT_CONNECT;
        break;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        // A server that takes only TLS says so in refusing the user.
        m_problem = (answer.contains(QLatin1String("TLS")) || answer.contains(QLatin1String("SSL")))
            ? Problem::TlsRequired
            : Problem::Login;
        break;
    case CURLE_REMOTE_DISK_FULL:
        m_problem = Problem::Full;
        break;
    case CURLE_REMOTE_ACCESS_DENIED:
        m_problem = Problem::Denied;
        break;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_CANT_GET_HOST:
        m_problem = code == CURLE_OPERATION_TIMEDOUT ? Problem::Timeout : Problem::Other;
        *transient = true;
        break;
    default:
        m_problem = Problem::Other;
        // A busy or briefly unwell FTP server says so with a 4xx answer; a full one with 452.
        *transient = !m_sftp && busyFtpReply(response);
        break;
    }
    // The server's reply, not the failed send it explains, tells whether another try may work.
    if (late)
        *transient = busyFtpReply(response);
    if (!m_sftp && (response == 552 || response == 452))
        m_problem = Problem::Full;
    else if (!m_sftp && (response == 550 || response == 553) && m_problem == Problem::Other)
        m_problem = Problem::Denied;
    if (m_sftp && code == CURLE_QUOTE_ERROR && detail.contains(QLatin1String("denied"), Qt::CaseInsensitive))
        m_problem = Problem::Denied;
    return false;
}

bool CurlSession::perform(Step step, const QByteArray& url, const QString& what)
{
    m_error.clear();
    m_answer.clear();
    m_problem = Problem::None;
    m_unknownKey.clear();
    m_keyMismatch.clear();
    m_cutOff = 0;
    for (int attempt = 1;; ++attempt) {
        if (stopped() && m_afterStopMs <= 0) {
            fail(Problem::Stopped, QStringLiteral("公開を中止しました"));
            return false;
        }
        bool transient = false;
        if (performOnce(step, url, &transient))
            return true;
        if (m_cutOff == 2) {
            fail(Problem::Stopped, QStringLiteral("公開を中止しました"));
            return false;
        }
        if (m_cutOff == 1 || m_problem == Problem::Timeout) {
            fail(Problem::Timeout, QStringLiteral("サーバーから %1 秒間応答がありません（%2）")
                                       .arg((m_options.deadlineMs + 999) / 1000)
                                       .arg(what));
            m_answer.clear();
            return false;
        }
        if (!m_keyMismatch.isEmpty()) {
            m_problem = Problem::HostKey;
            m_error = QStringLiteral("サーバーのホスト鍵が登録されている鍵と違います。接続しませんでした") + QLatin1Char('\r')
                + m_keyMismatch;
        }
        if (!m_unknownKey.isEmpty())
            m_problem = Problem::HostKey;
        if (m_problem == Problem::HostKey || !transient || attempt == kAttempts)
            return false;
        // A pause before the next try; a stop request ends it at once.
        for (int waited = 0; waited < 500 * attempt && !stopped(); waited += 50)
            QThread::msleep(50);
        m_uploadPos = 0;
    }
}

} // namespace qadora
