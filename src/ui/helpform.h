// SPDX-License-Identifier: GPL-3.0-or-later
// The help window "説明": a fixed explanatory text and a close button.
#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace qadora {

class helpform : public QWidget {
    Q_OBJECT
public:
    explicit helpform(QWidget* parent = nullptr);

    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
};

// The help text, CR LF line ends.
QString helpText();
// The text of the version box, CR LF line ends.
QString versionText();

} // namespace qadora
