// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QCursor>
#include <QString>

namespace quorvane {

// A pointer image from a .cur file (or any picture Qt reads), with the hot spot the cursor file names.
// Throws "Invalid picture" when the file is no picture.
QCursor loadCursorFile(const QString& path);

} // namespace quorvane
