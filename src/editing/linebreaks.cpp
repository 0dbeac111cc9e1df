// SPDX-License-Identifier: GPL-3.0-or-later
#include "linebreaks.h"

namespace qadora {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kMarker = QStringLiteral("<br>");
const QString kMarkedCrLf = QStringLiteral("<br>\r\n");

// Characters a text box takes as the end of a line. U+FDD0/U+FDD1 are Qt's frame marks,
// which its documents also turn into paragraph ends.
bool endsLine(QChar c)
{
    switch (c.unicode()) {
    case u'\r':
    case u'\n':
    case QChar::LineSeparator:
    case QChar::ParagraphSeparator:
    case 0xFDD0:
    case 0xFDD1:
        return true;
    default:
        return false;
    }
}

bool isCrLfBreak(const AnswerPart& p)
{
    return p.isBreak && (p.stored == kCrLf || p.stored == kMarkedCrLf);
}

// A text that ends in a line-break tag of its own ("<br>", "<BR>", "<br/>", "<br />"): a
// marker after it would make a second, empty line on the page.
bool endsInBreakTag(const QString& text)
{
    if (!text.endsWith(u'>'))
        return false;
    const qsizetype open = text.lastIndexOf(u'<');
    if (open < 0)
        return false;
    QStringView tag = QStringView(text).sliced(open + 1, text.size() - open - 2);
    if (tag.endsWith(u'/'))
        tag.chop(1);
    while (!tag.isEmpty() && tag.back().isSpace())
        tag.chop(1);
    return tag.compare(u"br", Qt::CaseInsensitive) == 0;
}

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

AnswerParts answerParts(const QString& stored, bool markersOn)
{
    AnswerParts parts;
    QString run;
    auto addBreak = [&](const QString& chars) {
        if (!run.isEmpty())
            parts.append({run, false, QString()});
        run.clear();
        parts.append({QString(), true, chars});
    };
    const qsizetype n = stored.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = stored[i];
        if (!endsLine(c)) {
            run += c;
            continue;
        }
        if (c == u'\r' && i + 1 < n && stored[i + 1] == u'\n') {
            ++i;
            if (markersOn && run.endsWith(kMarker)) {
                run.chop(kMarker.size());
                addBreak(kMarkedCrLf);
            } else {
                addBreak(kCrLf);
            }
            continue;
        }
        addBreak(QString(c));
    }
    if (!run.isEmpty())
        parts.append({run, false, QString()});
    return parts;
}

QString storedAnswer(const AnswerParts& parts, bool markersAtSave)
{
    QString result;
    for (const AnswerPart& p : parts) {
        if (!p.isBreak) {
            result += p.text;
        } else if (!p.stored.isEmpty() && !isCrLfBreak(p)) {
            result += p.stored; // a lone CR or LF, U+2028, U+2029: never a break for the marker
        } else if (!markersAtSave) {
            result += kCrLf;
        } else if (p.stored == kMarkedCrLf) {
            result += kMarkedCrLf;
        } else {
            // Every CR LF is marked, the loaded ones too, unless the line already ends in a break tag.
            result += endsInBreakTag(result) ? kCrLf : kMarkedCrLf;
        }
    }
    return result;
}

QString joinedAnswer(const AnswerParts& parts, const QString& lineBreak)
{
    QString result;
    for (const AnswerPart& p : parts)
        result += p.isBreak ? lineBreak : p.text;
    return result;
}

int byteCount(const QString& text)
{
    int sum = 0;
    for (const QChar c : text)
        sum += c.unicode() >= 0x1000 ? 2 : 1;
    return sum;
}

} // namespace qadora
