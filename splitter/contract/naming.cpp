// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/naming.h"

#include <cmath>
#include <cstdio>

namespace quorvane::splitter {

std::string pieceFileName(const std::string& path, int number)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = path.size();
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%03d", number);
    return path.substr(0, dot) + digits + path.substr(dot);
}

std::string clockTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const auto tenths = static_cast<long long>(std::llround(seconds * 10));
    char text[48];
    std::snprintf(
        text, sizeof text, "%lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60, tenths % 10);
    return text;
}

std::string byteSize(std::int64_t bytes)
{
    char text[48];
    const double b = static_cast<double>(bytes);
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (b < 1024.0 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", b / 1024);
    else if (b < 1024.0 * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", b / (1024.0 * 1024));
    else
        std::snprintf(text, sizeof text, "%.2f GB", b / (1024.0 * 1024 * 1024));
    return text;
}

} // namespace quorvane::splitter
