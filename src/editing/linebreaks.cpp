// SPDX-License-Identifier: GPL-3.0-or-later
#include "linebreaks.h"

namespace qadora {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kMarkedCrLf = QStringLiteral("<br>\r\n");
} // namespace

QString brplus(const QString& aaa, bool on)
{
    if (!on)
        return aaa;
    QString result = aaa;
    return result.replace(kCrLf, kMarkedCrLf);
}

QString brhiku(const QString& aaa, bool on)
{
    if (!on)
        return aaa;
    QString result = aaa;
    return result.replace(kMarkedCrLf, kCrLf);
}

QString toStoredLineBreaks(const QString& boxText)
{
    QString result = boxText;
    result.replace(kCrLf, QStringLiteral("\n"));
    // Shift+Enter in a text box makes a line separator; it is a line break all the same.
    result.replace(QChar::LineSeparator, QLatin1Char('\n'));
    result.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return result.replace(QLatin1Char('\n'), kCrLf);
}

QString toBoxLineBreaks(const QString& stored)
{
    QString result = stored;
    return result.replace(kCrLf, QStringLiteral("\n"));
}

int byteCount(const QString& text)
{
    int sum = 0;
    for (const QChar c : text)
        sum += c.unicode() >= 0x1000 ? 2 : 1;
    return sum;
}

} // namespace qadora
