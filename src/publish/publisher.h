// SPDX-License-Identifier: GPL-3.0-or-later
// Mirrors an output folder to a web server by FTP, FTPS (explicit TLS) or SFTP. Only what
// changed since the last publish to that place goes up; what an earlier publish put there and
// the folder no longer has is removed; nothing else on the server is touched. What was
// published is kept in a small state file on the server, beside the pages, so that another
// machine publishing to the same place sees the same state.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace qadora {

struct PublishOptions {
    QString outDir;
    QUrl url;            // ftp://, ftps:// or sftp://user@host:port/folder
    QString password;    // empty: none (SFTP keys, an anonymous server)
    QString caFile;      // certificates that vouch for an FTPS server; empty: the system's
    QString knownHosts;  // SSH host keys; empty: ~/.ssh/known_hosts
    QString identity;    // SSH private key; empty: ~/.ssh/id_ed25519, id_ecdsa or id_rsa
    QString acceptHostKey; // "SHA256:…": this unknown host key is accepted (and remembered)
    bool dryRun = false;
    bool verbose = false; // the conversation with the server goes to standard error
};

struct PublishResult {
    enum Code {
        Complete,
        Failed,         // `message` names the file and the server's answer
        Cancelled,
        UnknownHostKey, // `fingerprint` is the key's; nothing was sent
    };
    Code code = Complete;
    QString message;
    QString fingerprint;
    int uploaded = 0;
    int removed = 0;
    int unchanged = 0;
    QStringList changes; // a dry run's plan: "upload NAME", "remove NAME"

    // "uploaded N, removed M, unchanged K"
    QString summary() const;
};

// Told the files done of the files to do, and the file at hand; false stops the publish.
using PublishProgress = std::function<bool(int done, int total, const QString& file)>;

// The problem with `url` for publishing, or an empty string.
QString publishUrlProblem(const QUrl& url);

PublishResult publishSite(const PublishOptions& options, const PublishProgress& progress = {});

// The state file's name on the server.
inline const QString kPublishStateName = QStringLiteral(".qadora-published");

} // namespace qadora
