// SPDX-License-Identifier: GPL-3.0-or-later
#include "kindpages.h"

#include "site/modernpages.h"
#include "site/pagefile.h"
#include "store/kindstring.h"

#include <QRegularExpression>

namespace qadora::csv {

namespace {

QString firstLine(const QString& message)
{
    return message.section(QLatin1Char('\r'), 0, 0);
}

} // namespace

QString kindPageProblem(const QString& name, const QString& indexName)
{
    if (name.isEmpty())
        return QStringLiteral("半角カンマの前（ページのファイル名）が空です");
    const QString file = subIndexFileName(name);
    if (const QString problem = pageNameProblem(file); !problem.isEmpty())
        return firstLine(problem);
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("「.」で始まるファイル名のページは公開されません");
    // The index page as the html tab names it, the names of the Q&A pages any record may take,
    // and the modern style's search page. That one is refused in every style: the records stay
    // when the style is changed, and a kind that breaks the site then would be found too late.
    static const QRegularExpression qaPage(QStringLiteral("^qa[0-9]{3,}$"), QRegularExpression::CaseInsensitiveOption);
    if (file.compare(indexName, Qt::CaseInsensitive) == 0 || qaPage.match(name).hasMatch()
        || file.compare(kSearchPage, Qt::CaseInsensitive) == 0)
        return QStringLiteral("ほかのページと同じファイル名になるため作成できません（%1）").arg(file);
    return QString();
}

PageNames::PageNames(const QSet<QString>& names)
{
    for (const QString& name : names)
        add(name);
}

QString PageNames::clash(const QString& name) const
{
    if (m_used.contains(name))
        return QString(); // most rows repeat a kind already seen
    const auto it = m_byFolded.constFind(name.toCaseFolded());
    if (it == m_byFolded.cend() || *it == name)
        return QString();
    return QStringLiteral("ファイル名「%1」がほかの種類の「%2」と大文字・小文字だけ違います（同じファイルになります）")
        .arg(subIndexFileName(name), subIndexFileName(*it));
}

void PageNames::add(const QString& name)
{
    if (m_used.contains(name))
        return;
    m_used.insert(name);
    m_byFolded.insert(name.toCaseFolded(), name);
}

} // namespace qadora::csv
