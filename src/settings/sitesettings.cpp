// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesettings.h"

#include "dirs.h"
#include "settings/appsettings.h"

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
    QSettings settings = openSettings();
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

namespace {

// Each setting as it is stored, by key.
QList<std::pair<QString, QVariant>> stored(const SiteSettings& s)
{
    return {
        {QStringLiteral("index"), s.indexName},
        {QStringLiteral("title"), s.index.title},
        {QStringLiteral("returnurl"), s.index.returnUrl},
        {QStringLiteral("returnlabel"), s.index.returnLabel},
        {QStringLiteral("style"), s.index.style.frameless ? QStringLiteral("frameless") : QStringLiteral("framed")},
        {QStringLiteral("bigtitle"), s.index.style.bigTitle},
        {QStringLiteral("viewport"), s.index.style.viewport},
        {QStringLiteral("modern"), s.index.style.modern},
        {QStringLiteral("siteaddress"), s.index.style.siteAddress},
    };
}

void remember(const QString& folder, const SiteSettings* before, const SiteSettings& after)
{
    QSettings settings = openSettings();
    settings.beginGroup(groupFor(folder));
    settings.setValue(QStringLiteral("folder"), QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    const auto now = stored(after);
    const auto then = before ? stored(*before) : decltype(now){};
    for (qsizetype i = 0; i < now.size(); ++i) {
        // QSettings writes only the keys set through it, over the file as it is now.
        if (!before || then[i].second != now[i].second)
            settings.setValue(now[i].first, now[i].second);
    }
}

} // namespace

void rememberSiteSettings(const QString& folder, const SiteSettings& s)
{
    remember(folder, nullptr, s);
}

void rememberSiteSettingChanges(const QString& folder, const SiteSettings& before, const SiteSettings& after)
{
    remember(folder, &before, after);
}

} // namespace qadora
