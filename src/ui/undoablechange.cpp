// SPDX-License-Identifier: GPL-3.0-or-later
#include "undoablechange.h"

namespace qadora {

UndoableChange::UndoableChange(const QString& database, const ChangeSet& changes, const QString& text, Writer write)
    : m_database(database)
    , m_changes(changes)
    , m_write(std::move(write))
{
    setText(text);
}

void UndoableChange::undo()
{
    write(inverted(m_changes));
}

void UndoableChange::redo()
{
    write(m_changes);
}

void UndoableChange::write(const ChangeSet& changes)
{
    if (m_skip) {
        m_skip = false;
        m_status = StoreStatus::success();
        return;
    }
    m_status = m_write(m_database, changes);
}

} // namespace qadora
