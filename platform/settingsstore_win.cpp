// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "failure.h"
#include "settingsstore.h"

#include <QSettings>

namespace quorvane {

NativeSettingsStore::NativeSettingsStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString NativeSettingsStore::location(const QString& application) const
{
    // The key the earlier Windows release wrote its values under.
    const QString root
        = m_folder.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings") : m_folder;
    return root + QLatin1Char('\\') + application;
}

QString NativeSettingsStore::read(
    const QString& application, const QString& section, const QString& key, const QString& defaultValue)
{
    QSettings settings(location(application), QSettings::NativeFormat);
    const QString fullKey = section + QLatin1Char('/') + key;
    if (!settings.contains(fullKey))
        return defaultValue;
    return settings.value(fullKey).toString();
}

void NativeSettingsStore::write(
    const QString& application, const QString& section, const QString& key, const QString& value)
{
    QSettings settings(location(application), QSettings::NativeFormat);
    settings.setValue(section + QLatin1Char('/') + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure::permissionDenied();
}

} // namespace quorvane
