// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QStringList>

namespace quorvane {

// Folder listings in the platform's own order, never sorted. A folder that cannot be listed gives nothing.
class FolderListing {
public:
    virtual ~FolderListing() = default;
    // Names of the sub-folders and files of `folder` that are neither hidden nor system files.
    virtual QStringList entries(const QString& folder) = 0;
    // Names of the files of `folder` (no folders) that match `pattern`, hidden and system files included.
    virtual QStringList files(const QString& folder, const QString& pattern) = 0;
};

class NativeFolderListing : public FolderListing {
public:
    QStringList entries(const QString& folder) override;
    QStringList files(const QString& folder, const QString& pattern) override;
};

} // namespace quorvane
