// SPDX-License-Identifier: GPL-3.0-or-later
// The password for publishing: kept in the desktop's keyring only when the user asked and a
// keyring is there, otherwise in memory for the rest of the session once a server took it;
// asked for when a login needs one and none is known.
#pragma once

#include "publish/publisher.h"

#include <QString>

namespace qadora {

class Interaction;

inline const QString kPublishKeyringService = QStringLiteral("Qadora");
// The keyring's name for the password of `user` on `host`.
QString publishKeyringKey(const QString& user, const QString& host);

// The password for publishing with `options`, into `options->password`: one already there, the
// one the server took earlier in this session, the keyring's, or asked for through
// `interaction` when the login needs one (FTP and FTPS with a user; SFTP tries its keys
// first). False when the user cancelled.
bool obtainPublishPassword(PublishOptions* options, Interaction* interaction);
// Asks through `interaction` for the password of `options`' user; false when cancelled.
bool askPublishPassword(PublishOptions* options, Interaction* interaction);
// After a publish: a password the server took is kept for the rest of the session (in memory
// only); one it refused is forgotten, so that the next publish asks again.
void notePublishLogin(const PublishOptions& options, const PublishResult& result);
// True when the desktop has a keyring that can keep a password (a Secret Service, KWallet).
bool keyringAvailable();

// The password the keyring holds for these options, when the user asked to remember it.
QString rememberedPublishPassword(const PublishOptions& options);
// The password a server took for these options earlier in this session, or empty.
QString sessionPublishPassword(const PublishOptions& options);
// What ticking 記憶する says where there is no keyring.
QString noKeyringText();

} // namespace qadora
