// SPDX-License-Identifier: GPL-3.0-or-later
// The two pages the ヘルプ menu opens: settings group "links", keys "home" and "sample".
#pragma once

#include <QUrl>

namespace qadora {

QUrl homePageUrl();
QUrl samplePageUrl();

} // namespace qadora
