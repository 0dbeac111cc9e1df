// SPDX-License-Identifier: GPL-3.0-or-later
// Mirrors an output folder to a web server by FTP, FTPS (explicit TLS) or SFTP, so that the
// server's folder ends up holding exactly the site. Only what changed since the last publish
// to that place goes up, over a few connections at once, each file under a fresh temporary
// name renamed into place once the server holds all of it; what an earlier publish put there
// and the folder no longer has is removed, if it is still what was sent; nothing else on the
// server is touched. What was published is kept in a small record on the server, beside the
// pages, written as the publish goes (each name before its file is sent), so that another
// machine, or the next run after a crash, sees the same state. A lock folder beside it keeps
// two publishes from working on one place at once.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
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
    int connections = 4;   // files sent at once, 1 to 8
    int deadlineMs = 60000; // a step that hears nothing from the server this long fails
    // Which files of the folder go up, beyond the default (every regular file, but not
    // dot-files, databases, the list file or our own): shell patterns, matched against a name
    // without "/" component by component, otherwise against the whole relative name.
    QStringList include;
    QStringList exclude;
    // The first publish to a place sends files the site generator did not write only when
    // this is set; otherwise it lists them and stops (NeedsConfirmation).
    bool confirmed = false;
    bool dryRun = false;
    bool verbose = false; // the conversation with the server goes to standard error
    const std::atomic<bool>* stop = nullptr; // set by another thread: the publish stops
};

struct PublishResult {
    enum Code {
        Complete,
        Failed,            // `message` names the file and the server's answer
        Cancelled,
        UnknownHostKey,    // `fingerprint` is the key's; nothing was sent
        NeedsConfirmation, // `unconfirmed` lists files the site generator did not write
    };
    // What went wrong, for a message in the user's words.
    enum Problem { None, Connect, Login, TlsRequired, HostKey, Full, Denied, Timeout, Locked, LocalFile, Other };
    Code code = Complete;
    Problem problem = None;
    QString message;
    QString serverAnswer; // the server's own words, when it said something
    QString fingerprint;
    int uploaded = 0;
    int removed = 0;
    int unchanged = 0;
    QStringList changes;     // a dry run's plan: "upload NAME", "remove NAME"
    QStringList unconfirmed; // NeedsConfirmation: the files in question
    QStringList skipped;     // files of the folder not published: "NAME (why)"
    QStringList warnings;    // what was ignored or left alone on the server, and why

    // "uploaded N, removed M, unchanged K"
    QString summary() const;
    // 「送信 N、削除 M、変更なし K」
    QString summaryJa() const;
    // The failure in plain words (接続できません, ログインできません, 容量不足 …), without the
    // server's answer.
    QString headline() const;
};

// Told the files done of the files to do, and the file at hand; false stops the publish.
using PublishProgress = std::function<bool(int done, int total, const QString& file)>;

// The problem with `url` for publishing, or an empty string.
QString publishUrlProblem(const QUrl& url);

// The address as it may be shown or stored: without a password.
QString addressWithoutPassword(const QUrl& url);

PublishResult publishSite(const PublishOptions& options, const PublishProgress& progress = {});

// The record of what was published, on the server beside the pages.
inline const QString kPublishStateName = QStringLiteral(".qadora-published");
// Held by the publish at work there.
inline const QString kPublishLockName = QStringLiteral(".qadora-lock");

} // namespace qadora
