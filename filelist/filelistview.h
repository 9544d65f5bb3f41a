// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "core/rowoutcome.h"

#include <QStringList>
#include <QTreeWidget>

namespace quorvane {

// The file list: one report column of full paths, in the order they were added, duplicates allowed. Rows
// are counted from 1. It takes drops of files and folders and refuses every other drag.
class FileListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileListView(QWidget* parent = nullptr);

    void AppendRow(const QString& path);
    int rowCount() const { return topLevelItemCount(); }
    QString rowText(int row) const; // 1-based
    // Removes the row the list reports as selected (the current row, when it is selected); false if none.
    bool removeSelectedRow();
    void removeAllRows() { clear(); }

    // What the last run made of a row, shown as an icon and a tooltip; the row's text stays as it is.
    void setRowOutcome(int row, const RowOutcome& outcome); // 1-based
    RowOutcome rowOutcome(int row) const;
    void clearRowOutcomes();

signals:
    void dblClick();
    void keyDown(int key, Qt::KeyboardModifiers shift);
    // Local paths in the order the drag source gave them.
    void filesDropped(const QStringList& paths);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static QStringList localPaths(const QMimeData* data);
};

} // namespace quorvane
