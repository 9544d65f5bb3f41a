// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QSettings>
#include <QString>

// Where each system keeps an application's settings, and in which form; the store itself is the same.
namespace quorvane {

extern const QSettings::Format settingsFormat;

// The store of `application` under `root`, or under the system's place when `root` is empty.
QString settingsLocation(const QString& root, const QString& application);

} // namespace quorvane
