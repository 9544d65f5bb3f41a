// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QStringList>

namespace quorvane {

class Dialogs;
class FileAttributes;
class FolderListing;

// The chosen folder's full path, or "" when cancelled.
QString PickFolder(Dialogs& dialogs, const QString& prompt);

// Appends to `folders` (entries ending in a separator) every folder below them, level by level: first the
// folders one level down, grouped by parent in the list's order, then two levels down, and so on. Hidden
// and system folders, names containing "?" and linked folders are not entered. Yields to the event loop
// while it works, so the window stays alive on large trees.
void CollectSubfolders(QStringList& folders, bool recurse, FolderListing& listing, FileAttributes& attributes);

// The names of the files of `folder` (with or without a final separator) that match `pattern`.
QStringList ListFolderFiles(QString folder, const QString& pattern, FolderListing& listing);

// Files found in a folder walk are skipped when their name begins with "~" or when they are hidden and
// archived and nothing else (attributes exactly 34).
bool skipFoundFile(const QString& name, const QString& path, FileAttributes& attributes);

} // namespace quorvane
