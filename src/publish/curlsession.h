// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to the server of a publish, through libcurl, used by one thread: files are
// read, appended to, written under a fresh temporary name and renamed into place, and removed,
// relative to the folder of the URL. Transient failures (a dropped connection, a busy server)
// are retried. A step that hears nothing from the server for the deadline, or that is running
// when the publish is stopped, is cut off by a watchdog on another thread, which shuts the
// connection's sockets so that even libcurl's own blocking waits end at once.
#pragma once

#include "publisher.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <set>

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace qadora {

class CurlSession {
public:
    // `stop`: set by another thread to stop the publish; may be null.
    CurlSession(const PublishOptions& options, const std::atomic<bool>* stop);
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    enum class Problem { None, Connect, Login, TlsRequired, HostKey, Full, Denied, Timeout, Stopped, Other };

    // A file of the folder; `missing` when there is none (then true is returned). A file of
    // more than `limit` bytes is not read: false, with tooLarge().
    bool get(const QString& name, QByteArray* bytes, bool* missing, qint64 limit);
    bool tooLarge() const { return m_tooLarge; }
    // Writes the file under a fresh temporary name beside it (`temp`, a bare file name), checks
    // the size the server reports, then renames it into place. On any failure the file at
    // `name` is as it was and the temporary file is gone. `mayExist`: a file may be at `name`
    // (SFTP cannot rename over one, so it is moved aside first, and removed once the new one is
    // in place).
    bool put(const QString& name, const QString& temp, const QByteArray& bytes, bool mayExist);
    // Adds to the end of a file, which is made when missing.
    bool append(const QString& name, const QByteArray& bytes);
    // Removes a file; one that the server says is not there is no failure.
    bool remove(const QString& name);
    // Renames a file; `step` names it in a message about a silent server. With `missing`, a
    // file that the server says is not there is no failure: true, and `missing` is set.
    bool rename(const QString& from, const QString& to, const QString& step = QString(), bool* missing = nullptr);
    // Removes files in one go, whatever the server answers about each.
    bool removeQuietly(const QStringList& names);
    // The size of a file on an FTP server; -1 when there is none, -2 when the server does not
    // say.
    bool sizeOf(const QString& name, qint64* size);
    // Makes a folder; false with `exists` when something is already there.
    bool makeFolder(const QString& name, bool* exists);
    bool removeFolder(const QString& name);
    // Makes the folder of the URL and the folders above it, as far as missing.
    bool makeBaseFolders();

    // A fresh temporary name for a file beside `name`, as a bare file name.
    static QString temporaryName();
    static bool isTemporaryName(const QString& fileName);

    // An FTP server that did not say the size of a file it kept: what it kept was not checked.
    bool sizeUnchecked() const { return m_sizeUnchecked; }

    // Why the last operation failed, the server's own answer included.
    QString error() const { return m_error; }
    // The server's last answer to a failed operation (FTP), or libcurl's reason.
    QString serverAnswer() const { return m_answer; }
    Problem problem() const { return m_problem; }
    // The last operation met a host key that is not known; its fingerprint.
    bool unknownHostKey() const { return !m_unknownKey.isEmpty(); }
    QString unknownKeyFingerprint() const { return m_unknownKey; }
    bool hostKeyRefused() const { return !m_unknownKey.isEmpty() || !m_keyMismatch.isEmpty(); }
    bool loginDenied() const { return m_problem == Problem::Login; }

    // Steps of this session may go on past a stop request for at most `ms` each (putting the
    // record of what was sent and the lock in order after Cancel).
    void allowAfterStop(int ms) { m_afterStopMs = ms; }

    // The watchdog: cuts off a step that has heard nothing for the deadline, or that runs while
    // the publish is stopped. Called from another thread.
    void watch(qint64 nowMs);

    bool verbose() const { return m_options.verbose; }

    // Called by libcurl.
    int checkHostKey(const QByteArray& key, int match);
    void serverSaid(const QByteArray& line);
    void heard();
    qintptr openedSocket(qintptr fd);
    int closingSocket(qintptr fd);

    size_t readUpload(char* buffer, size_t size);
    size_t download(const char* data, size_t size);
    QByteArray m_sizeAnswer; // "213 N" after a SIZE
    bool m_renameReady = false; // "350": RNFR was taken

private:
    enum class Step { Get, Put, Append, Command, Probe };
    bool perform(Step step, const QByteArray& url, const QString& what);
    bool performOnce(Step step, const QByteArray& url, bool* transient);
    QByteArray urlOf(const QString& name) const;
    QString commandPath(const QString& name) const;
    bool command(const QStringList& commands, const QString& what);
    bool ensureEntryPath();
    void setQuotes(const QStringList* quote, const QStringList* postQuote);
    void fail(Problem problem, const QString& text);
    bool stopped() const;

    PublishOptions m_options;
    const std::atomic<bool>* m_stop;
    bool m_sftp = false;
    CURL* m_curl = nullptr;
    CURLM* m_multi = nullptr;
    QString m_folder;     // the URL's folder, without leading or trailing "/"
    bool m_homeRelative = false; // SFTP "/~/…": the folder is in the user's home
    QString m_entryPath;  // FTP: where the login puts us
    QString m_error;
    QString m_answer;
    Problem m_problem = Problem::None;
    QString m_unknownKey;
    QString m_keyMismatch; // a host key that differs from the known one: maybe not the server at all
    QByteArray m_lastAnswer;
    QByteArray m_download;
    qint64 m_downloadLimit = -1;
    bool m_tooLarge = false;
    bool m_sizeUnchecked = false;
    QByteArray m_upload;
    qsizetype m_uploadPos = 0;
    char m_curlError[256] = {};
    curl_slist* m_quote = nullptr;
    curl_slist* m_postQuote = nullptr;

    // Shared with the watchdog.
    std::atomic<qint64> m_heardAt{0};
    std::atomic<bool> m_busy{false};
    std::atomic<qint64> m_stepStart{0};
    std::atomic<int> m_cutOff{0}; // 1: nothing heard for the deadline, 2: stopped
    std::atomic<int> m_afterStopMs{0};
    std::mutex m_socketLock;
    std::set<qintptr> m_sockets; // libcurl's sockets (curl_socket_t)
    qintptr m_controlSocket = -1; // FTP: a connection's first socket, its control connection

    bool m_tls = false;     // FTPS
    Step m_step = Step::Command;
    // FTP: the server's reply to an upload that libcurl gave up on when the data connection
    // failed (the server had dropped it), read before the control connection was closed.
    QByteArray m_lateAnswer;
    void readLateAnswer(qintptr control);
    bool serverEndedUpload() const;
};

// Milliseconds of a steady clock, for the watchdog.
qint64 steadyMs();

} // namespace qadora
