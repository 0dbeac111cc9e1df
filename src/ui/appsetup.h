// SPDX-License-Identifier: GPL-3.0-or-later
// What makes the program a Japanese desktop program whatever the system's locale: Qt's own
// texts (はい, いいえ, キャンセル, the file dialogs, text boxes' menus) in Japanese, and
// Japanese fonts where they are installed.
#pragma once

#include <QFont>

class QApplication;

namespace qadora {

// Loads Qt's Japanese translations (qtbase_ja) and makes Japanese the default locale; a
// missing translation file is no error. Chooses the interface font.
void setUpJapanese(QApplication& app);

// The interface font: Noto Sans CJK JP when installed, so that Latin letters, digits, ①–④
// and kana come from one font.
QFont interfaceFont();
// A fixed-pitch font for the help text's page diagram, whose columns line up only when kana
// are exactly twice as wide as Latin letters: Noto Sans Mono CJK JP when installed.
QFont diagramFont();

} // namespace qadora
