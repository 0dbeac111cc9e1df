// SPDX-License-Identifier: GPL-3.0-or-later
#include "folderpicker.h"

#include "site/pagefile.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QStyle>

namespace qadora {

DirList::DirList(QWidget* parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setPath(item->data(Qt::UserRole).toString()); });
}

bool DirList::setPath(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    m_path = outputDirForm(path);
    refresh();
    emit pathChanged(m_path);
    return true;
}

void DirList::refresh()
{
    clear();
    if (m_path.isEmpty())
        return;
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the current directory, then its subdirectories.
    QStringList chain;
    for (QDir d(m_path);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& dir : std::as_const(chain)) {
        const QString name = depth == 0 ? dir : QFileInfo(dir).fileName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, dir);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QFileInfoList children =
        QDir(m_path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& child : children) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + child.fileName(), this);
        item->setData(Qt::UserRole, child.absoluteFilePath());
    }
}

void DirList::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton)
        emit rightButtonReleased();
}

FileList::FileList(QWidget* parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
}

void FileList::setPath(const QString& path)
{
    m_path = path;
    refresh();
}

void FileList::refresh()
{
    clear();
    if (m_path.isEmpty())
        return;
    // Every file, dot-files, links and special files included: "ﾃﾞｨﾚｸﾄﾘ内全削除" removes what
    // this list shows.
    addItems(QDir(m_path).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name));
}

} // namespace qadora
