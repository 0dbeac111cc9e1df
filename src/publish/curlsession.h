// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to the server of a publish, through libcurl: files are read, written under a
// temporary name and renamed into place, and removed, relative to the folder of the URL.
// Transient failures (a dropped connection, a busy server) are retried.
#pragma once

#include "publisher.h"

#include <QByteArray>
#include <QString>

typedef void CURL;
typedef void CURLM;

namespace qadora {

class CurlSession {
public:
    explicit CurlSession(const PublishOptions& options);
    ~CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    // A file of the folder; `missing` when there is none (then true is returned).
    bool get(const QString& name, QByteArray* bytes, bool* missing);
    // Writes the file under a temporary name beside it, then renames it into place; folders
    // that are missing are made.
    bool put(const QString& name, const QByteArray& bytes);
    // Removes a file of the folder; one that is not there is no failure.
    bool remove(const QString& name);

    // Why the last operation failed, the server's own answer included.
    QString error() const { return m_error; }
    // The last operation met a host key that is not known; its fingerprint.
    bool unknownHostKey() const { return !m_unknownKey.isEmpty(); }
    QString unknownKeyFingerprint() const { return m_unknownKey; }
    bool hostKeyRefused() const { return !m_unknownKey.isEmpty() || !m_keyMismatch.isEmpty(); }
    // The server refused the user name or the password.
    bool loginDenied() const { return m_loginDenied; }

    bool verbose() const { return m_options.verbose; }

    // Called by libcurl.
    int checkHostKey(const QByteArray& key, int match);
    void serverSaid(const QByteArray& line);

private:
    enum class Step { Get, Put, Command };
    bool perform(Step step, const QByteArray& url);
    bool performOnce(Step step, const QByteArray& url, bool* transient);
    QByteArray urlOf(const QString& name) const;
    QString commandPath(const QString& name) const;
    bool command(const QStringList& commands, const QByteArray& url);
    bool ensureEntryPath();

    PublishOptions m_options;
    bool m_sftp = false;
    CURL* m_curl = nullptr;
    CURLM* m_multi = nullptr;
    QString m_folder;     // the URL's folder, without leading or trailing "/"
    bool m_homeRelative = false; // SFTP "/~/…": the folder is in the user's home
    QString m_entryPath;  // FTP: where the login puts us
    QString m_error;
    QString m_unknownKey;
    QString m_keyMismatch; // a host key that differs from the known one: maybe not the server at all
    bool m_loginDenied = false;
    QByteArray m_lastAnswer;
    QByteArray m_download;
    QByteArray m_upload;
    qsizetype m_uploadPos = 0;
    char m_curlError[256] = {};
};

} // namespace qadora
