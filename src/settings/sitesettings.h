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

    bool operator==(const SiteSettings& o) const
    {
        return indexName == o.indexName && index.title == o.index.title && index.returnUrl == o.index.returnUrl
            && index.returnLabel == o.index.returnLabel && index.style.frameless == o.index.style.frameless
            && index.style.bigTitle == o.index.style.bigTitle && index.style.viewport == o.index.style.viewport;
    }
};

// What was remembered for `folder`; nothing for a folder never used.
std::optional<SiteSettings> rememberedSiteSettings(const QString& folder);
void rememberSiteSettings(const QString& folder, const SiteSettings& settings);

} // namespace qadora
