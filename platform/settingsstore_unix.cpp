// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "failure.h"
#include "settingsstore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace quorvane {

NativeSettingsStore::NativeSettingsStore(QString folder)
    : m_folder(std::move(folder))
{
}

QString NativeSettingsStore::location(const QString& application) const
{
    // GenericConfigLocation honours XDG_CONFIG_HOME and falls back to ~/.config.
    const QString folder
        = m_folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) : m_folder;
    return QDir(folder).filePath(application + QStringLiteral(".conf"));
}

QString NativeSettingsStore::read(
    const QString& application, const QString& section, const QString& key, const QString& defaultValue)
{
    // A fresh QSettings per call reads the file as it is now, changes by other processes included.
    QSettings settings(location(application), QSettings::IniFormat);
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
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(section + QLatin1Char('/') + key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure::permissionDenied();
}

} // namespace quorvane
