// SPDX-License-Identifier: GPL-3.0-or-later
// main1: the way back. A backup before a session's first change to a database (and before every
// import, kind rename and restore) and ファイル →
// バックアップから復元…; 編集 → 元に戻す and やり直し over every change of records; the question
// before closing over input not yet stored.
#include "ui/main1.h"

#include "history/backups.h"
#include "store/recordstore.h"
#include "ui/answerbox.h"
#include "ui/folderpicker.h"
#include "ui/interaction.h"
#include "ui/recordsearch.h"
#include "ui/restoredialog.h"
#include "ui/undoablechange.h"
#include "views/listings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QStatusBar>
#include <QUndoGroup>
#include <QUndoStack>

namespace qadora {

namespace {

// The store's refusal names the record in its second line; its first line speaks of undoing.
QString refusal(const StoreStatus& status, const QString& firstLine)
{
    if (status.code != StoreStatus::Conflict)
        return status.message;
    const qsizetype cut = status.message.indexOf(QLatin1Char('\r'));
    return firstLine + (cut < 0 ? QString() : status.message.mid(cut));
}

bool isUndoKey(const QKeyEvent* key)
{
    return key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Z);
}

bool isRedoKey(const QKeyEvent* key)
{
    return key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y)
        || key->keyCombination() == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

// A text box claims Ctrl+Z and Ctrl+Y for its own typing. While it has nothing of its own to
// undo or redo, the keys go to 元に戻す and やり直し: after an add has emptied the boxes, Ctrl+Z
// takes the add back.
class HistoryKeys final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool undoKey = isUndoKey(key);
        if (!undoKey && !isRedoKey(key))
            return false;
        bool own = false;
        if (const auto* edit = qobject_cast<QLineEdit*>(watched))
            own = !edit->isReadOnly() && (undoKey ? edit->isUndoAvailable() : edit->isRedoAvailable());
        else if (const auto* box = qobject_cast<QPlainTextEdit*>(watched))
            own = !box->isReadOnly()
                && (undoKey ? box->document()->isUndoAvailable() : box->document()->isRedoAvailable());
        // Filtered out, the override stays unclaimed and the window's shortcut runs.
        return !own;
    }
};

QListWidgetItem* selectedItem(const QListWidget* list)
{
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

// Fills `list` again, keeping the selected line selected when it is still there.
void refill(QListWidget* list, const QStringList& lines)
{
    const QListWidgetItem* selected = selectedItem(list);
    const QString kept = selected ? selected->text() : QString();
    const int row = selected ? list->row(selected) : -1;
    list->clear();
    list->addItems(lines);
    if (row < 0)
        return;
    // The same line at the same place first; else the first line of that text.
    const int again = row < lines.size() && lines[row] == kept ? row : int(lines.indexOf(kept));
    if (again >= 0)
        list->setCurrentRow(again);
}

bool listed(const QListWidget* list, const QLabel* count)
{
    return list->count() > 0 || !count->text().isEmpty();
}

} // namespace

void main1::connectHistory()
{
    m_history = new QUndoGroup(this);
    undo->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Z));
    redo->setShortcuts({QKeySequence(Qt::ControlModifier | Qt::Key_Y),
                        QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z)});
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(m_history, &QUndoGroup::canUndoChanged, undo, &QAction::setEnabled);
    connect(m_history, &QUndoGroup::canRedoChanged, redo, &QAction::setEnabled);
    connect(m_history, &QUndoGroup::undoTextChanged, undo, [this](const QString& text) { undo->setStatusTip(text); });
    connect(m_history, &QUndoGroup::redoTextChanged, redo, [this](const QString& text) { redo->setStatusTip(text); });
    connect(undo, &QAction::triggered, this, &main1::undo_Click);
    connect(redo, &QAction::triggered, this, &main1::redo_Click);
    connect(restore, &QAction::triggered, this, &main1::restore_Click);

    auto* keys = new HistoryKeys(this);
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->installEventFilter(keys);
    for (AnswerBox* box : findChildren<AnswerBox*>())
        box->installEventFilter(keys);
}

