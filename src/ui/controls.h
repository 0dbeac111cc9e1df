// SPDX-License-Identifier: GPL-3.0-or-later
// Makers of the window's and the dialogs' controls. Every control carries its name as its
// objectName: the program's handlers, its tests and accessibility tools find it by that name.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace qadora {

template<typename T>
T* named(const char* name, QWidget* parent)
{
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

// A named control that shows `text`: a label, a button, an option or a check box.
template<typename T>
T* captioned(const char* name, const QString& text, QWidget* parent)
{
    auto* w = named<T>(name, parent);
    w->setText(text);
    return w;
}

// A named label for texts the program did not write (file names, records' texts): shown as they
// are, never as rich text, and wrapped.
inline QLabel* plainLabel(const char* name, QWidget* parent)
{
    auto* l = named<QLabel>(name, parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

} // namespace qadora
