// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchtext.h"

#include <unicode/unorm2.h>

namespace qadora {

namespace {

const UNormalizer2* nfkc()
{
    static const UNormalizer2* instance = [] {
        UErrorCode error = U_ZERO_ERROR;
        const UNormalizer2* n = unorm2_getNFKCInstance(&error);
        if (U_FAILURE(error))
            qFatal("ICU has no NFKC normalizer: %s", u_errorName(error));
        return n;
    }();
    return instance;
}

const UChar* icu(QStringView text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

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
    const UNormalizer2* n = nfkc();
    UErrorCode error = U_ZERO_ERROR;
    QString folded;
    // Most texts are already in NFKC; the check is far cheaper than normalizing.
    if (unorm2_spanQuickCheckYes(n, icu(text), int32_t(text.size()), &error) == text.size() || U_FAILURE(error)) {
        folded = text.toString();
    } else {
        folded.resize(text.size() + 16);
        for (;;) {
            error = U_ZERO_ERROR;
            const int32_t length = unorm2_normalize(n, icu(text), int32_t(text.size()),
                                                    reinterpret_cast<UChar*>(folded.data()), int32_t(folded.size()), &error);
            if (error == U_BUFFER_OVERFLOW_ERROR) {
                folded.resize(length);
                continue;
            }
            folded.resize(U_FAILURE(error) ? 0 : length);
            if (U_FAILURE(error))
                folded = text.toString();
            break;
        }
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
