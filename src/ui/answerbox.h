// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-line answer boxes. A line break loaded from the store is shown as a line
// separator that carries the stored characters it stands for; a break the user types
// (Enter, Shift+Enter, a paste) carries nothing. Text is read without the lossy plain-text
// conversion of QTextDocument, so a no-break space stays one.
#pragma once

#include "editing/linebreaks.h"

#include <QPlainTextEdit>

namespace qadora {

class AnswerBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit AnswerBox(QWidget* parent = nullptr);

    void setParts(const AnswerParts& parts);
    AnswerParts parts() const;

protected:
    // A separator the user adds is inserted without a format of its own, so it never
    // inherits the mark of a loaded break it is typed beside.
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void insertUnformatted(const QString& text);
};

} // namespace qadora
