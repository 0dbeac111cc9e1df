// SPDX-License-Identifier: GPL-3.0-or-later
// The html tab's settings, remembered per output folder in Qadora.conf, so a site is built
// the same way after a restart or a switch of databases.
#pragma once

#include "site/pages.h"

#include <QString>

#include <optional>

namespace qadora {

struct SiteSettings {
    QString indexName = QStringLiteral("index.html");
    IndexSettings index{QString(), QStringLiteral("http://"), QString(), PageStyle{}};

    bool operator==(const SiteSettings&) const = default;
};

// What was remembered for `folder`; nothing for a folder never used.
std::optional<SiteSettings> rememberedSiteSettings(const QString& folder);
void rememberSiteSettings(const QString& folder, const SiteSettings& settings);

} // namespace qadora
