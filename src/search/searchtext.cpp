// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchtext.h"

#include "search/nfkc.h"

namespace qadora {

namespace {

void lowerAscii(QString& text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u + (u'a' - u'A')));
    }
}

} // namespace

QString foldForSearch(QStringView text)
{
    QString folded = toNfkc(text);
    lowerAscii(folded);
    return folded;
}

QStringList searchWords(QStringView query)
{
    QStringList words;
    const QString folded = foldForSearch(query);
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool space = i == folded.size() || folded[i].isSpace();
        if (!space && start < 0)
            start = i;
        if (space && start >= 0) {
            const QString word = folded.mid(start, i - start);
            if (!words.contains(word))
                words << word;
            start = -1;
        }
    }
    return words;
}

} // namespace qadora
