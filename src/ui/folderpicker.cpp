// SPDX-License-Identifier: GPL-3.0-or-later
#include "folderpicker.h"

#include "site/pagefile.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QStyle>

namespace qadora {

DirList::DirList(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setIndentation(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 3 / 2);
    setItemsExpandable(false);
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { setPath(item->data(0, Qt::UserRole).toString()); });
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
    QTreeWidgetItem* parentItem = nullptr;
    for (const QString& dir : std::as_const(chain)) {
        const QString name = parentItem ? QFileInfo(dir).fileName() : dir;
        auto* item = parentItem ? new QTreeWidgetItem(parentItem, {name}) : new QTreeWidgetItem(this, {name});
        item->setIcon(0, open);
        item->setData(0, Qt::UserRole, dir);
        item->setExpanded(true);
        parentItem = item;
    }
    setCurrentItem(parentItem);
    const QFileInfoList children =
        QDir(m_path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& child : children) {
        auto* item = new QTreeWidgetItem(parentItem, {child.fileName()});
        item->setIcon(0, closed);
        item->setData(0, Qt::UserRole, child.absoluteFilePath());
    }
    parentItem->setExpanded(true);
    scrollToItem(parentItem);
}

void DirList::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
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
