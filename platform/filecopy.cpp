// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy.h"

#include "platform/failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace quorvane {

QString privateFolderCandidate(const QString& parent)
{
    return QDir(parent).filePath(QStringLiteral("quorvane-%1-%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
}

void makeExecutable(const QString& path)
{
    QFile file(path);
    if (!file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner))
        throw Failure::permissionDenied();
}

} // namespace quorvane
