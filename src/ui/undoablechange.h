// SPDX-License-Identifier: GPL-3.0-or-later
// One step of the window's history: changes of records in one database, written as one
// transaction, taken back by their inverse. The step keeps the path of its database.
#pragma once

#include "store/recordstore.h"

#include <QUndoCommand>

#include <functional>

namespace qadora {

class UndoableChange : public QUndoCommand {
public:
    // Writes a change set to a database in one transaction; what it says is the step's status.
    using Writer = std::function<StoreStatus(const QString& database, const ChangeSet& changes)>;

    // `changes` are already written when the step is pushed: its first redo() writes nothing.
    UndoableChange(const QString& database, const ChangeSet& changes, const QString& text, Writer write);

    void undo() override;
    void redo() override;

    QString database() const { return m_database; }
    const ChangeSet& changes() const { return m_changes; }
    // Of the last undo() or redo(); one that failed wrote nothing.
    StoreStatus status() const { return m_status; }
    // The next undo() or redo() writes nothing: the stack only moves back to where the
    // database is, after a write that failed.
    void skipNextWrite() { m_skip = true; }

private:
    void write(const ChangeSet& changes);

    QString m_database;
    ChangeSet m_changes;
    Writer m_write;
    bool m_skip = true;
    StoreStatus m_status;
};

} // namespace qadora
