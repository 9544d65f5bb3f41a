// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/fileattributes.h"

namespace quorvane {

bool FileAttributes::isNormalFile(const QString& path)
{
    const std::optional<quint32> a = attributes(path);
    return a && !(*a & (attr::Directory | attr::Hidden | attr::System));
}

} // namespace quorvane
