// SPDX-License-Identifier: GPL-3.0-or-later
// The search page's script in three parts, joined by searchScript(): the matching functions,
// the search over the index files, and what the page does with them.
#pragma once

#include <QByteArray>

namespace qadora::searchscript {

QByteArray matching();
QByteArray searcher();
QByteArray page();

} // namespace qadora::searchscript
