// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane {

// Afterwards the file at `path` holds exactly `bytes`, created or replaced. Throws Failure ("Path not
// found", "Permission denied", "Disk full") with the file already closed.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// Deletes the file if it can; never reports anything, and never removes a folder.
void DeleteFileQuietly(const QString& path);

} // namespace quorvane
