// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/nfkc.h"

#include <unicode/unorm2.h>

#include <algorithm>

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
    // Most texts are already in NFKC, or up to a late character such as a full-width
    // parenthesis: the check is far cheaper than normalizing, and only the rest after the
    // part that passes it is normalized, appended to that part as it is.
    const int32_t clean = unorm2_spanQuickCheckYes(n, icu(text), int32_t(text.size()), &error);
    if (clean == text.size() || U_FAILURE(error))
        return text.toString();
    const QStringView rest = text.sliced(clean);
    QString folded;
    folded.resize(text.size() + 16);
    for (;;) {
        error = U_ZERO_ERROR;
        std::copy(text.begin(), text.begin() + clean, folded.begin());
        const int32_t length = unorm2_normalizeSecondAndAppend(n, reinterpret_cast<UChar*>(folded.data()), clean,
                                                               int32_t(folded.size()), icu(rest), int32_t(rest.size()),
                                                               &error);
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
