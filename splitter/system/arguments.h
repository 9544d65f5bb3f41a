// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>
#include <vector>

// The command line as UTF-8, whatever characters the file's name holds. One implementation per system
// (arguments_posix.cpp, arguments_win.cpp), chosen in CMake.
namespace quorvane::splitter {

std::vector<std::string> commandLineArguments(int argc, char* argv[]);

} // namespace quorvane::splitter
