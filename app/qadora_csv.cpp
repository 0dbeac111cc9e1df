// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-csv: writes the records of a Q&A database into a CSV or TSV file that spreadsheets
// open, and adds the records of such a file to a database, as the window's ファイル menu does.
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "history/backups.h"

#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

const QString kProgram = QStringLiteral("qadora-csv");

QTextStream& err()
{
    static QTextStream stream(stderr);
    stream.setEncoding(QStringConverter::Utf8);
    return stream;
}

// Messages join their lines with CR, as the window shows them.
void say(const QString& message)
{
    err() << QString(message).replace(QLatin1Char('\r'), QLatin1Char('\n')) << '\n';
    err().flush();
}

int exportTo(const QString& database, const QString& file, const qadora::csv::ExportOptions& options)
{
    const qadora::csv::ExportResult result = qadora::csv::exportRecords(database, file, options);
    if (!result.ok) {
        say(result.message);
        if (result.notInEncoding)
            say(QStringLiteral("--encoding utf8 (UTF-8 with a BOM) writes every character."));
        return 1;
    }
    say(QStringLiteral("exported %1").arg(result.records));
    return 0;
}

int importFrom(const QString& database, const QString& file, const qadora::csv::ImportOptions& options, bool dryRun,
               bool skipRefused)
{
    QByteArray bytes;
    QString error;
    if (!qadora::csv::readImportFile(file, &bytes, &error)) {
        say(error);
        return 1;
    }
    qadora::csv::ExistingRecords existing;
    if (const qadora::StoreStatus status = qadora::csv::readExisting(database, &existing); !status.ok()) {
        say(status.message);
        return 1;
    }
    const qadora::csv::ImportPlan plan = qadora::csv::planImport(bytes, options, existing);
    if (!plan.fatal.isEmpty()) {
        say(file + QStringLiteral(": ") + plan.fatal);
        return 1;
    }
    for (const qadora::csv::ImportProblem& p : plan.problems)
        say(QStringLiteral("%1:%2: %3").arg(file, QString::number(p.line), p.reason));
    const auto summary = [&](int added) {
        say(QStringLiteral("added %1, refused %2").arg(added).arg(plan.problems.size()));
    };
    // A script gets all of the file or nothing, unless it asks for the rows that can be taken.
    if (dryRun || (!plan.problems.isEmpty() && !skipRefused) || plan.additions.isEmpty()) {
        summary(0);
        return dryRun || plan.problems.isEmpty() ? 0 : 1;
    }
    if (!qadora::backUp(database, &error, nullptr, qadora::BackupReason::Import)) {
        say(qadora::backupFailedMessage(error));
        return 1;
    }
    qadora::StoreStatus status;
    auto store = qadora::openStore(database, &status);
    if (store)
        status = store->applyChanges(plan.additions);
    if (!status.ok()) {
        say(status.code == qadora::StoreStatus::Conflict
                ? QStringLiteral("Another program changed the database meanwhile; nothing was added.")
                : status.message);
        return 1;
    }
    summary(int(plan.additions.size()));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(QADORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "export: writes every record of DATABASE into FILE, a CSV file with the header\n"
        "        No,kind,quest,anser that Excel and LibreOffice open (a file that exists is replaced).\n"
        "import: adds the records of FILE to DATABASE in one transaction. A file without a No\n"
        "        column gets numbers as added records do; a row whose number or question the\n"
        "        database already has, whose kind has no comma, whose question is empty, whose\n"
        "        text is too long or that is damaged is refused and listed as FILE:LINE: reason.\n"
        "        Unless --skip-refused, one refused row keeps the whole file out.\n"
        "        A backup of DATABASE is made first (see qadora(1)).\n"
        "Exit status: 0 when done, 1 when refused or failed (nothing written), 2 on a usage error."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption tsv(QStringLiteral("tsv"),
                                 QStringLiteral("Tab-separated values (the default for a FILE ending in .tsv)."));
    const QCommandLineOption encoding(
        QStringLiteral("encoding"),
        QStringLiteral("sjis: Shift_JIS (code page 932), what Excel opens on a Japanese system (the default "
                       "for export); utf8: UTF-8 with a BOM. Import reads a file with a BOM as UTF-8 and "
                       "otherwise tells the two apart by default."),
        QStringLiteral("sjis|utf8"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("import: list what would be refused; add nothing."));
    const QCommandLineOption skipRefused(QStringLiteral("skip-refused"),
                                         QStringLiteral("import: add the rows that can be taken even when others "
                                                        "are refused."));
    parser.addOptions({help, tsv, encoding, dryRun, skipRefused});
    parser.addPositionalArgument(QStringLiteral("export|import"), QStringLiteral("What to do."));
    parser.addPositionalArgument(QStringLiteral("DATABASE"), QStringLiteral("The Q&A database file."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The CSV or TSV file."));

    if (const auto done = qadora::cli::parseArguments(parser, help, kProgram,
                                                      QStringLiteral("export or import, DATABASE and FILE"), 3))
        return *done;
    const QStringList args = parser.positionalArguments();
    const QString command = args[0];
    if (command != QLatin1String("export") && command != QLatin1String("import"))
        return qadora::cli::usageError(kProgram, QStringLiteral("the command is export or import, not %1").arg(command));
    std::optional<qadora::csv::Encoding> chosen;
    if (parser.isSet(encoding)) {
        const QString name = parser.value(encoding);
        if (name == QLatin1String("sjis"))
            chosen = qadora::csv::Encoding::ShiftJis;
        else if (name == QLatin1String("utf8"))
            chosen = qadora::csv::Encoding::Utf8;
        else
            return qadora::cli::usageError(kProgram, QStringLiteral("--encoding takes sjis or utf8"));
    }
    const qadora::csv::Separator separator =
        parser.isSet(tsv) ? qadora::csv::Separator::Tab : qadora::csv::separatorFor(args[2]);
    if (command == QLatin1String("export")) {
        if (parser.isSet(dryRun) || parser.isSet(skipRefused))
            return qadora::cli::usageError(kProgram, QStringLiteral("--dry-run and --skip-refused are for import"));
        return exportTo(args[1], args[2], {chosen.value_or(qadora::csv::Encoding::ShiftJis), separator});
    }
    return importFrom(args[1], args[2], {chosen, separator}, parser.isSet(dryRun), parser.isSet(skipRefused));
}
