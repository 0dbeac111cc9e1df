// SPDX-License-Identifier: GPL-3.0-or-later
// The session's connections: what the server says, the sockets libcurl opens, and the watch that
// cuts off a server gone silent.
#include "curlsession.h"

#include "platform/platform.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace qadora {

void CurlSession::serverSaid(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    m_lastAnswer = trimmed;
    if (trimmed.startsWith("213 "))
        m_sizeAnswer = trimmed;
    if (trimmed.startsWith("350 "))
        m_renameReady = true;
}

void CurlSession::heard()
{
    m_heardAt = steadyMs();
}

qintptr CurlSession::openedSocket(qintptr fd)
{
    std::lock_guard lock(m_socketLock);
    if (m_sockets.empty())
        m_controlSocket = fd;
    m_sockets.insert(fd);
    return fd;
}

int CurlSession::closingSocket(qintptr fd)
{
    // A server that drops the data connection of an upload (its disk full, say) says why on
    // the control connection, but libcurl closes that without reading on once a send on the
    // data connection has failed: the reply is read here first. Over TLS libcurl has ended
    // the session before this, and the reply is lost.
    if (fd == m_controlSocket && !m_sftp && !m_tls && m_busy && !m_cutOff
        && (m_step == Step::Put || m_step == Step::Append) && m_lastAnswer.startsWith('1'))
        readLateAnswer(fd);
    std::lock_guard lock(m_socketLock);
    m_sockets.erase(fd);
    if (fd == m_controlSocket)
        m_controlSocket = -1;
    return platform::closeSocket(fd);
}

void CurlSession::readLateAnswer(qintptr control)
{
    // The reply comes as the data connection is dropped; a few seconds are ample.
    const qint64 until = steadyMs() + qMin<qint64>(m_options.deadlineMs, 5000);
    QByteArray got;
    char buffer[1024];
    while (got.size() < 8192 && !m_cutOff) {
        const qint64 left = until - steadyMs();
        if (left <= 0 || !platform::waitForInput(control, int(left)))
            return;
        const int n = platform::receiveNow(control, buffer, int(sizeof buffer));
        if (n <= 0)
            return;
        got.append(buffer, n);
        heard();
        // The final line of a reply: three digits and a space (those of a longer one have "-").
        QList<QByteArray> lines = got.split('\n');
        lines.removeLast(); // not ended yet
        for (const QByteArray& line : std::as_const(lines)) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.size() >= 4 && trimmed[3] == ' ' && std::isdigit(uchar(trimmed[0]))
                && std::isdigit(uchar(trimmed[1])) && std::isdigit(uchar(trimmed[2]))) {
                if (verbose())
                    std::fprintf(stderr, "< %s\r\n", trimmed.constData());
                m_lateAnswer = trimmed;
                return;
            }
        }
    }
}

bool CurlSession::serverEndedUpload() const
{
    // Between the server's "150" and the end of the upload it has nothing to say but why it
    // stopped taking the file.
    return !m_sftp && m_controlSocket != -1 && platform::waitForInput(m_controlSocket, 0);
}

size_t CurlSession::readUpload(char* buffer, size_t size)
{
    if (m_cutOff)
        return CURL_READFUNC_ABORT;
    // The upload ends here, and libcurl reads the server's reply as after any upload, rather
    // than sending on into a connection the server is about to drop.
    if (m_uploadPos > 0 && serverEndedUpload())
        return 0;
    const qsizetype n = qMin(qsizetype(size), m_upload.size() - m_uploadPos);
    memcpy(buffer, m_upload.constData() + m_uploadPos, size_t(n));
    m_uploadPos += n;
    return size_t(n);
}

size_t CurlSession::download(const char* data, size_t size)
{
    // A file larger than asked for is not read on: a hostile server could send gigabytes.
    if (m_downloadLimit >= 0 && m_download.size() + qint64(size) > m_downloadLimit) {
        m_tooLarge = true;
        return 0;
    }
    m_download.append(data, qsizetype(size));
    return size;
}

bool CurlSession::stopped() const
{
    return m_stop && m_stop->load();
}

void CurlSession::watch(qint64 nowMs)
{
    if (!m_busy || m_cutOff)
        return;
    int reason = 0;
    if (stopped() && (m_afterStopMs <= 0 || nowMs - m_stepStart > m_afterStopMs))
        reason = 2;
    else if (nowMs - m_heardAt > m_options.deadlineMs)
        reason = 1;
    if (!reason)
        return;
    m_cutOff = reason;
    // Shut, not closed: the descriptors stay libcurl's until it closes them itself.
    std::lock_guard lock(m_socketLock);
    for (const qintptr fd : m_sockets)
        platform::shutdownSocket(fd);
}

} // namespace qadora
