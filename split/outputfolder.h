// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <functional>

namespace quorvane {

class Dialogs;

// The "..." button: the chosen folder becomes the output folder, with one trailing separator.
void chooseOutputFolder(Dialogs& dialogs, const std::function<void(const QString&)>& setFolderText);

} // namespace quorvane
