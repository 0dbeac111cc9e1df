// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-build: writes the site of a Q&A database from a script, exactly as the window's
// "ＨＰ作成" writes it.
#include "platform/console.h"
#include "site/sitegeneration.h"
#include "site/pagefile.h"

#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

int usageError(const QString& text)
{
    return qadora::cli::usageError(QStringLiteral("qadora-build"), text);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qadora::platform::useUtf8Console();
    QCoreApplication::setApplicationName(QStringLiteral("qadora-build"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the Q&A site of DATABASE into OUTDIR: an index page, one sub-index page per kind\n"
        "and one page per record, in Shift_JIS (Windows code page 932), byte for byte as the\n"
        "Qadora window writes them. A page whose file already holds the same bytes is left alone.\n"
        "Messages go to standard error.\n"
        "Exit status: 0 after a complete run, 1 when the run was refused or stopped (no index page\n"
        "name included), 2 on a usage error."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption index(QStringLiteral("index"), QStringLiteral("Index page file name (default index.html)."),
                                   QStringLiteral("NAME"), QStringLiteral("index.html"));
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Index title (default empty)."),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption returnUrl(QStringLiteral("return-url"),
                                       QStringLiteral("Return link address; a link is written only when it is longer "
                                                      "than 10 characters (default http://)."),
                                       QStringLiteral("URL"), QStringLiteral("http://"));
    const QCommandLineOption returnLabel(QStringLiteral("return-label"),
                                         QStringLiteral("Return link text (default: the style's own)."),
                                         QStringLiteral("TEXT"));
    const QCommandLineOption style(QStringLiteral("style"),
                                   QStringLiteral("Page style: frameless (<hr>, for mobiles; default), framed (<table>) "
                                                  "or modern (UTF-8 pages with a stylesheet, structured data and a "
                                                  "search of the site)."),
                                   QStringLiteral("frameless|framed|modern"), QStringLiteral("frameless"));
    const QCommandLineOption siteUrl(QStringLiteral("site-url"),
                                     QStringLiteral("Where the site is published (modern style): pages get canonical "
                                                    "addresses, and sitemap.xml and robots.txt are written."),
                                     QStringLiteral("URL"));
    const QCommandLineOption bigTitle(QStringLiteral("big-title"),
                                      QStringLiteral("Bigger headings in the framed style."));
    const QCommandLineOption viewport(QStringLiteral("viewport"),
                                      QStringLiteral("Pages readable on phones: every page gets <meta name=\"viewport\" "
                                                     "content=\"width=device-width, initial-scale=1\"> after its META line."));
    const QCommandLineOption prune(QStringLiteral("prune"),
                                   QStringLiteral("Remove pages that an earlier run wrote into OUTDIR and this run did "
                                                  "not (a deleted record's page, the page of a kind that is gone). "
                                                  "Files no run wrote are never removed."));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("End with a line: written N, unchanged M, removed K."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress line (shown on a terminal only)."));
    parser.addOptions({help, index, title, returnUrl, returnLabel, style, siteUrl, bigTitle, viewport, prune, stats, quiet});
    parser.addPositionalArgument(QStringLiteral("DATABASE"), QStringLiteral("The Q&A database file."));
    parser.addPositionalArgument(QStringLiteral("OUTDIR"), QStringLiteral("The directory to write the site into."));

    if (const auto done = qadora::cli::parseArguments(parser, help, QStringLiteral("qadora-build"), QStringLiteral("DATABASE and OUTDIR")))
        return *done;
    const QStringList args = parser.positionalArguments();
    const QString styleName = parser.value(style);
    if (styleName != QLatin1String("frameless") && styleName != QLatin1String("framed") && styleName != QLatin1String("modern"))
        return usageError(QStringLiteral("--style takes frameless, framed or modern"));
    if (!QFileInfo(args[1]).isDir())
        return usageError(QStringLiteral("OUTDIR is not a directory: %1").arg(args[1]));

    qadora::SiteOptions options;
    options.outDir = qadora::outputDirForm(args[1]);
    options.indexName = parser.value(index);
    options.index.title = parser.value(title);
    options.index.returnUrl = parser.value(returnUrl);
    options.index.returnLabel = parser.value(returnLabel);
    options.index.style.frameless = styleName == QLatin1String("frameless");
    options.index.style.modern = styleName == QLatin1String("modern");
    options.index.style.siteAddress = parser.value(siteUrl);
    options.index.style.bigTitle = parser.isSet(bigTitle);
    options.index.style.viewport = parser.isSet(viewport);

    options.prune = parser.isSet(prune);

    QTextStream err(stderr);
    err.setEncoding(QStringConverter::Utf8);
    // Progress goes to a terminal only, on one line that the messages then replace.
    qadora::cli::ProgressLine line(err, !parser.isSet(quiet));
    qadora::ProgressSink progress;
    if (line.enabled())
        progress = [&](int done, int total) { line.show(done, total, QStringLiteral(" ページ")); };
    const qadora::SiteResult result = qadora::generateSite(args[0], options, [&](const QString& message) {
        line.clear();
        // Messages join their lines with CR, as the window shows them.
        err << QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')) << '\n';
        err.flush();
    }, progress);
    line.clear();
    if (parser.isSet(stats)) {
        err << QStringLiteral("written %1, unchanged %2, removed %3\n")
                   .arg(result.stats.written)
                   .arg(result.stats.unchanged)
                   .arg(result.stats.removed);
    }
    err.flush();
    return result.complete ? 0 : 1;
}
