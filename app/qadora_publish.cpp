// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-publish: mirrors a site folder to a web server by FTP, FTPS or SFTP.
#include "publish/publisher.h"

#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

#include <termios.h>
#include <unistd.h>

namespace {

int usageError(const QString& text)
{
    return qadora::cli::usageError(QStringLiteral("qadora-publish"), text);
}

// A password typed at the terminal, without echo.
QString promptPassword(const QString& prompt)
{
    QTextStream err(stderr);
    err << prompt;
    err.flush();
    termios old {};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        termios silent = old;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    QTextStream in(stdin);
    const QString password = in.readLine();
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    err << '\n';
    return password;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qadora-publish"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Mirrors the site in OUTDIR to the folder of URL on a web server:\n"
        "  ftp://[USER@]HOST[:PORT]/FOLDER     FTP\n"
        "  ftps://[USER@]HOST[:PORT]/FOLDER    FTP with explicit TLS (AUTH TLS)\n"
        "  sftp://[USER@]HOST[:PORT]/FOLDER    SFTP (/~/FOLDER: a folder in the user's home)\n"
        "Only files that changed since the last publish to that place go up, each under a\n"
        "temporary name renamed into place; files an earlier publish sent that OUTDIR no longer\n"
        "has are removed; nothing else on the server is touched. What was published is kept on\n"
        "the server in the file .qadora-published beside the pages.\n"
        "The password comes from QADORA_PUBLISH_PASSWORD, --password-file, or a prompt on a\n"
        "terminal; SFTP also uses ssh-agent and the keys in ~/.ssh.\n"
        "Standard output lists a dry run's changes and ends with: uploaded N, removed M, unchanged K.\n"
        "Exit status: 0 after a complete mirror, 1 on a failure, 2 on a usage error."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("Read the password from the first line of FILE."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"),
                                    QStringLiteral("Certificates (PEM) that vouch for an FTPS server; default: the system's."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption knownHosts(QStringLiteral("known-hosts"),
                                        QStringLiteral("SSH host keys; default ~/.ssh/known_hosts."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption identity(QStringLiteral("identity"),
                                      QStringLiteral("SSH private key; default ~/.ssh/id_ed25519, id_ecdsa or id_rsa."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption acceptHostKey(QStringLiteral("accept-host-key"),
                                           QStringLiteral("Accept this unknown SSH host key and remember it in the "
                                                          "known hosts (its fingerprint, as the refusal shows it)."),
                                           QStringLiteral("SHA256:..."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("List what would be uploaded and removed; change nothing."));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("No progress line (shown on a terminal only)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Show the conversation with the server on standard error."));
    parser.addOptions({help, passwordFile, caFile, knownHosts, identity, acceptHostKey, dryRun, quiet, verbose});
    parser.addPositionalArgument(QStringLiteral("OUTDIR"), QStringLiteral("The site folder."));
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("Where to publish it."));

    if (const auto done = qadora::cli::parseArguments(parser, help, QStringLiteral("qadora-publish"), QStringLiteral("OUTDIR and URL")))
        return *done;
    const QStringList args = parser.positionalArguments();
    if (!QFileInfo(args[0]).isDir())
        return usageError(QStringLiteral("OUTDIR is not a directory: %1").arg(args[0]));
    qadora::PublishOptions options;
    options.outDir = args[0];
    options.url = QUrl(args[1], QUrl::StrictMode);
    if (const QString problem = qadora::publishUrlProblem(options.url); !problem.isEmpty())
        return usageError(QStringLiteral("URL: %1").arg(args[1]));
    options.caFile = parser.value(caFile);
    options.knownHosts = parser.value(knownHosts);
    options.identity = parser.value(identity);
    options.acceptHostKey = parser.value(acceptHostKey);
    options.dryRun = parser.isSet(dryRun);
    options.verbose = parser.isSet(verbose);

    QTextStream err(stderr);
    err.setEncoding(QStringConverter::Utf8);
    const bool sftp = options.url.scheme().toLower() == QLatin1String("sftp");
    if (qEnvironmentVariableIsSet("QADORA_PUBLISH_PASSWORD")) {
        options.password = qEnvironmentVariable("QADORA_PUBLISH_PASSWORD");
    } else if (parser.isSet(passwordFile)) {
        QFile file(parser.value(passwordFile));
        if (!file.open(QIODevice::ReadOnly))
            return usageError(QStringLiteral("cannot read the password file %1").arg(file.fileName()));
        options.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else if (!sftp && !options.url.userName().isEmpty() && ::isatty(STDIN_FILENO)) {
        options.password = promptPassword(QStringLiteral("%1@%2 のパスワード: ").arg(options.url.userName(), options.url.host()));
    }

    qadora::cli::ProgressLine line(err, !parser.isSet(quiet));
    qadora::PublishProgress progress;
    if (line.enabled()) {
        progress = [&](int done, int total, const QString&) {
            line.show(done, total);
            return true;
        };
    }
    qadora::PublishResult result = qadora::publishSite(options, progress);
    // SFTP: keys first; a password typed at the terminal when they were not enough.
    if (sftp && result.code == qadora::PublishResult::Failed && options.password.isEmpty() && ::isatty(STDIN_FILENO)
        && result.message.contains(QStringLiteral("ログインできませんでした"))) {
        line.clear();
        options.password = promptPassword(QStringLiteral("%1@%2 のパスワード: ").arg(options.url.userName(), options.url.host()));
        result = qadora::publishSite(options, progress);
    }
    line.clear();
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    for (const QString& change : std::as_const(result.changes))
        out << change << '\n';
    out.flush();
    if (result.code != qadora::PublishResult::Complete) {
        err << QString(result.message).replace(QLatin1Char('\r'), QLatin1Char('\n')) << '\n';
        if (result.code == qadora::PublishResult::UnknownHostKey)
            err << QStringLiteral("受け入れるには --accept-host-key %1 を付けて下さい").arg(result.fingerprint) << '\n';
    }
    err.flush();
    out << result.summary() << '\n';
    out.flush();
    return result.code == qadora::PublishResult::Complete ? 0 : 1;
}
