// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/arguments.h"

namespace quorvane::splitter {

// Names are bytes here, passed on as they are.
std::vector<std::string> commandLineArguments(int argc, char* argv[]) { return { argv, argv + argc }; }

} // namespace quorvane::splitter
