// SPDX-License-Identifier: GPL-3.0-or-later
// Unicode NFKC, from ICU where the build has it (Linux), else from Qt's own tables.
#pragma once

#include <QString>

namespace qadora {

QString toNfkc(QStringView text);

} // namespace qadora
