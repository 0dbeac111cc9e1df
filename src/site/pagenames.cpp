// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagenames.h"

#include <QRegularExpression>

namespace qadora {

QString windowsNameProblem(const QString& fileName)
{
    static const QString forbidden = QStringLiteral("<>:\"|?*");
    for (const QChar c : fileName) {
        if (forbidden.contains(c))
            return QStringLiteral("ファイル名に「<>:\"|?*」は使えません（Windowsで使えない文字です）") + QLatin1Char('\r') + fileName;
    }
    if (fileName.endsWith(QLatin1Char('.')) || fileName.endsWith(QLatin1Char(' ')))
        return QStringLiteral("ファイル名の最後に「.」や空白は使えません（Windowsでは取り除かれます）") + QLatin1Char('\r') + fileName;
    // The part before the first dot, spaces at its end left out, names the device whatever
    // the extension: "con.html" and "NUL .htm" are devices too. COM and LPT take ¹²³ as digits.
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9\u00B9\u00B2\u00B3]|LPT[1-9\u00B9\u00B2\u00B3]) *$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (device.match(fileName.section(QLatin1Char('.'), 0, 0)).hasMatch())
        return QStringLiteral("「%1」はWindowsの装置の名前のため、ファイル名に使えません").arg(fileName.section(QLatin1Char('.'), 0, 0).trimmed())
            + QLatin1Char('\r') + fileName;
    return QString();
}

QString PageNameClash::add(const QString& fileName)
{
    const QString folded = fileName.toCaseFolded();
    const auto it = m_byFolded.constFind(folded);
    if (it == m_byFolded.cend()) {
        m_byFolded.insert(folded, fileName);
        return QString();
    }
    if (*it == fileName)
        return QString();
    return QStringLiteral("ファイル名「%1」がほかのページの「%2」と大文字・小文字だけ違います（Windowsでは同じファイルになります）")
               .arg(fileName, *it)
        + QLatin1Char('\r') + fileName;
}

} // namespace qadora
