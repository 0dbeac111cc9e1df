// SPDX-License-Identifier: GPL-3.0-or-later
// OpenSSH's known_hosts, read as OpenSSH reads it (comments, hashed names, patterns, and lines
// it cannot parse are passed over) and added to by appending one line, so that nothing else in
// the file ever changes.
#pragma once

#include <QByteArray>
#include <QString>

namespace qadora {

enum class HostKeyMatch { Known, Missing, Mismatch, Revoked };

// `blob`: the server's public key as the SSH protocol sends it (its type name first).
HostKeyMatch matchHostKey(const QString& knownHostsFile, const QString& host, int port, const QByteArray& blob);

// Appends one line for the key; every byte already in the file stays as it was. The file and
// its folder are made (only the owner may read them) when missing.
bool rememberHostKey(const QString& knownHostsFile, const QString& host, int port, const QByteArray& blob,
                     QString* error);

// "SHA256:…" as ssh-keygen -l shows it.
QString hostKeyFingerprint(const QByteArray& blob);

} // namespace qadora
