// SPDX-License-Identifier: GPL-3.0-or-later
#include "curlsession.h"

#include "knownhosts.h"
#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <curl/curl.h>

#include <cctype>
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

// A path for the server's own commands, in double quotes where SFTP needs them.
QString sftpQuoted(const QString& path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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

bool saysNoSuchFile(const QString& answer)
{
    const QString a = answer.toLower();
    return a.contains(QLatin1String("no such file")) || a.contains(QLatin1String("not found"))
        || a.contains(QLatin1String("does not exist"));
}

// A read or a size that the server refuses: there is no such file to read, as far as we go.
bool saysMissing(const QString& answer)
{
    return saysNoSuchFile(answer) || answer.startsWith(QLatin1String("550 "));
}

QString folderOf(const QString& name)
{
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : name.left(slash + 1);
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

void CurlSession::serverSaid(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    m_lastAnswer = trimmed;
    if (trimmed.startsWith("213 "))
        m_sizeAnswer = trimmed;
    if (trimmed.startsWith("350 "))
        m_renameReady = true;
}

void CurlSession::heard()
{
    m_heardAt = steadyMs();
}

qintptr CurlSession::openedSocket(qintptr fd)
{
    std::lock_guard lock(m_socketLock);
    if (m_sockets.empty())
        m_controlSocket = fd;
    m_sockets.insert(fd);
    return fd;
}

int CurlSession::closingSocket(qintptr fd)
{
    // A server that drops the data connection of an upload (its disk full, say) says why on
    // the control connection, but libcurl closes that without reading on once a send on the
    // data connection has failed: the reply is read here first. Over TLS libcurl has ended
    // the session before this, and the reply is lost.
    if (fd == m_controlSocket && !m_sftp && !m_tls && m_busy && !m_cutOff
        && (m_step == Step::Put || m_step == Step::Append) && m_lastAnswer.startsWith('1'))
        readLateAnswer(fd);
    std::lock_guard lock(m_socketLock);
    m_sockets.erase(fd);
    if (fd == m_controlSocket)
        m_controlSocket = -1;
    return platform::closeSocket(fd);
}

void CurlSession::readLateAnswer(qintptr control)
{
    // The reply comes as the data connection is dropped; a few seconds are ample.
    const qint64 until = steadyMs() + qMin<qint64>(m_options.deadlineMs, 5000);
    QByteArray got;
    char buffer[1024];
    while (got.size() < 8192 && !m_cutOff) {
        const qint64 left = until - steadyMs();
        if (left <= 0 || !platform::waitForInput(control, int(left)))
            return;
        const int n = platform::receiveNow(control, buffer, int(sizeof buffer));
        if (n <= 0)
            return;
        got.append(buffer, n);
        heard();
        // The final line of a reply: three digits and a space (those of a longer one have "-").
        QList<QByteArray> lines = got.split('\n');
        lines.removeLast(); // not ended yet
        for (const QByteArray& line : std::as_const(lines)) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.size() >= 4 && trimmed[3] == ' ' && std::isdigit(uchar(trimmed[0]))
                && std::isdigit(uchar(trimmed[1])) && std::isdigit(uchar(trimmed[2]))) {
                if (verbose())
                    std::fprintf(stderr, "< %s\r\n", trimmed.constData());
                m_lateAnswer = trimmed;
                return;
            }
        }
    }
}

bool CurlSession::serverEndedUpload() const
{
    // Between the server's "150" and the end of the upload it has nothing to say but why it
    // stopped taking the file.
    return !m_sftp && m_controlSocket != -1 && platform::waitForInput(m_controlSocket, 0);
}

size_t CurlSession::readUpload(char* buffer, size_t size)
{
    if (m_cutOff)
        return CURL_READFUNC_ABORT;
    // The upload ends here, and libcurl reads the server's reply as after any upload, rather
    // than sending on into a connection the server is about to drop.
    if (m_uploadPos > 0 && serverEndedUpload())
        return 0;
    const qsizetype n = qMin(qsizetype(size), m_upload.size() - m_uploadPos);
    memcpy(buffer, m_upload.constData() + m_uploadPos, size_t(n));
    m_uploadPos += n;
    return size_t(n);
}

size_t CurlSession::download(const char* data, size_t size)
{
    // A file larger than asked for is not read on: a hostile server could send gigabytes.
    if (m_downloadLimit >= 0 && m_download.size() + qint64(size) > m_downloadLimit) {
        m_tooLarge = true;
        return 0;
    }
    m_download.append(data, qsizetype(size));
    return size;
}

