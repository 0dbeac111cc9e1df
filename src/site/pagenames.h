// SPDX-License-Identifier: GPL-3.0-or-later
// The names Windows cannot give a page: the file system there refuses some, takes others for
// devices, alters some, and does not tell apart names that differ only in case.
#pragma once

#include <QHash>
#include <QString>

namespace qadora {

// Why Windows cannot keep a page under `fileName`, or an empty string: a device name (CON,
// PRN, AUX, NUL, COM1–9, LPT1–9, with any extension), one of <>:"|?*, or a dot or a space at
// the end. The message is worded as the build's own for names it refuses.
QString windowsNameProblem(const QString& fileName);

// The page names of one run, told apart as a case-insensitive file system does.
class PageNameClash {
public:
    // Why `fileName` cannot be written beside the names before it (one that differs from an
    // earlier name only in case), or an empty string; the name is then one of them.
    QString add(const QString& fileName);

private:
    QHash<QString, QString> m_byFolded;
};

} // namespace qadora
