// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/fileattributes.h"

#include <QFileInfo>

namespace quorvane {

std::optional<quint32> NativeFileAttributes::attributes(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    quint32 result = 0;
    if (info.fileName().startsWith(QLatin1Char('.')))
        result |= attr::Hidden;
    if (info.isDir())
        result |= attr::Directory;
    else
        result |= attr::Archive;
    if (!info.permission(QFileDevice::WriteOwner))
        result |= attr::ReadOnly;
    if (info.isSymLink())
        result |= attr::ReparsePoint;
    return result;
}

} // namespace quorvane