bool CurlSession::stopped() const
{
    return m_stop && m_stop->load();
}

void CurlSession::watch(qint64 nowMs)
{
    if (!m_busy || m_cutOff)
        return;
    int reason = 0;
    if (stopped() && (m_afterStopMs <= 0 || nowMs - m_stepStart > m_afterStopMs))
        reason = 2;
    else if (nowMs - m_heardAt > m_options.deadlineMs)
        reason = 1;
    if (!reason)
        return;
    m_cutOff = reason;
    // Shut, not closed: the descriptors stay libcurl's until it closes them itself.
    std::lock_guard lock(m_socketLock);
    for (const qintptr fd : m_sockets)
        platform::shutdownSocket(fd);
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

// Where a file is, for the server's own commands (rename, remove): an absolute path, or one in
// the SFTP user's home.
QString CurlSession::commandPath(const QString& name) const
{
    QString base;
    if (m_sftp)
        base = m_homeRelative ? QString() : QStringLiteral("/");
    else
        base = m_entryPath.endsWith(QLatin1Char('/')) ? m_entryPath : m_entryPath + QLatin1Char('/');
    if (!m_folder.isEmpty())
        base += m_folder + (name.isEmpty() ? QString() : QStringLiteral("/"));
    const QString path = base + name;
    return m_sftp ? sftpQuoted(path) : path;
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

bool CurlSession::ensureEntryPath()
{
    if (m_sftp || !m_entryPath.isEmpty())
        return true;
    // Only logging in: where the server puts us is the base of every command's path.
    QUrl root;
    root.setScheme(QStringLiteral("ftp"));
    root.setHost(m_options.url.host());
    root.setPort(m_options.url.port());
    root.setPath(QStringLiteral("/"));
    setQuotes(nullptr, nullptr);
    if (!perform(Step::Command, root.toEncoded(), QStringLiteral("ログイン")))
        return false;
    char* entry = nullptr;
    curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entry);
    m_entryPath = entry ? QString::fromUtf8(entry) : QStringLiteral("/");
    if (!m_entryPath.startsWith(QLatin1Char('/')))
        m_entryPath.prepend(QLatin1Char('/'));
    return true;
}

bool CurlSession::get(const QString& name, QByteArray* bytes, bool* missing, qint64 limit)
{
    *missing = false;
    m_tooLarge = false;
    if (!ensureEntryPath())
        return false;
    m_download.clear();
    m_downloadLimit = limit;
    setQuotes(nullptr, nullptr);
    const bool ok = perform(Step::Get, urlOf(name), QStringLiteral("「%1」の読み込み").arg(name));
    m_downloadLimit = -1;
    if (m_tooLarge) {
        m_download.clear();
        fail(Problem::Other, QStringLiteral("「%1」は %2 バイトを超えているため読み込みませんでした").arg(name).arg(limit));
        m_answer.clear();
        return false;
    }
    if (!ok) {
        long response = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &response);
        // No such file, or (FTP) no such folder yet.
        if ((m_problem == Problem::Other || m_problem == Problem::Denied) && (response == 550 || saysMissing(m_error))) {
            *missing = true;
            m_error.clear();
            m_problem = Problem::None;
            return true;
        }
        return false;
    }
    bytes->swap(m_download);
    m_download.clear();
    return true;
}

bool CurlSession::command(const QStringList& commands, const QString& what)
{
    setQuotes(&commands, nullptr);
    // The folder's own URL: no change of folder between a file and the commands on it.
    const bool ok = perform(Step::Command, urlOf(QString()), what);
    setQuotes(nullptr, nullptr);
    return ok;
}

