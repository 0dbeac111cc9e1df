// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the search boxes above List9, List2 and List3.
#include "ui/main1.h"

#include "ui/recordsearch.h"

#include <QLineEdit>
#include <QListWidget>

namespace qadora {

void main1::connectSearch()
{
    m_search = new RecordSearch([this] { return m_dbPath; }, this);
    m_search->attach(searchDisplay, List9, List10, Label24, [this] { Command18_Click(); });
    m_search->attach(searchDelete, List2, nullptr, Label7, [this] { Command5_Click(); });
    m_search->attach(searchModify, List3, nullptr, Label13, [this] { Command2_Click(); });
}

} // namespace qadora
