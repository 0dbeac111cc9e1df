// SPDX-License-Identifier: GPL-3.0-or-later
#include "curlsession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <curl/curl.h>

#include <cstdio>

namespace qadora {

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

size_t appendBody(char* data, size_t size, size_t count, void* target)
{
    static_cast<QByteArray*>(target)->append(data, qsizetype(size * count));
    return size * count;
}

struct Upload {
    const QByteArray* bytes;
    qsizetype* position;
};

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* session)
{
    auto* s = static_cast<CurlSession*>(session);
    if (type == CURLINFO_HEADER_IN)
        s->serverSaid(QByteArray(data, qsizetype(size)));
    if (s->verbose() && (type == CURLINFO_TEXT || type == CURLINFO_HEADER_IN || type == CURLINFO_HEADER_OUT)) {
        const char* mark = type == CURLINFO_HEADER_IN ? "< " : type == CURLINFO_HEADER_OUT ? "> " : "* ";
        std::fputs(mark, stderr);
        std::fwrite(data, 1, size, stderr);
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

// A path for the server's own commands, in double quotes where SFTP needs them.
QString sftpQuoted(const QString& path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

struct SList {
    curl_slist* list = nullptr;
    explicit SList(const QStringList& lines)
    {
        for (const QString& line : lines)
            list = curl_slist_append(list, line.toUtf8().constData());
    }
    ~SList() { curl_slist_free_all(list); }
};

// The same name for the same file every time, so that a publish cut short leaves no stray
// file behind once the next publish has sent that file again.
QString temporaryName(const QString& name)
{
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    const QByteArray token = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return name.left(slash + 1) + QStringLiteral(".qadora-up-") + QString::fromLatin1(token) + QStringLiteral(".tmp");
}

bool saysMissing(const QString& answer)
{
    const QString a = answer.toLower();
    return a.contains(QLatin1String("no such file")) || a.contains(QLatin1String("not found"))
        || a.contains(QLatin1String("does not exist"));
}

} // namespace

CurlSession::CurlSession(const PublishOptions& options)
    : m_options(options)
{
    initCurlOnce();
    m_curl = curl_easy_init();
    m_multi = curl_multi_init();
    const QString scheme = options.url.scheme().toLower();
    m_sftp = scheme == QLatin1String("sftp");
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

    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_curlError);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, 20L);
    // A transfer that stalls for a minute has failed.
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    const QString user = options.url.userName();
    if (!user.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
    const QString password = options.password.isEmpty() ? options.url.password() : options.password;
    if (!password.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    if (scheme == QLatin1String("ftps"))
        curl_easy_setopt(m_curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!options.caFile.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, QFile::encodeName(options.caFile).constData());
    curl_easy_setopt(m_curl, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
    if (m_sftp) {
        curl_easy_setopt(m_curl, CURLOPT_SSH_AUTH_TYPES,
                         long(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT | CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        const QString knownHosts = options.knownHosts.isEmpty() ? QDir::home().filePath(QStringLiteral(".ssh/known_hosts"))
                                                                : options.knownHosts;
        if (!options.acceptHostKey.isEmpty())
            QDir().mkpath(QFileInfo(knownHosts).path());
        curl_easy_setopt(m_curl, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(knownHosts).constData());
        curl_easy_setopt(m_curl, CURLOPT_SSH_KEYFUNCTION, onHostKey);
        curl_easy_setopt(m_curl, CURLOPT_SSH_KEYDATA, this);
        QString identity = options.identity;
        for (const char* name : {".ssh/id_ed25519", ".ssh/id_ecdsa", ".ssh/id_rsa"}) {
            if (identity.isEmpty() && QFileInfo::exists(QDir::home().filePath(QLatin1String(name))))
                identity = QDir::home().filePath(QLatin1String(name));
        }
        if (!identity.isEmpty()) {
            curl_easy_setopt(m_curl, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(identity).constData());
            // Empty: the public key is taken from the private one.
            curl_easy_setopt(m_curl, CURLOPT_SSH_PUBLIC_KEYFILE, "");
        }
    }
}

CurlSession::~CurlSession()
{
    curl_multi_cleanup(m_multi);
    curl_easy_cleanup(m_curl);
}

int CurlSession::checkHostKey(const QByteArray& key, int match)
{
    if (match == CURLKHMATCH_OK)
        return CURLKHSTAT_FINE;
    const QString fingerprint = QStringLiteral("SHA256:")
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals));
    if (match == CURLKHMATCH_MISSING && !m_options.acceptHostKey.isEmpty() && m_options.acceptHostKey == fingerprint)
        return CURLKHSTAT_FINE_ADD_TO_FILE;
    if (match == CURLKHMATCH_MISMATCH)
        m_keyMismatch = fingerprint;
    else
        m_unknownKey = fingerprint;
    return CURLKHSTAT_REJECT;
}

void CurlSession::serverSaid(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.isEmpty())
        m_lastAnswer = trimmed;
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
    url.setPath(path + name);
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
        base += m_folder + QLatin1Char('/');
    const QString path = base + name;
    return m_sftp ? sftpQuoted(path) : path;
}

bool CurlSession::performOnce(Step step, const QByteArray& url, bool* transient)
{
    *transient = false;
    m_curlError[0] = '\0';
    m_lastAnswer.clear();
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, long(step == Step::Put));
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, long(step == Step::Command));
    // Driven here rather than by curl_easy_perform(): libcurl 7.88 sometimes sees an FTP data
    // connection's progress only when its own wait of a second runs out, which made every
    // page cost up to a second. Waiting a few milliseconds at a time keeps a publish of
    // thousands of pages in seconds. The multi handle keeps the connection between files.
    curl_multi_add_handle(m_multi, m_curl);
    int running = 1;
    CURLMcode multiCode = CURLM_OK;
    while (multiCode == CURLM_OK) {
        multiCode = curl_multi_perform(m_multi, &running);
        if (running == 0 || multiCode != CURLM_OK)
            break;
        multiCode = curl_multi_poll(m_multi, nullptr, 0, 5, nullptr);
    }
    CURLcode code = multiCode == CURLM_OK ? CURLE_OK : CURLE_SEND_ERROR;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
            code = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    if (code == CURLE_OK)
        return true;
    long response = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &response);
    m_loginDenied = code == CURLE_LOGIN_DENIED || (m_sftp && code == CURLE_AUTH_ERROR);
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_CANT_GET_HOST:
        *transient = true;
        break;
    default:
        // A busy or briefly unwell FTP server says so with a 4xx answer.
        *transient = !m_sftp && (response == 421 || response == 425 || response == 426 || response == 450 || response == 451);
        break;
    }
    QString answer = QString::fromUtf8(m_lastAnswer);
    const QString detail = QString::fromUtf8(m_curlError[0] ? m_curlError : curl_easy_strerror(code));
    m_error = answer.isEmpty() ? detail : answer + QStringLiteral("（") + detail + QStringLiteral("）");
    return false;
}