bool main1::backUpBeforeChange(const QString& database, BackupReason reason)
{
    QString error;
    if (m_backups->before(database, reason, &error))
        return true;
    notice(backupFailedMessage(error));
    return false;
}

QUndoStack* main1::undoStack() const
{
    return m_history->activeStack();
}

void main1::followHistory()
{
    if (m_dbPath.isEmpty()) {
        m_history->setActiveStack(nullptr);
        return;
    }
    QUndoStack*& stack = m_stacks[QFileInfo(m_dbPath).absoluteFilePath()];
    if (!stack)
        stack = new QUndoStack(m_history);
    m_history->setActiveStack(stack);
}

void main1::forgetHistory(const QString& database)
{
    if (QUndoStack* stack = m_stacks.value(QFileInfo(database).absoluteFilePath()))
        stack->clear();
    m_backups->forget(database);
}

StoreStatus main1::writeChanges(const QString& database, const ChangeSet& changes)
{
    StoreStatus status;
    auto store = openStore(database, &status);
    if (!store)
        return status;
    if (QString error; !m_backups->beforeFirstChange(database, &error))
        return {StoreStatus::Failed, backupFailedMessage(error)};
    return store->applyChanges(changes);
}

void main1::recordUndoable(const ChangeSet& done, const QString& text)
{
    followDatabase();
    if (QUndoStack* stack = undoStack()) {
        stack->push(new UndoableChange(m_dbPath, done, text, [this](const QString& database, const ChangeSet& changes) {
            return writeChanges(database, changes);
        }));
    }
}

bool main1::applyUndoable(const ChangeSet& changes, const QString& text, BackupReason reason)
{
    auto store = storeForWriting(reason);
    if (!store)
        return false;
    const StoreStatus status = store->applyChanges(changes);
    if (!status.ok()) {
        notice(refusal(status, QStringLiteral("ほかのプログラムがこのデータを変更したため、変更できません")));
        return false;
    }
    recordUndoable(changes, text);
    return true;
}

void main1::undo_Click()
{
    moveInHistory(true);
}

void main1::redo_Click()
{
    moveInHistory(false);
}

void main1::moveInHistory(bool back)
{
    followDatabase();
    QUndoStack* stack = undoStack();
    if (!stack || !(back ? stack->canUndo() : stack->canRedo()))
        return;
    auto* step = static_cast<UndoableChange*>(const_cast<QUndoCommand*>(stack->command(stack->index() - (back ? 1 : 0))));
    back ? stack->undo() : stack->redo();
    const StoreStatus status = step->status();
    if (!status.ok()) {
        // Nothing was written: the stack moves back to where the database is, and the step
        // can be tried again once the record is as it expects.
        step->skipNextWrite();
        back ? stack->redo() : stack->undo();
        notice(back ? status.message : refusal(status, QStringLiteral("ほかのプログラムがこのデータを変更したため、やり直せません")));
        return;
    }
    relistShown();
    statusBar()->showMessage((back ? QStringLiteral("元に戻しました：") : QStringLiteral("やり直しました：")) + step->text());
}