bool CurlSession::put(const QString& name, const QString& temp, const QByteArray& bytes, bool mayExist)
{
    if (!ensureEntryPath())
        return false;
    const QString folder = folderOf(name);
    const QString tempName = folder + temp;
    m_upload = bytes;
    m_uploadPos = 0;
    m_sizeAnswer.clear();
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(bytes.size()));
    // FTP: the size the server kept, asked for before anything is renamed.
    const QStringList size{QStringLiteral("*SIZE ") + commandPath(tempName)};
    setQuotes(nullptr, m_sftp ? nullptr : &size);
    const QString what = QStringLiteral("「%1」の送信").arg(name);
    const bool sent = perform(Step::Put, urlOf(tempName), what);
    setQuotes(nullptr, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    const QString removeTemp = (m_sftp ? QStringLiteral("*rm ") : QStringLiteral("*DELE ")) + commandPath(tempName);
    auto abandon = [&]() {
        const QString error = m_error;
        const QString answer = m_answer;
        const Problem problem = m_problem;
        // After a stop or a silent server the next publish removes it (it was recorded).
        if (problem != Problem::Stopped && problem != Problem::Timeout && problem != Problem::Login
            && problem != Problem::HostKey)
            command({removeTemp}, what);
        m_error = error;
        m_answer = answer;
        m_problem = problem;
        return false;
    };
    if (!sent)
        return abandon();
    curl_off_t uploaded = 0;
    curl_easy_getinfo(m_curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    // SFTP acknowledges every write; an FTP server is asked. One that does not answer SIZE, or
    // answers something else than a number, cannot be checked.
    qint64 kept = uploaded;
    bool number = false;
    if (m_sizeAnswer.startsWith("213 ")) {
        const QByteArray digits = m_sizeAnswer.mid(4).trimmed();
        const qint64 said = digits.toLongLong(&number);
        if (number && digits.front() >= '0' && digits.front() <= '9')
            kept = said;
        else
            number = false;
    }
    if (!m_sftp && !number)
        m_sizeUnchecked = true;
    if (uploaded != bytes.size() || kept != bytes.size()) {
        fail(Problem::Full, QStringLiteral("サーバーに残ったのは %1 バイトです（%2 バイトのうち）").arg(kept).arg(bytes.size()));
        m_answer = QString::fromUtf8(m_sizeAnswer);
        return abandon();
    }
    // Into place. A file already there is never removed before the new one is in: a server
    // that will not rename over it (every SFTP server, some FTP servers) has it moved aside
    // first and put back when the rename still fails.
    auto cutOff = [&] { return m_problem == Problem::Stopped || m_problem == Problem::Timeout; };
    m_renameReady = false;
    const bool triedDirect = !mayExist || !m_sftp;
    if (triedDirect) {
        if (rename(tempName, name, what))
            return true;
        if (cutOff())
            return false;
        // FTP: only when RNFR was taken and RNTO refused can a file at `name` be in the way.
        if (!m_sftp && !m_renameReady)
            return abandon();
    }
    const QString refusedError = m_error;
    const QString refusedAnswer = m_answer;
    const Problem refused = m_problem;
    auto refusal = [&] {
        if (triedDirect) {
            m_error = refusedError;
            m_answer = refusedAnswer;
            m_problem = refused;
        }
        return abandon();
    };
    const QString aside = folder + temporaryName();
    bool nothingThere = false;
    if (!rename(name, aside, what, &nothingThere))
        return cutOff() ? false : refusal();
    if (nothingThere) {
        // The refusal was not about a file in the way; or (SFTP) nothing is there after all.
        if (triedDirect)
            return refusal();
        if (rename(tempName, name, what))
            return true;
        return cutOff() ? false : abandon();
    }
    // The live file is aside now: a stop lets the steps that put a file back at `name` finish.
    const int allowed = m_afterStopMs;
    m_afterStopMs = qMax(allowed, 2000);
    struct Restore {
        std::atomic<int>& value;
        int was;
        ~Restore() { value = was; }
    } restore{m_afterStopMs, allowed};
    if (!rename(tempName, name, what)) {
        const QString error = m_error;
        const QString answer = m_answer;
        const Problem problem = m_problem;
        rename(aside, name, what);
        m_error = error;
        m_answer = answer;
        m_problem = problem;
        return cutOff() ? false : abandon();
    }
    // The new file is in place, whether or not the old one goes.
    if (command({(m_sftp ? QStringLiteral("rm ") : QStringLiteral("DELE ")) + commandPath(aside)}, what) || cutOff())
        return true;
    // What was in the way cannot be removed (a folder): all goes back as it was.
    const QString error = QStringLiteral("「%1」を置き換えられません（%2）").arg(name, m_error);
    const QString answer = m_answer;
    if (rename(name, tempName, what))
        rename(aside, name, what);
    fail(Problem::Other, error);
    m_answer = answer;
    return abandon();
}

bool CurlSession::append(const QString& name, const QByteArray& bytes)
{
    if (!ensureEntryPath())
        return false;
    m_upload = bytes;
    m_uploadPos = 0;
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(bytes.size()));
    setQuotes(nullptr, nullptr);
    const bool ok = perform(Step::Append, urlOf(name), QStringLiteral("「%1」への追記").arg(name));
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(m_curl, CURLOPT_APPEND, 0L);
    return ok;
}

