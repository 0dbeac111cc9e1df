// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/appsetup.h"
#include "ui/interaction.h"
#include "ui/main1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Qadora"));
    QApplication::setApplicationName(QStringLiteral("Qadora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Qadora"));
    QApplication::setDesktopFileName(QStringLiteral("qadora"));
    qadora::setUpJapanese(app);

    qadora::QtInteraction interaction;
    qadora::main1 window(&interaction);
    interaction.setParentWidget(&window);
    window.show();
    window.Form_Load();
    return app.exec();
}
