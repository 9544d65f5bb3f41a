// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy.h"

#include "platform/failure.h"

#include <QFile>

namespace quorvane {

void makeExecutable(const QString& path)
{
    QFile file(path);
    if (!file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner))
        throw Failure::permissionDenied();
}

} // namespace quorvane
