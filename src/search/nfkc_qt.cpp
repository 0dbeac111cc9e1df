// SPDX-License-Identifier: GPL-3.0-or-later
// For builds without ICU (Windows): Qt's tables, which may trail ICU's Unicode version by one
// release.
#include "search/nfkc.h"

namespace qadora {

QString toNfkc(QStringView text)
{
    return text.toString().normalized(QString::NormalizationForm_KC);
}

} // namespace qadora
