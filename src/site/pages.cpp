// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages.h"

#include "store/kindstring.h"

namespace qadora {

namespace {

QStringList head(const QString& title, const PageStyle& style)
{
    QStringList lines = {
        QStringLiteral("<HTML>"),
        QStringLiteral("<HEAD>"),
        QStringLiteral("<META HTTP-EQUIV=\"Content-type\" CONTENT=\"text/html; charset=Shift_JIS\">"),
    };
    if (style.viewport)
        lines << QStringLiteral("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    lines << QStringLiteral("<TITLE>") + title + QStringLiteral("</TITLE>") << QStringLiteral("</HEAD>")
          << QStringLiteral("<BODY>") << QStringLiteral("<div align=\"left\">");
    return lines;
}

void appendFoot(QStringList& lines)
{
    lines << QStringLiteral("</div>") << QStringLiteral("</BODY>") << QStringLiteral("</HTML>");
}

// The framed style's heading, in a bigger font when asked.
void appendFramedHeading(QStringList& lines, const QString& title, bool big)
{
    if (big)
        lines << QStringLiteral("<FONT size=\"+2\">");
    lines << QStringLiteral("<b>") + title + QStringLiteral("</b>");
    if (big)
        lines << QStringLiteral("</FONT>");
}

// Only half-width spaces: an ideographic space, a tab or a line break is part of the address.
QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString padded(qint64 number)
{
    return QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

} // namespace

qint64 leadingNumber(const QString& text)
{
    qint64 n = 0;
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        n = n * 10 + (text[i].unicode() - '0');
    return n;
}

PageStyle withSiteFrame(PageStyle style, const QString& indexName, const IndexSettings& settings)
{
    style.siteTitle = settings.title;
    style.indexName = indexName;
    style.returnUrl = settings.returnUrl;
    style.returnLabel = settings.returnLabel;
    return style;
}

QString qaFileName(const QString& fnum)
{
    // Made for every record twice a run (its page, its kind's list): without QString::arg.
    const qint64 number = leadingNumber(fnum);
    if (number < 0) // more digits than a number holds
        return QStringLiteral("qa") + padded(number) + QStringLiteral(".html");
    char digits[24];
    qsizetype n = 0;
    for (quint64 v = quint64(number); v != 0 || n < 3; v /= 10)
        digits[n++] = char('0' + v % 10);
    QString name(n + 7, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(name.data());
    *out++ = u'q';
    *out++ = u'a';
    while (n > 0)
        *out++ = char16_t(digits[--n]);
    for (const char16_t c : u".html")
        if (c != 0)
            *out++ = c;
    return name;
}

QStringList qaPage(const QString& atext, const QString& btext, const QString& back, const PageStyle& style)
{
    QStringList lines = head(atext, style);
    if (style.frameless) {
        lines << QStringLiteral("<質問><br>") << atext << QStringLiteral("<br><hr>") << QStringLiteral("<答え><br>")
              << btext << QStringLiteral("<br><hr>");
    } else {
        lines << QStringLiteral("<table border=1>") << QStringLiteral("<tr><td><b>＜　質　問　＞</b></td></tr>")
              << QStringLiteral("<tr><td>") + atext + QStringLiteral("</td></tr>")
              << QStringLiteral("<tr><td><b>＜　答　え　＞</b></td></tr>")
              << QStringLiteral("<tr><td>") + btext + QStringLiteral("</td></tr>") << QStringLiteral("</table><hr>");
    }
    lines << QStringLiteral("<A href=\"") + back + QStringLiteral("\">戻る</A>");
    appendFoot(lines);
    return lines;
}

IndexPage indexPage(const IndexSettings& settings, const QStringList& kinds)
{
    IndexPage page;
    QStringList& lines = page.lines;
    lines = head(settings.title, settings.style);
    const bool frameless = settings.style.frameless;
    if (frameless) {
        lines << settings.title + QStringLiteral("<br><hr>");
    } else {
        appendFramedHeading(lines, settings.title, settings.style.bigTitle);
        lines << QStringLiteral("<br><hr>") << QStringLiteral("<table border=1>");
    }
    for (const QString& kind : kinds) {
        const KindParts parts = splitKind(kind);
        if (!parts.ok) {
            page.malformedKind = kind;
            return page;
        }
        if (frameless) {
            lines << QStringLiteral("<A href=\"") + subIndexFileName(parts.name) + QStringLiteral("\">")
                  << QStringLiteral("･") + parts.title + QStringLiteral("</a><br>");
        } else {
            lines << QStringLiteral("<tr><td><A href=\"") + subIndexFileName(parts.name) + QStringLiteral("\">")
                  << QStringLiteral("●") + parts.title + QStringLiteral("</a></td></tr>");
        }
    }
    if (!frameless)
        lines << QStringLiteral("</table>");
    // The length is tested before trimming: the initial "http://" writes no link.
    if (settings.returnUrl.size() > 10) {
        QString label = settings.returnLabel;
        if (label.isEmpty())
            label = frameless ? QStringLiteral("･[home]") : QStringLiteral("●［ＨＯＭＥ］");
        lines << QStringLiteral("<A href=\"") + trimSpaces(settings.returnUrl) + QStringLiteral("\">") + label
                + QStringLiteral("</a><br>");
    }
    lines << QStringLiteral("<hr>");
    appendFoot(lines);
    return page;
}

QStringList subIndexPage(const QString& tit, const QString& indexName, const QStringList& questions,
                         const QStringList& numbers, const PageStyle& style)
{
    QStringList lines = head(tit, style);
    const qsizetype count = qMin(questions.size(), numbers.size());
    if (style.frameless) {
        lines << tit + QStringLiteral("<br><hr>");
        for (qsizetype i = 0; i < count; ++i) {
            lines << QStringLiteral("<A href=\"qa") + padded(leadingNumber(numbers[i])) + QStringLiteral(".html\">")
                  << QStringLiteral("･") + questions[i] + QStringLiteral("</a><br>");
        }
        lines << QStringLiteral("<hr>");
    } else {
        appendFramedHeading(lines, tit, style.bigTitle);
        lines << QStringLiteral("<br><hr>") << QStringLiteral("<table border=1>");
        for (qsizetype i = 0; i < count; ++i) {
            lines << QStringLiteral("<tr><td><A href=\"qa") + padded(leadingNumber(numbers[i]))
                    + QStringLiteral(".html\">")
                  << QStringLiteral("●") + questions[i] + QStringLiteral("</a></td></tr>");
        }
        lines << QStringLiteral("</table><hr>");
    }
    lines << QStringLiteral("<A href=\"") + indexName + QStringLiteral("\">戻る</A>");
    appendFoot(lines);
    return lines;
}

} // namespace qadora
