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
    // The folder that holds the program's own files (the hand pointer, the skin, "Samples"), without a
    // trailing separator: the program's folder, or the shared data folder of an installed copy.
    virtual QString programFolder() = 0;
};

class NativeSystemFolders : public SystemFolders {
public:
    QString specialFolderPath(int folderId) override;
    QString programFolder() override;
};

// The program folder for a program started from `executableFolder`: that folder when the program's files
// lie in it, else "../share/quorvane" beside it when that exists.
QString programFolderOf(const QString& executableFolder);

} // namespace quorvane
