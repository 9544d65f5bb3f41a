// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/settingsplace.h"

#include <QDir>
#include <QStandardPaths>

namespace quorvane {

const QSettings::Format settingsFormat = QSettings::NativeFormat;

QString settingsLocation(const QString& root, const QString& application)
{
    // The key the earlier Windows release wrote its values under, so its users keep them.
    const QString key
        = root.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings") : root;
    return key + QLatin1Char('\\') + application;
}

QString stateFolder()
{
    // %LOCALAPPDATA%: it stays on this machine and is not carried along with a roaming profile.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Quorvane"));
}

} // namespace quorvane