bool CurlSession::perform(Step step, const QByteArray& url)
{
    m_error.clear();
    m_unknownKey.clear();
    m_keyMismatch.clear();
    for (int attempt = 1;; ++attempt) {
        bool transient = false;
        if (performOnce(step, url, &transient))
            return true;
        if (!m_keyMismatch.isEmpty())
            m_error = QStringLiteral("サーバーのホスト鍵が登録されている鍵と違います。接続しませんでした") + QLatin1Char('\r')
                + m_keyMismatch;
        if (!m_unknownKey.isEmpty() || !m_keyMismatch.isEmpty() || !transient || attempt == kAttempts)
            return false;
        QThread::msleep(500 * attempt);
        if (step == Step::Put)
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
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    if (!perform(Step::Command, root.toEncoded()))
        return false;
    char* entry = nullptr;
    curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entry);
    m_entryPath = entry ? QString::fromUtf8(entry) : QStringLiteral("/");
    if (!m_entryPath.startsWith(QLatin1Char('/')))
        m_entryPath.prepend(QLatin1Char('/'));
    return true;
}

bool CurlSession::get(const QString& name, QByteArray* bytes, bool* missing)
{
    *missing = false;
    if (!ensureEntryPath())
        return false;
    m_download.clear();
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_download);
    const bool ok = perform(Step::Get, urlOf(name));
    if (!ok) {
        long response = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &response);
        // No such file, or (FTP) no such folder yet: nothing was published here.
        if (!hostKeyRefused() && !m_loginDenied && (response == 550 || saysMissing(m_error))) {
            *missing = true;
            m_error.clear();
            return true;
        }
        return false;
    }
    *bytes = m_download;
    return true;
}

bool CurlSession::command(const QStringList& commands, const QByteArray& url)
{
    const SList list(commands);
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, list.list);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    const bool ok = perform(Step::Command, url);
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    return ok;
}

bool CurlSession::put(const QString& name, const QByteArray& bytes)
{
    if (!ensureEntryPath())
        return false;
    const QString temp = temporaryName(name);
    m_upload = bytes;
    m_uploadPos = 0;
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, +[](char* buffer, size_t size, size_t count, void* self) -> size_t {
        auto* s = static_cast<CurlSession*>(self);
        const qsizetype n = qMin(qsizetype(size * count), s->m_upload.size() - s->m_uploadPos);
        memcpy(buffer, s->m_upload.constData() + s->m_uploadPos, size_t(n));
        s->m_uploadPos += n;
        return size_t(n);
    });
    curl_easy_setopt(m_curl, CURLOPT_READDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(bytes.size()));
    // Into place by a rename, so that no visitor ever gets half a page. An SFTP server keeps
    // an existing file from being renamed over, so that one goes first.
    const QStringList rename = m_sftp
        ? QStringList{QStringLiteral("*rm ") + commandPath(name),
                      QStringLiteral("rename ") + commandPath(temp) + QLatin1Char(' ') + commandPath(name)}
        : QStringList{QStringLiteral("RNFR ") + commandPath(temp), QStringLiteral("RNTO ") + commandPath(name)};
    const SList post(rename);
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, post.list);
    bool ok = perform(Step::Put, urlOf(temp));
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
    if (ok || hostKeyRefused() || m_loginDenied)
        return ok;
    // Some FTP servers refuse to rename over a file: remove it, then rename. If that fails
    // too, the temporary file goes.
    const QString firstError = m_error;
    if (!m_sftp)
        ok = command({QStringLiteral("*DELE ") + commandPath(name), QStringLiteral("RNFR ") + commandPath(temp),
                      QStringLiteral("RNTO ") + commandPath(name)},
                     urlOf(QString()));
    if (!ok) {
        command({(m_sftp ? QStringLiteral("*rm ") : QStringLiteral("*DELE ")) + commandPath(temp)}, urlOf(QString()));
        m_error = firstError;
    }
    return ok;
}

bool CurlSession::remove(const QString& name)
{
    if (!ensureEntryPath())
        return false;
    if (command({(m_sftp ? QStringLiteral("rm ") : QStringLiteral("DELE ")) + commandPath(name)}, urlOf(QString())))
        return true;
    if (!hostKeyRefused() && !m_loginDenied && saysMissing(m_error)) {
        m_error.clear();
        return true;
    }
    return false;
}

} // namespace qadora
