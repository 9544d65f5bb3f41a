// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "platform/paths.h"

#include <QString>

namespace quorvane {

// The shell folder identifier of the user's desktop.
constexpr int CSIDL_DESKTOP = 0;

// Where the user's and the program's folders are.
class SystemFolders {
public:
    virtual ~SystemFolders() = default;
    // The file-system path of a shell folder, without a trailing separator; "" when it cannot be resolved.
    virtual QString specialFolderPath(int folderId) = 0;
    // The folder that holds the program, without a trailing separator.
    virtual QString programFolder() = 0;
};

class NativeSystemFolders : public SystemFolders {
public:
    QString specialFolderPath(int folderId) override;
    QString programFolder() override;
};

} // namespace quorvane
