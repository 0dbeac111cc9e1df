// SPDX-License-Identifier: GPL-3.0-or-later
// The directory list Dir1 and the file list File1 of the html tab.
#pragma once

#include <QListWidget>
#include <QTreeWidget>

namespace qadora {

// A tree of the current directory: its ancestors from "/" down, each inside the one above,
// and its subdirectories inside it. An activated entry becomes the current directory.
// setPath() emits pathChanged() before it returns.
class DirList : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // False (and nothing changes) when `path` is not an existing directory.
    bool setPath(const QString& path);
    void refresh();

signals:
    void pathChanged(const QString& path);
    void rightButtonReleased();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_path;
};

// Every ordinary file of one directory, by name; no filter.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString& path);
    void refresh();

private:
    QString m_path;
};

} // namespace qadora
