// SPDX-License-Identifier: GPL-3.0-or-later
// Answers are stored with CR LF line breaks, each marked with "<br>" while the line-break
// option is on. A text box shows a stored answer as runs of text and line breaks; a break
// that came from the store keeps the characters it stands for, so what nobody edited goes
// back to the store exactly as it was, and only the breaks a person typed become CR LF.
#pragma once

#include <QList>
#include <QString>

namespace qadora {

// "<br>" before every CR LF when `on`; the text unchanged otherwise.
QString brplus(const QString& aaa, bool on);
// Removes the "<br>" that stands right before a CR LF when `on`.
QString brhiku(const QString& aaa, bool on);

struct AnswerPart {
    QString text;    // a run without line breaks; empty for a break
    bool isBreak = false;
    QString stored;  // a break loaded from the store: the characters it stands for; empty when typed

    bool operator==(const AnswerPart&) const = default;
};
using AnswerParts = QList<AnswerPart>;

// A stored answer as a box shows it, with brhiku applied: every line break (CR LF, lone CR,
// lone LF, U+2028, U+2029) becomes a break part; with `markersOn` a "<br>" right before a
// CR LF belongs to its break.
AnswerParts answerParts(const QString& stored, bool markersOn);

// The text to store, brplus applied. Every CR LF break, loaded or typed, becomes CR LF, and
// with `markersAtSave` "<br>" CR LF, except after a line that already ends in a break tag
// ("a<BR>" is not given a second break); a loaded "<br>" CR LF keeps its marker. Lone CR,
// lone LF, U+2028 and U+2029 stay exactly as loaded.
QString storedAnswer(const AnswerParts& parts, bool markersAtSave);

// The box's text with every break written as `lineBreak`.
QString joinedAnswer(const AnswerParts& parts, const QString& lineBreak);

// 2 for every UTF-16 code unit of 0x1000 or more, 1 for every other one.
int byteCount(const QString& text);

} // namespace qadora
