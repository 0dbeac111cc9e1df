// SPDX-License-Identifier: GPL-3.0-or-later
// How the search boxes compare texts.
#pragma once

#include <QStringList>

namespace qadora {

// A text as the search compares it: Unicode NFKC (full-width letters and digits become
// half-width, half-width katakana full-width, the ideographic space a space), then the ASCII
// letters in lower case. Hiragana and katakana stay apart; other scripts keep their case.
QString foldForSearch(QStringView text);

// The words of a search box's text, folded, each once: split at white space. Empty when
// there is nothing to look for.
QStringList searchWords(QStringView query);

} // namespace qadora