bool CurlSession::remove(const QString& name)
{
    if (!ensureEntryPath())
        return false;
    if (command({(m_sftp ? QStringLiteral("rm ") : QStringLiteral("DELE ")) + commandPath(name)},
                QStringLiteral("「%1」の削除").arg(name)))
        return true;
    // Only a file that is not there; any other refusal (550 is also "permission denied") leaves
    // the file where it was.
    if ((m_problem == Problem::Other || m_problem == Problem::Denied) && saysNoSuchFile(m_error)) {
        m_error.clear();
        m_problem = Problem::None;
        return true;
    }
    return false;
}

bool CurlSession::rename(const QString& from, const QString& to, const QString& step, bool* missing)
{
    if (missing)
        *missing = false;
    if (!ensureEntryPath())
        return false;
    const QString what = step.isEmpty() ? QStringLiteral("「%1」の名前の変更").arg(to) : step;
    const bool ok = m_sftp
        ? command({QStringLiteral("rename ") + commandPath(from) + QLatin1Char(' ') + commandPath(to)}, what)
        : command({QStringLiteral("RNFR ") + commandPath(from), QStringLiteral("RNTO ") + commandPath(to)}, what);
    if (!ok && missing && (m_problem == Problem::Other || m_problem == Problem::Denied) && saysNoSuchFile(m_error)) {
        *missing = true;
        m_error.clear();
        m_problem = Problem::None;
        return true;
    }
    return ok;
}

bool CurlSession::removeQuietly(const QStringList& names)
{
    if (!ensureEntryPath())
        return false;
    QStringList commands;
    for (const QString& name : names)
        commands << (m_sftp ? QStringLiteral("*rm ") : QStringLiteral("*DELE ")) + commandPath(name);
    return commands.isEmpty() || command(commands, QStringLiteral("一時ファイルの削除"));
}

bool CurlSession::sizeOf(const QString& name, qint64* size)
{
    *size = -1;
    if (!ensureEntryPath())
        return false;
    setQuotes(nullptr, nullptr);
    const QString what = QStringLiteral("「%1」の確認").arg(name);
    const bool ok = perform(Step::Probe, urlOf(name), what);
    if (!ok) {
        if ((m_problem == Problem::Other || m_problem == Problem::Denied) && saysMissing(m_error)) {
            m_error.clear();
            m_problem = Problem::None;
            return true;
        }
        return false;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    *size = length >= 0 ? length : -2; // there, but the server does not say its size
    return true;
}

bool CurlSession::makeFolder(const QString& name, bool* exists)
{
    *exists = false;
    if (!ensureEntryPath())
        return false;
    const QString what = QStringLiteral("「%1」の作成").arg(name);
    if (command({(m_sftp ? QStringLiteral("mkdir ") : QStringLiteral("MKD ")) + commandPath(name)}, what))
        return true;
    if (m_problem == Problem::Other || m_problem == Problem::Denied) {
        // Refused: something is there already, or the server will not make it. Which, a read
        // of the folder tells.
        *exists = true;
    }
    return false;
}

bool CurlSession::removeFolder(const QString& name)
{
    if (!ensureEntryPath())
        return false;
    return command({(m_sftp ? QStringLiteral("rmdir ") : QStringLiteral("RMD ")) + commandPath(name)},
                   QStringLiteral("「%1」の削除").arg(name));
}

bool CurlSession::makeBaseFolders()
{
    if (!ensureEntryPath())
        return false;
    QStringList commands;
    const QString mkdir = m_sftp ? QStringLiteral("*mkdir ") : QStringLiteral("*MKD ");
    const QStringList parts = m_folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString base;
    if (m_sftp)
        base = m_homeRelative ? QString() : QStringLiteral("/");
    else
        base = m_entryPath.endsWith(QLatin1Char('/')) ? m_entryPath : m_entryPath + QLatin1Char('/');
    for (const QString& part : parts) {
        base += part;
        commands << mkdir + (m_sftp ? sftpQuoted(base) : base);
        base += QLatin1Char('/');
    }
    if (commands.isEmpty())
        return true;
    // The server's root: the folder itself may not be there yet.
    setQuotes(&commands, nullptr);
    QUrl root;
    root.setScheme(m_sftp ? QStringLiteral("sftp") : QStringLiteral("ftp"));
    root.setHost(m_options.url.host());
    root.setPort(m_options.url.port());
    root.setPath(m_homeRelative ? QStringLiteral("/~/") : QStringLiteral("/"));
    const bool ok = perform(Step::Command, root.toEncoded(), QStringLiteral("フォルダの作成"));
    setQuotes(nullptr, nullptr);
    return ok;
}

} // namespace qadora
