// SPDX-License-Identifier: GPL-3.0-or-later
#include "kindstring.h"

namespace qadora {

KindParts splitKind(const QString& kind)
{
    const qsizetype comma = kind.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    return {true, kind.left(comma), kind.mid(comma + 1)};
}

QString subIndexFileName(const QString& name)
{
    return name + QStringLiteral(".html");
}

} // namespace qadora
