// SPDX-License-Identifier: GPL-3.0-or-later
// Answers are stored with CR LF line breaks, each marked with "<br>" while the line-break
// option is on; the window's text boxes work with "\n".
#pragma once

#include <QString>

namespace qadora {

// "<br>" before every CR LF when `on`; the text unchanged otherwise.
QString brplus(const QString& aaa, bool on);
// Removes the "<br>" that stands right before a CR LF when `on`.
QString brhiku(const QString& aaa, bool on);

// Text of a multi-line box ("\n") to the stored form (CR LF).
QString toStoredLineBreaks(const QString& boxText);
// Stored text (CR LF) to what a multi-line box shows ("\n").
QString toBoxLineBreaks(const QString& stored);

// 2 for every UTF-16 code unit of 0x1000 or more, 1 for every other one.
int byteCount(const QString& text);

} // namespace qadora
