// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings file, where the system keeps it (an INI file on every system).
#pragma once

#include "platform/platform.h"

#include <QSettings>

namespace qadora {

inline QSettings openSettings()
{
    const QString file = platform::settingsFile();
    if (file.isEmpty())
        return QSettings(QStringLiteral("Qadora"), QStringLiteral("Qadora"));
    return QSettings(file, QSettings::IniFormat);
}

} // namespace qadora
