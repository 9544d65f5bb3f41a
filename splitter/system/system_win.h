// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>

#include <windows.h>

// What the Windows files of the system room share: paths and errors as Windows has them.
namespace quorvane::splitter {

// A UTF-8 path as Windows' wide-character calls take it: "\\?\" in front of a full path, so that no length
// limit of 260 characters applies (and "\\?\UNC\" for a network path).
std::wstring widePath(const std::string& path);
std::string utf8Of(const std::wstring& text);

// A Windows error code as a negative AVERROR, by the nearest errno, so messages and exit codes read as on
// other systems.
int errorOf(DWORD code);

} // namespace quorvane::splitter
