// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/fileattributes.h"

#include <windows.h>

namespace quorvane {

std::optional<quint32> NativeFileAttributes::attributes(const QString& path)
{
    const DWORD a = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()));
    if (a == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return static_cast<quint32>(a);
}

} // namespace quorvane