void main1::relistShown()
{
    if (m_dbPath.isEmpty())
        return;
    followDatabase(); // the record count and the search index at once
    const ReadSnapshot snapshot(m_dbPath); // every list shows the same records
    QString message;
    const int n = countRecords(m_dbPath, &message);
    if (!message.isEmpty())
        return; // the lists stay as they were until the user lists again and is told why
    const QStringList kinds = n > 0 ? listKinds(m_dbPath, n).kinds : QStringList();
    if (List8->count() > 0)
        refill(List8, kinds);
    if (List12->count() > 0)
        refill(List12, kinds);
    if (Combo1->count() > 0) {
        const QString typed = Combo1->currentText();
        Combo1->clear();
        Combo1->addItems(kinds);
        Combo1->setEditText(typed);
    }
    auto list = [&](const std::optional<QString>& kind, LineFormat format) {
        return n > 0 ? listRecords(m_dbPath, n, kind, format) : Listing{};
    };
    if (listed(List1, Label6)) {
        refill(List1, list(std::nullopt, LineFormat::Question).visible);
        Label6->setText(QString::number(n));
    }
    if (listed(List4, Label9)) {
        refill(List4, list(std::nullopt, LineFormat::Question).visible);
        Label9->setText(QString::number(n));
    }
    // The delete and change tabs keep the kind they were restricted to.
    const QListWidgetItem* restriction = selectedItem(List12);
    if (!Check3->isChecked() || restriction) {
        const std::optional<QString> kind = Check3->isChecked() ? std::optional(restriction->text()) : std::nullopt;
        for (auto [questions, count] : {std::pair(List2, Label7), std::pair(List3, Label13)}) {
            if (!listed(questions, count))
                continue;
            const Listing listing = list(kind, LineFormat::Question);
            refill(questions, listing.visible);
            count->setText(QString::number(listing.matched));
            m_search->listed(questions, listing, true); // a search in its box narrows it again
        }
    }
    if (listed(List9, Label24) && (Option1->isChecked() || selectedItem(List8))) {
        const std::optional<QString> kind = Option1->isChecked() ? std::nullopt : std::optional(selectedItem(List8)->text());
        const Listing listing = list(kind, LineFormat::Summary);
        refill(List9, listing.visible);
        refill(List10, listing.companion);
        Label24->setText(QString::number(kind ? listing.matched : n));
        m_search->listed(List9, listing, true);
    }
}

void main1::restore_Click()
{
    if (m_dbPath.isEmpty()) {
        notice(kNoDatabaseMessage);
        return;
    }
    const QList<BackupEntry> backups = backupsOf(m_dbPath);
    if (backups.isEmpty()) {
        notice(QStringLiteral("このデータベースのバックアップはまだありません") + QLatin1Char('\r') + m_dbPath);
        return;
    }
    RestoreDialog dialog(m_dbPath, backups, this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen() < 0)
        return;
    const BackupEntry& chosen = backups[dialog.chosen()];
    QString unreadable;
    const int now = countRecords(m_dbPath, &unreadable);
    const QString counts = QStringLiteral("現在 %1 → 復元後 %L2 件")
                               .arg(unreadable.isEmpty() ? QStringLiteral("%L1 件").arg(now) : QStringLiteral("読み込めません"))
                               .arg(chosen.records);
    if (!m_interaction->ask(QStringLiteral("復元確認"),
                            QLatin1Char('\n') + m_dbPath + QLatin1Char('\n') + QStringLiteral("を、") + backupLine(chosen)
                                + QStringLiteral(" のバックアップの内容に戻します。") + QLatin1Char('\n') + counts
                                + QLatin1Char('\n') + QStringLiteral("今の内容はバックアップとして残します。よろしいですか？"),
                            Interaction::Icon::Warning, true))
        return;
    QString error;
    if (!restoreBackup(chosen.path, m_dbPath, &error)) {
        notice(QStringLiteral("バックアップから復元できませんでした") + QLatin1Char('\r') + error);
        return;
    }
    forgetHistory(m_dbPath);
    relistShown();
    File1->refresh();
    statusBar()->showMessage(QStringLiteral("バックアップから復元しました：") + backupLine(chosen));
}

bool main1::hasUnsavedInput() const
{
    if (!Text1->text().isEmpty() || !rtext1->document()->isEmpty())
        return true;
    const bool typed = !Text3->text().isEmpty() || !Text4->text().isEmpty() || !Text5->document()->isEmpty();
    // A loaded record counts once it was edited; boxes filled by hand count as they are.
    return typed
        && (!m_changeLoaded || Text3->isModified() || Text4->isModified() || Text5->document()->isModified());
}

bool main1::mayClose()
{
    return !hasUnsavedInput()
        || m_interaction->ask(QStringLiteral("終了確認"), QStringLiteral("追加または保存していない入力があります。終了しますか？"),
                              Interaction::Icon::Warning, true);
}

} // namespace qadora
