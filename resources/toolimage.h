// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QByteArray>

namespace quorvane {

// The splitter tool's executable image, the program's resource CUSTOM/101; empty if it is missing.
QByteArray toolImage();

} // namespace quorvane
