// SPDX-License-Identifier: GPL-3.0-or-later
// Makers of the main window's own controls, shared by the files that build its tabs.
#pragma once

#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace qadora {

class AnswerBox;

namespace windowcontrols {

// A bordered label that shows a number centred.
QLabel* countLabel(const char* name, QWidget* parent);
// A button that Enter presses while it has the focus.
QPushButton* button(const char* name, const QString& text, QWidget* parent);
QLineEdit* lineEdit(const char* name, QWidget* parent, const QString& text = QString());
AnswerBox* multiLine(const char* name, QWidget* parent);
// A record list whose rows stay one line each.
QListWidget* list(const char* name, QWidget* parent);
// A search box over a record list.
QLineEdit* searchBox(const char* name, QWidget* parent);
QFrame* line(const char* name, QWidget* parent);
// A label whose caption breaks its lines at a lone CR, as the program's captions do;
// text() keeps the caption exactly as set.
QLabel* crLabel(const char* name, QWidget* parent);

} // namespace windowcontrols
} // namespace qadora
