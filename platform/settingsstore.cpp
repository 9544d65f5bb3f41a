// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/settingsstore.h"

#include "platform/failure.h"
#include "platform/settingsplace.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

NativeSettingsStore::NativeSettingsStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString NativeSettingsStore::location(const QString& application) const
{
    return settingsLocation(m_folder, application);
}

QString NativeSettingsStore::read(
    const QString& application, const QString& section, const QString& key, const QString& defaultValue)
{
    // A fresh QSettings per call reads the store as it is now, changes by other processes included.
    QSettings settings(location(application), settingsFormat);
    const QString fullKey = section + QLatin1Char('/') + key;
    if (!settings.contains(fullKey))
        return defaultValue;
    const QVariant value = settings.value(fullKey);
    // A hand-edited value with unquoted commas reads back as a list; it is still one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void NativeSettingsStore::write(
    const QString& application, const QString& section, const QString& key, const QString& value)
{
    const QString path = location(application);
    if (settingsFormat == QSettings::IniFormat)
        QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, settingsFormat);
    settings.setValue(section + QLatin1Char('/') + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure::permissionDenied().about(path);
}

} // namespace quorvane
