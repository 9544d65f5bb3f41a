// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "filelist/filelistview.h"

#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>
#include <QUrl>

#include <iterator>

namespace quorvane {

FileListView::FileListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true); // keeps a list of a hundred thousand rows quick
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void FileListView::AppendRow(const QString& path)
{
    auto* item = new QTreeWidgetItem(QStringList { path });
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    addTopLevelItem(item);
}

QString FileListView::rowText(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row - 1);
    return item ? item->text(0) : QString();
}

bool FileListView::removeSelectedRow()
{
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return false;
    delete item;
    return true;
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    emit dblClick();
}

void FileListView::keyPressEvent(QKeyEvent* event)
{
    emit keyDown(event->key(), event->modifiers());
    if (event->key() != Qt::Key_Delete)
        QTreeWidget::keyPressEvent(event);
}

QStringList FileListView::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths << QDir::toNativeSeparators(url.toLocalFile());
    }
    return paths;
}

void FileListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListView::dropEvent(QDropEvent* event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}

void FileListView::setRowOutcome(int row, const RowOutcome& outcome)
{
    QTreeWidgetItem* const item = topLevelItem(row - 1);
    if (!item)
        return;
    // One icon a kind, in the order of RowOutcome::Kind: a tick, a note, stop, a warning, a cross, a question.
    static constexpr QStyle::StandardPixmap icons[] = { QStyle::SP_CustomBase, QStyle::SP_DialogApplyButton,
        QStyle::SP_MessageBoxInformation, QStyle::SP_MediaStop, QStyle::SP_MessageBoxWarning,
        QStyle::SP_DialogCancelButton, QStyle::SP_MessageBoxQuestion, QStyle::SP_MessageBoxCritical };
    static_assert(std::size(icons) == RowOutcome::Failed + 1);
    item->setIcon(0, outcome.kind == RowOutcome::None ? QIcon() : style()->standardIcon(icons[outcome.kind]));
    item->setToolTip(0, outcome.text);
    item->setData(0, Qt::UserRole, outcome.kind == RowOutcome::None ? QVariant() : QVariant(int(outcome.kind)));
}

RowOutcome FileListView::rowOutcome(int row) const
{
    const QTreeWidgetItem* const item = topLevelItem(row - 1);
    if (!item || !item->data(0, Qt::UserRole).isValid())
        return {};
    return { static_cast<RowOutcome::Kind>(item->data(0, Qt::UserRole).toInt()), item->toolTip(0) };
}

void FileListView::clearRowOutcomes()
{
    for (int row = 1; row <= rowCount(); ++row)
        setRowOutcome(row, {});
}

} // namespace quorvane
