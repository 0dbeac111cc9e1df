// SPDX-License-Identifier: GPL-3.0-or-later
// The page a kind names, checked as the site build will use it, so that an import never
// stores a kind whose sub-index page cannot be written or would replace another page.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>

namespace qadora::csv {

// Why ＨＰ作成 could not write the sub-index page of `name` (the part before the comma), or
// an empty string: empty, a hidden dot-file, "/" or "\", a control character, the site's
// index page `indexName`, a Q&A page (qaNNN) or the modern style's search page (search.html,
// refused whatever the style, as the style may change after the import), in any letter case.
QString kindPageProblem(const QString& name, const QString& indexName);

// Page names already used, for the names that differ from one only in letter case: on
// Windows, macOS and most web servers' disks both are the same file.
class PageNames {
public:
    explicit PageNames(const QSet<QString>& names = {});
    // Why `name` cannot be used beside the names added so far, or an empty string.
    QString clash(const QString& name) const;
    void add(const QString& name);

private:
    QHash<QString, QString> m_byFolded; // case-folded name → the name as used
    QSet<QString> m_used;
};

} // namespace qadora::csv
