// SPDX-License-Identifier: GPL-3.0-or-later
// A label that shows a path in one line, shortened in the middle when it does not fit, with
// the whole path as its tooltip, with the system's separators ("\" on Windows). text() is the
// whole path as the program keeps it: the program reads it.
#pragma once

#include <QLabel>

namespace qadora {

class PathLabel : public QLabel {
    Q_OBJECT
public:
    explicit PathLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    // The text as it is drawn now.
    QString shownText() const;
    // The whole path as the user reads it.
    QString wholeText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

} // namespace qadora
