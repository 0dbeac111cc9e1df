// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-publish: mirrors a site folder to a web server by FTP, FTPS or SFTP.
#include "publish/publisher.h"

#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "platform/console.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_stop{false};

// Ctrl-C while publishing: the publish stops and puts its record in order.
void stopPublishing()
{
    g_stop = true;
}

int usageError(const QString& text)
{
    return qadora::cli::usageError(QStringLiteral("qadora-publish"), text);
}

// The URL as typed, but never with its password, even when it cannot be read as a URL: what
// lies between "://" and the last "@" after the user's name goes.
QString withoutPassword(const QString& typed)
{
    const QUrl url(typed, QUrl::StrictMode);
    if (url.isValid())
        return url.password().isEmpty() ? typed : qadora::addressWithoutPassword(url);
    const qsizetype start = typed.indexOf(QLatin1String("://"));
    const qsizetype at = typed.lastIndexOf(QLatin1Char('@'));
    if (start < 0 || at < start)
        return typed;
    const qsizetype colon = typed.indexOf(QLatin1Char(':'), start + 3);
    return colon >= 0 && colon < at ? typed.left(colon) + typed.mid(at) : typed;
}

// A password typed at the terminal, without echo.
QString promptPassword(const QString& prompt)
{
    QTextStream err(stderr);
    err << prompt;
    err.flush();
    const QString password = qadora::platform::readLineWithoutEcho();
    err << '\n';
    return password;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qadora::platform::useUtf8Console();
    QCoreApplication::setApplicationName(QStringLiteral("qadora-publish"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Mirrors the site in OUTDIR to the folder of URL on a web server:\n"
        "  ftp://[USER@]HOST[:PORT]/FOLDER     FTP\n"
        "  ftps://[USER@]HOST[:PORT]/FOLDER    FTP with explicit TLS (AUTH TLS)\n"
        "  sftp://[USER@]HOST[:PORT]/FOLDER    SFTP (/~/FOLDER: a folder in the user's home)\n"
        "Only files that changed since the last publish to that place go up, over several\n"
        "connections, each under a fresh temporary name renamed into place once the server holds\n"
        "all of it; files an earlier publish sent that OUTDIR no longer has are removed if they\n"
        "are still what was sent; nothing else on the server is touched. What was published is\n"
        "kept on the server in .qadora-published beside the pages; .qadora-lock is held meanwhile.\n"
        "Dot-files and dot-folders (but .htaccess and .well-known/), databases, the list file\n"
        "dbnames.txt, and links leading outside OUTDIR are not published unless --include says so.\n"
        "The first publish to a place lists the files the site generator did not write and\n"
        "stops unless --yes is given.\n"
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
    const QCommandLineOption connections(QStringLiteral("connections"),
                                         QStringLiteral("Send over N connections at once, 1 to 8 (default 4)."),
                                         QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption include(QStringLiteral("include"),
                                     QStringLiteral("Publish files matching PATTERN that are left out by default "
                                                    "(a pattern without / matches any part of a name)."),
                                     QStringLiteral("PATTERN"));
    const QCommandLineOption exclude(QStringLiteral("exclude"), QStringLiteral("Do not publish files matching PATTERN."),
                                     QStringLiteral("PATTERN"));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("On a first publish, send files the site generator did not write too."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Fail when the server says nothing for SECONDS (default 60)."),
                                     QStringLiteral("SECONDS"), QStringLiteral("60"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("No progress line (shown on a terminal only)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Show the conversation with the server on standard error."));
    parser.addOptions({help, passwordFile, caFile, knownHosts, identity, acceptHostKey, connections, include, exclude, yes,
                       timeout, dryRun, quiet, verbose});
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
        return usageError(QStringLiteral("URL: %1").arg(withoutPassword(args[1])));
    bool numeric = false;
    options.connections = parser.value(connections).toInt(&numeric);
    if (!numeric || options.connections < 1 || options.connections > 8)
        return usageError(QStringLiteral("--connections takes 1 to 8"));
    const double seconds = parser.value(timeout).toDouble(&numeric);
    if (!numeric || seconds <= 0 || seconds > 86400)
        return usageError(QStringLiteral("--timeout takes a number of seconds"));
    options.deadlineMs = int(seconds * 1000);
    options.include = parser.values(include);
    options.exclude = parser.values(exclude);
    options.confirmed = parser.isSet(yes);
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
    } else if (!sftp && !options.url.userName().isEmpty() && qadora::platform::isTerminal(qadora::platform::Stream::Input)) {
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
    options.stop = &g_stop;
    qadora::platform::onInterrupt(stopPublishing);
    qadora::PublishResult result = qadora::publishSite(options, progress);
    // SFTP: keys first; a password typed at the terminal when they were not enough.
    if (sftp && result.code == qadora::PublishResult::Failed && options.password.isEmpty() && qadora::platform::isTerminal(qadora::platform::Stream::Input)
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
    if (options.verbose || options.dryRun) {
        for (const QString& skipped : std::as_const(result.skipped))
            err << "not published: " << skipped << '\n';
    }
    for (const QString& warning : std::as_const(result.warnings))
        err << "warning: " << warning << '\n';
    if (result.code != qadora::PublishResult::Complete) {
        err << QString(result.message).replace(QLatin1Char('\r'), QLatin1Char('\n')) << '\n';
        if (result.code == qadora::PublishResult::UnknownHostKey)
            err << QStringLiteral("受け入れるには --accept-host-key %1 を付けて下さい").arg(result.fingerprint) << '\n';
        if (result.code == qadora::PublishResult::NeedsConfirmation) {
            for (const QString& name : std::as_const(result.unconfirmed))
                err << "  " << name << '\n';
            err << QStringLiteral("これらも公開するには --yes を付けて下さい（除くには --exclude）") << '\n';
        }
    }
    err.flush();
    out << result.summary() << '\n';
    out.flush();
    return result.code == qadora::PublishResult::Complete ? 0 : 1;
}
