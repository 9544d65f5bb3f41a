// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/settingsplace.h"

#include <QDir>
#include <QStandardPaths>

namespace quorvane {

const QSettings::Format settingsFormat = QSettings::IniFormat;

QString settingsLocation(const QString& root, const QString& application)
{
    // GenericConfigLocation honours XDG_CONFIG_HOME and falls back to ~/.config.
    const QString folder
        = root.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) : root;
    return QDir(folder).filePath(application + QStringLiteral(".conf"));
}

QString stateFolder()
{
    // XDG_STATE_HOME when it is an absolute path, else ~/.local/state (Qt 6.4 has no StateLocation yet).
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir(base).filePath(QStringLiteral("quorvane"));
}

} // namespace quorvane
