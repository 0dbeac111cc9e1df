// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/dirs.h"
#include "store/recordstore.h"
#include "ui/appsetup.h"
#include "ui/interaction.h"
#include "ui/main1.h"
#include "ui/singleinstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Opens the Qadora window (in Japanese): questions and answers kept in a database file,\n"
        "written as a two-level web site in Shift_JIS. With FILE, that database is opened and\n"
        "becomes the one in use; without, the one used last. A database already open in a\n"
        "Qadora window brings that window forward instead."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A Q&A database (.mdb or SQLite) to open."),
                                 QStringLiteral("[FILE]"));
}

void name()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Qadora"));
    QCoreApplication::setApplicationName(QStringLiteral("Qadora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QADORA_VERSION));
}

// --help and --version are answered without a display.
bool answersOnTerminal(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (answersOnTerminal(argc, argv)) {
        QCoreApplication app(argc, argv);
        name();
        QCommandLineParser parser;
        describe(parser);
        parser.process(app); // prints the help or the version and ends the program
    }

    QApplication app(argc, argv);
    name();
    QApplication::setApplicationDisplayName(QStringLiteral("Qadora"));
    QApplication::setDesktopFileName(QStringLiteral("qadora"));
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fputs("qadora: one FILE at most\n", stderr);
        return 2;
    }
    const QString file = files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();

    // One window per database: the one that has it open comes forward.
    const QString database = file.isEmpty() ? qadora::databasePathFromSetting(dirs::rwpgmname(1)) : file;
    if (qadora::isOrdinaryFile(database) && qadora::SingleInstance::activateOther(database))
        return 0;

    // A usable FILE becomes the database in use before the window loads, as if chosen there.
    if (!file.isEmpty() && qadora::isOrdinaryFile(file)) {
        QString message;
        if (qadora::countRecords(file, &message) > 0 || message.isEmpty())
            dirs::rwpgmname(2, file);
    }

    qadora::setUpJapanese(app);
    qadora::QtInteraction interaction;
    qadora::main1 window(&interaction);
    interaction.setParentWidget(&window);
    window.show();
    window.Form_Load();
    if (!file.isEmpty() && window.databasePath() != file)
        window.openDatabase(file);
    return app.exec();
}
