// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

namespace quorvane {

// The window was designed in twips: 15 make a pixel at 96 dpi. Qt scales pixels on high-dpi screens.
constexpr int px(int twips) { return (twips * 2 + 15) / 30; }

} // namespace quorvane
