// SPDX-License-Identifier: GPL-3.0-or-later
// main1: start-up, shutdown and the persisted settings.
#include "ui/main1.h"

#include "settings/dirs.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTabWidget>

namespace qadora {

QString main1::rwsettext(int mode, const QString& value)
{
    const QString result = dirs::rwsettext(mode, value);
    if (mode == 1 && !result.isEmpty())
        Label28->setText(result);
    return result;
}

void main1::Form_Load()
{
    // A saved output directory that is gone falls back to the home folder, so the picker
    // and both labels always show a directory that exists and is in use.
    const QString firstdir = dirs::rwfirstdir(1);
    if (!firstdir.isEmpty() && setOutputDir(firstdir)) {
        QDir::setCurrent(outputDir());
    } else {
        setOutputDir(QDir::homePath());
        // A saved directory that is not there now (a drive not plugged in) is kept for the
        // next start, unless the user picks another one in this run.
        m_keepSavedOutputDir = !firstdir.isEmpty();
    }
    Label36->setText(outputDir());

    rwsettext(1);

    // A relative setting names the file in the saved output folder, now and after another is chosen.
    if (const QString saved = databasePathFromSetting(dirs::rwpgmname(1)); !saved.isEmpty())
        m_dbPath = QFileInfo(saved).absoluteFilePath();
    if (!isOrdinaryFile(m_dbPath))
        notice(kNoDatabaseAtStartMessage);
    else
        Label1->setText(m_dbPath);
    followDatabase();

    Label22->setText(kindFormatGuide());
    SSTab1->setCurrentIndex(0);
}

void main1::Form_Unload()
{
    rememberShownSiteSettings();
    if (!m_keepSavedOutputDir)
        dirs::rwfirstdir(2, outputDir());
    saveGeometrySetting();
    if (m_help)
        m_help->close();
}

} // namespace qadora
