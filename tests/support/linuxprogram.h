// SPDX-License-Identifier: GPL-3.0-or-later
// The real other side as a Linux program (pyftpdlib, sshd, ssh-keygen, openssl): started here
// as a child; under Wine, which starts no Linux program, by the launcher scripts/windows/test.sh
// runs on the Linux side (tests/support/linuxlauncher.py), at the address in
// QADORA_LINUX_LAUNCHER. Either way the program runs on this machine and sees its files.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace qadora::test {

class LinuxProgram {
public:
    LinuxProgram();
    ~LinuxProgram(); // kills the program
    LinuxProgram(const LinuxProgram&) = delete;
    LinuxProgram& operator=(const LinuxProgram&) = delete;

    // Its standard error is appended to `path`; without, it is dropped.
    void setStandardErrorFile(const QString& path);
    void setWorkingDirectory(const QString& dir);
    void start(const QString& program, const QStringList& arguments);
    bool waitForStarted(int msecs = 30000);
    bool waitForReadyRead(int msecs = 30000);
    QByteArray readLine();
    QByteArray readAllStandardOutput();
    bool waitForFinished(int msecs = 30000);
    int exitCode() const;
    // Its process id on the Linux side.
    qint64 processId() const;
    void kill();

private:
    struct Remote;
    QProcess m_process;
    QString m_stderrFile;
    std::unique_ptr<Remote> m_remote; // under Wine
};

// Whether Linux programs can be started: always on Linux; under Wine while test.sh's launcher
// runs.
bool linuxProgramsStart();
// Runs `program` to its end: its exit code, -1 when it did not start or end in time; what it
// wrote to standard output in `output`.
int runLinuxProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
                    int msecs = 60000);
// `path` as Linux programs name it: itself on Linux; under Wine the Unix path of a Windows one.
QString linuxPath(const QString& path);

} // namespace qadora::test

// The current test needs Linux programs (servers on 127.0.0.1, ssh-keygen): under Wine it
// skips when no launcher runs on the Linux side to start them.
#ifdef Q_OS_WIN
#define QADORA_NEEDS_LINUX_PROGRAMS()                                                              \
    do {                                                                                           \
        if (!qadora::test::linuxProgramsStart())                                                   \
            QSKIP("no launcher of Linux programs (QADORA_LINUX_LAUNCHER, which scripts/windows/test.sh sets)"); \
    } while (false)
#else
#define QADORA_NEEDS_LINUX_PROGRAMS() do { } while (false)
#endif
