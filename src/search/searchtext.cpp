// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchtext.h"

#include "search/nfkc.h"

#include <algorithm>

namespace qadora {

namespace {

// What NFKC makes of each character from U+FF00 on (full-width ASCII, half-width katakana
// and signs), where that is one character; 0 elsewhere. A character replaced by such a form
// leaves what NFKC gives of the whole text as it was (its compatibility decomposition is the
// same), and the replaced text mostly passes the normalizer's quick check whole: nearly every
// Japanese text holds a full-width parenthesis or digit, after which the rest was normalized.
struct WidthForms {
    char16_t to[0x100] = {};
    char16_t ideographicSpace = 0;
    WidthForms()
    {
        for (int i = 0; i < 0x100; ++i) {
            const char16_t u = char16_t(0xff00 + i);
            const QString form = toNfkc(QStringView(&u, 1));
            if (form.size() == 1)
                to[i] = form[0].unicode();
        }
        const char16_t space = 0x3000;
        const QString form = toNfkc(QStringView(&space, 1));
        ideographicSpace = form.size() == 1 ? form[0].unicode() : space;
    }
};

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
    static const WidthForms widths;
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    const char16_t* first = std::find_if(begin, end, [](char16_t u) { return u >= 0xff00 || u == 0x3000; });
    QString folded;
    if (first == end) {
        folded = toNfkc(text);
    } else {
        QString narrowed = text.toString();
        char16_t* const units = reinterpret_cast<char16_t*>(narrowed.data());
        for (qsizetype i = first - begin; i < narrowed.size(); ++i) {
            const char16_t u = units[i];
            if (u >= 0xff00 && widths.to[u - 0xff00])
                units[i] = widths.to[u - 0xff00];
            else if (u == 0x3000)
                units[i] = widths.ideographicSpace;
        }
        folded = toNfkc(narrowed);
    }
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
