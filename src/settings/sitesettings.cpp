// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesettings.h"

#include "dirs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace qadora {

namespace {

// One group per folder, named by a hash of its path ("sites/<hash>"): a path would need
// escaping as a key, and the group also keeps the path itself for a person reading the file.
QString groupFor(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return QStringLiteral("sites/")
        + QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

std::optional<SiteSettings> rememberedSiteSettings(const QString& folder)
{
    QSettings settings(QStringLiteral("Qadora"), QStringLiteral("Qadora"));
    settings.beginGroup(groupFor(folder));
    if (!settings.contains(QStringLiteral("folder")))
        return std::nullopt;
    SiteSettings s;
    const auto text = [&](const char* key, const QString& fallback) {
        return settings.contains(QLatin1String(key)) ? settingText(settings.value(QLatin1String(key))) : fallback;
    };
    s.indexName = text("index", s.indexName);
    s.index.title = text("title", s.index.title);
    s.index.returnUrl = text("returnurl", s.index.returnUrl);
    s.index.returnLabel = text("returnlabel", s.index.returnLabel);
    s.index.style.frameless = text("style", QStringLiteral("frameless")) != QLatin1String("framed");
    s.index.style.bigTitle = settings.value(QStringLiteral("bigtitle"), false).toBool();
    s.index.style.viewport = settings.value(QStringLiteral("viewport"), false).toBool();
    s.index.style.modern = settings.value(QStringLiteral("modern"), false).toBool();
    s.index.style.siteAddress = text("siteaddress", QString());
    return s;
}

void rememberSiteSettings(const QString& folder, const SiteSettings& s)
{
    QSettings settings(QStringLiteral("Qadora"), QStringLiteral("Qadora"));
    settings.beginGroup(groupFor(folder));
    settings.setValue(QStringLiteral("folder"), QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    settings.setValue(QStringLiteral("index"), s.indexName);
    settings.setValue(QStringLiteral("title"), s.index.title);
    settings.setValue(QStringLiteral("returnurl"), s.index.returnUrl);
    settings.setValue(QStringLiteral("returnlabel"), s.index.returnLabel);
    settings.setValue(QStringLiteral("style"), s.index.style.frameless ? QStringLiteral("frameless") : QStringLiteral("framed"));
    settings.setValue(QStringLiteral("bigtitle"), s.index.style.bigTitle);
    settings.setValue(QStringLiteral("viewport"), s.index.style.viewport);
    settings.setValue(QStringLiteral("modern"), s.index.style.modern);
    settings.setValue(QStringLiteral("siteaddress"), s.index.style.siteAddress);
}

} // namespace qadora
