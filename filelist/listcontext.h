// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "core/mousepointer.h"

#include <QStringList>

#include <functional>

namespace quorvane {

class AppSettings;
class CommonDialog;
class Dialogs;
class FileAttributes;
class FileListView;
class FolderListing;
class Shell;
class SystemFolders;

// What the ways of filling the list work with: the window's list and controls, and the system's services.
struct ListContext {
    Dialogs& dialogs;
    CommonDialog& commonDialog;
    FileListView& list;
    AppSettings& settings;
    FolderListing& listing;
    FileAttributes& attributes;
    Shell& shell;
    SystemFolders& folders;
    std::function<void(MousePointer)> setMousePointer;
    std::function<void(int)> selectInterval; // as if the user picked that entry of the interval box
};

// The handlers, one unit each. Every one appends through FileListView::AppendRow.
void addFilesByDialog(ListContext& context); // PushButton1_Click
void addAllFilesInFolder(ListContext& context); // PushButton4_Click
void addDroppedPaths(ListContext& context, const QStringList& paths); // ListView1_OLEDragDrop
void addSampleFiles(ListContext& context); // PushButton5_Click

} // namespace quorvane
