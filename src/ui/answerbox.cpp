// SPDX-License-Identifier: GPL-3.0-or-later
#include "answerbox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace qadora {

namespace {
constexpr int kStoredBreak = QTextFormat::UserProperty + 1;
} // namespace

AnswerBox::AnswerBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
}

void AnswerBox::setParts(const AnswerParts& parts)
{
    QTextDocument* doc = document();
    doc->setUndoRedoEnabled(false); // loading is not an edit the user can undo
    doc->clear();
    QTextCursor cursor(doc);
    const QTextCharFormat plain;
    for (const AnswerPart& p : parts) {
        if (!p.isBreak) {
            cursor.insertText(p.text, plain);
        } else if (p.stored.isEmpty()) {
            cursor.insertBlock();
        } else {
            QTextCharFormat loaded;
            loaded.setProperty(kStoredBreak, p.stored);
            cursor.insertText(QString(QChar::LineSeparator), loaded);
        }
    }
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    moveCursor(QTextCursor::Start);
}

AnswerParts AnswerBox::parts() const
{
    AnswerParts parts;
    QString run;
    auto addBreak = [&](const QString& stored) {
        if (!run.isEmpty())
            parts.append({run, false, QString()});
        run.clear();
        parts.append({QString(), true, stored});
    };
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            addBreak(QString());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString stored = fragment.charFormat().property(kStoredBreak).toString();
            for (const QChar c : fragment.text()) {
                if (c == QChar::LineSeparator)
                    addBreak(stored);
                else
                    run += c;
            }
        }
    }
    if (!run.isEmpty())
        parts.append({run, false, QString()});
    return parts;
}

void AnswerBox::insertUnformatted(const QString& text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(text, QTextCharFormat());
    setTextCursor(cursor);
    ensureCursorVisible();
}

void AnswerBox::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && mods == Qt::ShiftModifier && !isReadOnly()) {
        insertUnformatted(QString(QChar::LineSeparator));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void AnswerBox::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    insertUnformatted(source->text());
}

} // namespace qadora
