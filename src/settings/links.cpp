// SPDX-License-Identifier: GPL-3.0-or-later
#include "links.h"

#include "dirs.h"
#include "settings/appsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace qadora {

namespace {

// The first of `candidates` that exists, else the first; relative to the program's folder.
QUrl firstExisting(const QStringList& candidates)
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    for (const QString& c : candidates) {
        const QString path = QDir::cleanPath(appDir.absoluteFilePath(c));
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(path);
    }
    return QUrl::fromLocalFile(QDir::cleanPath(appDir.absoluteFilePath(candidates.value(0))));
}

QUrl link(const char* key, const QUrl& fallback)
{
    QSettings settings = openSettings();
    const QString value = settingText(settings.value(QStringLiteral("links/") + QLatin1String(key)));
    return value.isEmpty() ? fallback : QUrl::fromUserInput(value);
}

} // namespace

QUrl homePageUrl()
{
    // Installed: share/qadora beside bin/; in the build tree: the source folder.
    return link("home", firstExisting({QStringLiteral("../share/qadora/README.md"),
                                       QStringLiteral(QADORA_SOURCE_DIR "/README.md")}));
}

QUrl samplePageUrl()
{
    return link("sample", firstExisting({QStringLiteral("../share/qadora/sample/index.html"),
                                         QStringLiteral(QADORA_BINARY_DIR "/data/sample/index.html")}));
}

} // namespace qadora
