// SPDX-License-Identifier: GPL-3.0-or-later
#include "linuxprogram.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <utility>

namespace qadora::test {

namespace {

struct LauncherAddress {
    QString host;
    quint16 port = 0;
    QString token;
};

// "127.0.0.1:PORT:TOKEN", as test.sh passes it on.
LauncherAddress launcher()
{
    const QStringList parts = qEnvironmentVariable("QADORA_LINUX_LAUNCHER").split(QLatin1Char(':'));
    if (parts.size() != 3)
        return {};
    return {parts[0], quint16(parts[1].toUInt()), parts[2]};
}

bool underWine()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

} // namespace

// The connection to the launcher, and what came back on it.
struct LinuxProgram::Remote {
    QTcpSocket socket;
    QByteArray received; // not yet parsed
    QByteArray output;   // the program's, not yet read
    qint64 pid = -1;
    bool failed = false;
    bool finished = false;
    int exitCode = -1;

    // Parses what has arrived; false when a frame is still incomplete.
    void parse()
    {
        for (;;) {
            const qsizetype eol = received.indexOf('\n');
            if (eol < 0)
                return;
            const QByteArray head = received.left(eol);
            const char kind = head.isEmpty() ? 0 : head.at(0);
            const QByteArray value = head.mid(2);
            if (kind == 'O') {
                const qsizetype length = value.toLongLong();
                if (received.size() < eol + 1 + length)
                    return;
                output += received.mid(eol + 1, length);
                received.remove(0, eol + 1 + length);
                continue;
            }
            received.remove(0, eol + 1);
            if (kind == 'P')
                pid = value.toLongLong();
            else if (kind == 'X')
                finished = true, exitCode = value.toInt();
            else
                failed = true, finished = true, qWarning("the launcher: %s", value.constData());
        }
    }
    // Waits until `done` holds, or the time is up or the connection gone.
    template<typename F>
    bool waitFor(F done, int msecs)
    {
        QDeadlineTimer deadline(msecs);
        parse();
        while (!done()) {
            if (socket.state() != QAbstractSocket::ConnectedState && !socket.bytesAvailable())
                return done();
            if (!socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1))) && deadline.hasExpired())
                return done();
            received += socket.readAll();
            parse();
        }
        return true;
    }
};

LinuxProgram::LinuxProgram() = default;

LinuxProgram::~LinuxProgram()
{
    kill();
    waitForFinished();
}

void LinuxProgram::setStandardErrorFile(const QString& path)
{
    m_stderrFile = path;
    m_process.setStandardErrorFile(path, QIODevice::Append);
}

void LinuxProgram::setWorkingDirectory(const QString& dir)
{
    m_process.setWorkingDirectory(dir);
}

void LinuxProgram::start(const QString& program, const QStringList& arguments)
{
    if (!underWine()) {
        m_process.start(program, arguments);
        return;
    }
    m_remote = std::make_unique<Remote>();
    const LauncherAddress at = launcher();
    m_remote->socket.connectToHost(at.host, at.port);
    if (!m_remote->socket.waitForConnected(10000)) {
        m_remote->failed = m_remote->finished = true;
        return;
    }
    QJsonObject request{{"token", at.token}, {"program", program}, {"args", QJsonArray::fromStringList(arguments)},
                        {"cwd", m_process.workingDirectory()}};
    if (!m_stderrFile.isEmpty())
        request.insert("stderr", m_stderrFile);
    m_remote->socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    m_remote->socket.flush();
}

bool LinuxProgram::waitForStarted(int msecs)
{
    if (!m_remote)
        return m_process.waitForStarted(msecs);
    return m_remote->waitFor([this] { return m_remote->pid >= 0 || m_remote->failed; }, msecs) && !m_remote->failed;
}

bool LinuxProgram::waitForReadyRead(int msecs)
{
    if (!m_remote)
        return m_process.waitForReadyRead(msecs);
    return m_remote->waitFor([this] { return !m_remote->output.isEmpty() || m_remote->finished; }, msecs)
        && !m_remote->output.isEmpty();
}

QByteArray LinuxProgram::readLine()
{
    if (!m_remote)
        return m_process.readLine();
    const qsizetype eol = m_remote->output.indexOf('\n');
    const QByteArray line = m_remote->output.left(eol < 0 ? m_remote->output.size() : eol + 1);
    m_remote->output.remove(0, line.size());
    return line;
}

QByteArray LinuxProgram::readAllStandardOutput()
{
    if (!m_remote)
        return m_process.readAllStandardOutput();
    m_remote->waitFor([] { return false; }, 0);
    return std::exchange(m_remote->output, {});
}

bool LinuxProgram::waitForFinished(int msecs)
{
    if (!m_remote)
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(msecs);
    return m_remote->waitFor([this] { return m_remote->finished; }, msecs);
}

int LinuxProgram::exitCode() const
{
    if (!m_remote)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    return m_remote->exitCode;
}

qint64 LinuxProgram::processId() const
{
    return m_remote ? m_remote->pid : m_process.processId();
}

void LinuxProgram::kill()
{
    if (!m_remote) {
        m_process.kill();
        return;
    }
    // The launcher kills the program, and all it started, when the connection ends.
    m_remote->socket.disconnectFromHost();
    if (m_remote->socket.state() != QAbstractSocket::UnconnectedState)
        m_remote->socket.waitForDisconnected(5000);
    m_remote->finished = true;
}

bool linuxProgramsStart()
{
    return !underWine() || launcher().port != 0;
}

int runLinuxProgram(const QString& program, const QStringList& arguments, QByteArray* output, int msecs)
{
    LinuxProgram p;
    p.start(program, arguments);
    if (!p.waitForStarted() || !p.waitForFinished(msecs))
        return -1;
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitCode();
}

QString linuxPath(const QString& path)
{
    if (!underWine())
        return path;
    // The launcher turns a path with a drive letter into the Linux one; realpath says which.
    QByteArray out;
    if (runLinuxProgram(QStringLiteral("realpath"), {QStringLiteral("-m"), path}, &out) != 0)
        return QString();
    return QString::fromUtf8(out).trimmed();
}

} // namespace qadora::test
