// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/settingsplace.h"

namespace quorvane {

const QSettings::Format settingsFormat = QSettings::NativeFormat;

QString settingsLocation(const QString& root, const QString& application)
{
    // The key the earlier Windows release wrote its values under, so its users keep them.
    const QString key
        = root.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings") : root;
    return key + QLatin1Char('\\') + application;
}

} // namespace quorvane
