// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

namespace quorvane {

// The main window's one pointer shape, by the numbers its pointer property has always taken.
enum class MousePointer : int { Default = 0, Hourglass = 11, Custom = 99 };

} // namespace quorvane
