// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/instance.h"

#include "platform/platform.h"
#include "platform/windowsutil.h"

#include <memory>

namespace qadora::platform {

using namespace win;

namespace {

// The user of the process `pid`, compared with this process's user.
bool sameUser(DWORD pid)
{
    Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    HANDLE theirs = nullptr;
    HANDLE ours = nullptr;
    if (!process.valid() || !::OpenProcessToken(process.get(), TOKEN_QUERY, &theirs))
        return false;
    Handle theirToken(theirs);
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &ours))
        return false;
    Handle ourToken(ours);
    auto userOf = [](HANDLE token) {
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
        if (!size || !::GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
            buffer.reset();
        return buffer;
    };
    const auto a = userOf(theirToken.get());
    const auto b = userOf(ourToken.get());
    return a && b
        && ::EqualSid(reinterpret_cast<TOKEN_USER*>(a.get())->User.Sid, reinterpret_cast<TOKEN_USER*>(b.get())->User.Sid);
}

} // namespace

QString localServerPlace()
{
    const QString user = userKey();
    return user.isEmpty() ? QString() : QStringLiteral("qadora-") + user;
}

bool peerIsThisUser(qintptr descriptor)
{
    const HANDLE pipe = HANDLE(descriptor);
    DWORD flags = 0;
    ULONG pid = 0;
    if (!::GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr))
        return false;
    const BOOL known = (flags & PIPE_SERVER_END) ? ::GetNamedPipeClientProcessId(pipe, &pid)
                                                 : ::GetNamedPipeServerProcessId(pipe, &pid);
    return known && sameUser(pid);
}

InstanceClaim::~InstanceClaim()
{
    release();
}

bool InstanceClaim::claim(const QString& name)
{
    release();
    // "Local\": the session's namespace; the name holds the user's identifier already.
    QString mutexName = QStringLiteral("Local\\") + name;
    mutexName.replace(QLatin1Char('/'), QLatin1Char('-'));
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(mutexName.utf16()));
    if (!mutex)
        return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return false;
    }
    m_handle = qintptr(mutex);
    return true;
}

void InstanceClaim::release()
{
    if (m_handle)
        ::CloseHandle(HANDLE(m_handle));
    m_handle = 0;
}

} // namespace qadora::platform
