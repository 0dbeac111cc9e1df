// SPDX-License-Identifier: GPL-3.0-or-later
// The html tab's settings, remembered per output folder in Qadora.conf, so a site is built
// the same way after a restart or a switch of databases.
#pragma once

#include "site/pages.h"

#include <QString>

#include <optional>

namespace qadora {

// What a folder never used starts with: pages for phones, unlike qadora-build's default.
struct SiteSettings {
    QString indexName = QStringLiteral("index.html");
    IndexSettings index{QString(), QStringLiteral("http://"), QString(), PageStyle{true, false, true}};

    bool operator==(const SiteSettings&) const = default;
};

// What was remembered for `folder`; nothing for a folder never used.
std::optional<SiteSettings> rememberedSiteSettings(const QString& folder);
// Remembers every setting for `folder`.
void rememberSiteSettings(const QString& folder, const SiteSettings& settings);
// Remembers for `folder` only the settings that differ between `before` and `after`, so that
// what another window remembered for it meanwhile stays.
void rememberSiteSettingChanges(const QString& folder, const SiteSettings& before, const SiteSettings& after);

} // namespace qadora
