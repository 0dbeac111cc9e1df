// SPDX-License-Identifier: GPL-3.0-or-later
// The session's file operations on the server: reads, uploads, renames, removals and folders.
#include "curlsession.h"

#include <curl/curl.h>

namespace qadora {

namespace {

// A path for the server's own commands, in double quotes where SFTP needs them.
QString sftpQuoted(const QString& path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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

} // namespace

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
