// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/arguments.h"

#include "splitter/system/system_win.h"

#include <shellapi.h>

namespace quorvane::splitter {

// The narrow argv holds the system's code page, which cannot say every name: read the wide command line.
std::vector<std::string> commandLineArguments(int argc, char* argv[])
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return { argv, argv + argc };
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return arguments;
}

} // namespace quorvane::splitter
