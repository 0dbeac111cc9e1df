// SPDX-License-Identifier: GPL-3.0-or-later
// qadora-csv: writes the records of a Q&A database into a CSV or TSV file that spreadsheets
// open, and adds the records of such a file to a database, as the window's ファイル menu does.
#include "platform/console.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "history/backups.h"

#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
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

// A store that cannot be opened says so in the window's words; a path with no file at all is
// most often a typing error, which a script's author needs to see named.
bool databaseExists(const QString& database)
{
    if (QFileInfo::exists(database))
        return true;
    say(QStringLiteral("%1: no such database (--create makes a new one for import)").arg(database));
    return false;
}

int exportTo(const QString& database, const QString& file, const qadora::csv::ExportOptions& options)
{
    if (!databaseExists(database))
        return 1;
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
               bool skipRefused, bool create)
{
    // A dry run writes nothing, not even the new database: it is planned against an empty one.
    const bool fresh = create && !QFileInfo::exists(database);
    if (fresh && !dryRun) {
        if (const qadora::StoreStatus made = qadora::createDatabase(database); !made.ok()) {
            say(made.message);
            return 1;
        }
    }
    if (!(fresh && dryRun) && !databaseExists(database))
        return 1;
    QByteArray bytes;
    QString error;
    if (!qadora::csv::readImportFile(file, &bytes, &error)) {
        say(error);
        return 1;
    }
    qadora::csv::ExistingRecords existing;
    if (const qadora::StoreStatus status = fresh && dryRun ? qadora::StoreStatus{} : qadora::csv::readExisting(database, &existing);
        !status.ok()) {
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
    if (dryRun) {
        const qsizetype would = plan.problems.isEmpty() || skipRefused ? plan.additions.size() : 0;
        say(QStringLiteral("would add %1, refused %2").arg(would).arg(plan.problems.size()));
        return 0;
    }
    // A script gets all of the file or nothing, unless it asks for the rows that can be taken.
    if ((!plan.problems.isEmpty() && !skipRefused) || plan.additions.isEmpty()) {
        summary(0);
        return plan.problems.isEmpty() ? 0 : 1;
    }
    // What would refuse the changes (an Access file, a record added meanwhile) refuses them
    // before a backup is made, so that a refused import leaves no backup to prune others.
    qadora::StoreStatus status;
    auto store = qadora::openStore(database, &status);
    if (store)
        status = store->checkChanges(plan.additions);
    if (status.ok() && !qadora::backUp(database, &error, nullptr, qadora::BackupReason::Import)) {
        say(qadora::backupFailedMessage(error));
        return 1;
    }
    if (status.ok())
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
    qadora::platform::useUtf8Console();
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(QADORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "export: writes every record of DATABASE into FILE, a CSV file with the header\n"
        "        No,kind,quest,anser that Excel and LibreOffice open (a file that exists is replaced);\n"
        "        a FILE ending in .xlsx is an Excel workbook of text cells.\n"
        "import: adds the records of FILE (CSV, TSV, or a sheet of an .xlsx, .xlsm or .ods workbook)\n"
        "        to DATABASE in one transaction. The header is found among the first 10 rows (its\n"
        "        columns named in Japanese or English); a row is reported by the file's line or the\n"
        "        sheet's row number. A file without a No\n"
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
                                    QStringLiteral("import: list what would be refused and end with \"would add N, refused M\"; write nothing."));
    const QCommandLineOption skipRefused(QStringLiteral("skip-refused"),
                                         QStringLiteral("import: add the rows that can be taken even when others "
                                                        "are refused."));
    const QCommandLineOption create(QStringLiteral("create"),
                                    QStringLiteral("import: make DATABASE first, empty, as the window's 新規作成 does, "
                                                   "when no file has its name."));
    const QCommandLineOption sheet(QStringLiteral("sheet"),
                                   QStringLiteral("import: the sheet of a workbook (.xlsx, .xlsm, .ods) to read; "
                                                  "the first by default."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption pageNames(QStringLiteral("page-names"),
                                       QStringLiteral("import: auto makes a category without a comma the kind's title, "
                                                      "with the page name sub010, sub020 … in the order the categories "
                                                      "first appear (or the page a kind of that title already has)."),
                                       QStringLiteral("auto"));
    const QCommandLineOption header(QStringLiteral("header"),
                                    QStringLiteral("export: the header row in Japanese (番号,種類,質問,答え) or in "
                                                   "English (No,kind,quest,anser, the default). Import reads both."),
                                    QStringLiteral("ja|en"));
    parser.addOptions({help, tsv, encoding, dryRun, skipRefused, create, sheet, pageNames, header});
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
        if (parser.isSet(dryRun) || parser.isSet(skipRefused) || parser.isSet(create) || parser.isSet(sheet)
            || parser.isSet(pageNames))
            return qadora::cli::usageError(
                kProgram, QStringLiteral("--dry-run, --skip-refused, --create, --sheet and --page-names are for import"));
        const QString language = parser.value(header);
        if (parser.isSet(header) && language != QLatin1String("ja") && language != QLatin1String("en"))
            return qadora::cli::usageError(kProgram, QStringLiteral("--header takes ja or en"));
        qadora::csv::ExportOptions options;
        options.encoding = chosen.value_or(qadora::csv::Encoding::ShiftJis);
        options.separator = separator;
        options.workbook = qadora::csv::isWorkbookName(args[2]);
        options.japaneseHeader = language == QLatin1String("ja");
        return exportTo(args[1], args[2], options);
    }
    if (parser.isSet(header))
        return qadora::cli::usageError(kProgram, QStringLiteral("--header is for export"));
    if (parser.isSet(pageNames) && parser.value(pageNames) != QLatin1String("auto"))
        return qadora::cli::usageError(kProgram, QStringLiteral("--page-names takes auto"));
    qadora::csv::ImportOptions options;
    options.encoding = chosen;
    options.separator = separator;
    options.sheet = parser.value(sheet);
    options.pageNames = parser.isSet(pageNames);
    return importFrom(args[1], args[2], options, parser.isSet(dryRun), parser.isSet(skipRefused), parser.isSet(create));
}
