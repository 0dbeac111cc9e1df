// SPDX-License-Identifier: GPL-3.0-or-later
// What qadora-build and qadora-publish share on the command line: the usage error, and the
// progress line on a terminal that messages then replace.
#pragma once

#include "platform/platform.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

#include <optional>

namespace qadora::cli {

inline int usageError(const QString& program, const QString& text)
{
    QTextStream(stderr) << program << ": " << text << "\nTry '" << program << " --help'.\n";
    return 2;
}

// Parses the command line with its --help, --version and `positional` arguments. An exit
// status when the program is done (the help or version shown: 0; a usage error: 2).
inline std::optional<int> parseArguments(QCommandLineParser& parser, const QCommandLineOption& help,
                                         const QString& program, const QString& expected, int positional = 2)
{
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOption(version);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(program, parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << program << ' ' << QADORA_VERSION << '\n';
        return 0;
    }
    if (parser.positionalArguments().size() != positional)
        return usageError(program, QStringLiteral("expected ") + expected);
    return std::nullopt;
}

// "done / total" on one line of standard error, when that is a terminal and not turned off;
// at most ten times a second.
class ProgressLine {
public:
    ProgressLine(QTextStream& err, bool wanted)
        : m_err(err)
        , m_shown(wanted && qadora::platform::isTerminal(qadora::platform::Stream::Error))
    {
        m_since.start();
    }
    bool enabled() const { return m_shown; }

    void show(int done, int total, const QString& unit = QString())
    {
        if (m_since.elapsed() < 100 && done < total)
            return;
        m_since.restart();
        m_err << QStringLiteral("\r%1 / %2%3").arg(done).arg(total).arg(unit);
        m_err.flush();
        m_onScreen = true;
    }
    // Before a message: the line goes.
    void clear()
    {
        if (m_onScreen)
            m_err << "\r\033[K";
        m_onScreen = false;
    }

private:
    QTextStream& m_err;
    bool m_shown;
    bool m_onScreen = false;
    QElapsedTimer m_since;
};

} // namespace qadora::cli
