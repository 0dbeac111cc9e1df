// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/nfkc.h"

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

} // namespace

QString toNfkc(QStringView text)
{
    const UNormalizer2* n = nfkc();
    UErrorCode error = U_ZERO_ERROR;
    QString folded;
    // Most texts are already in NFKC; the check is far cheaper than normalizing.
    if (unorm2_spanQuickCheckYes(n, icu(text), int32_t(text.size()), &error) == text.size() || U_FAILURE(error))
        return text.toString();
    folded.resize(text.size() + 16);
    for (;;) {
        error = U_ZERO_ERROR;
        const int32_t length = unorm2_normalize(n, icu(text), int32_t(text.size()),
                                                reinterpret_cast<UChar*>(folded.data()), int32_t(folded.size()), &error);
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            folded.resize(length);
            continue;
        }
        if (U_FAILURE(error))
            return text.toString();
        folded.resize(length);
        return folded;
    }
}

} // namespace qadora
