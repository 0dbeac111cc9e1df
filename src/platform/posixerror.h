// SPDX-License-Identifier: GPL-3.0-or-later
// errno as the platform layer reports failures; for the POSIX implementation only.
#pragma once

#include "platform/folder.h"

#include <cerrno>
#include <cstring>

namespace qadora::platform {

inline Error errorOf(int err)
{
    Failure failure = Failure::Other;
    switch (err) {
    case EEXIST: failure = Failure::Exists; break;
    case ENOSPC:
    case EDQUOT: failure = Failure::NoSpace; break;
    case EROFS: failure = Failure::ReadOnly; break;
    case EACCES:
    case EPERM: failure = Failure::Denied; break;
    case ENOENT: failure = Failure::Missing; break;
    case ENAMETOOLONG: failure = Failure::NameTooLong; break;
    case EISDIR: failure = Failure::IsFolder; break;
    default: break;
    }
    return {failure, QString::fromLocal8Bit(std::strerror(err))};
}

} // namespace qadora::platform
