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

// The folder for what the program must remember between runs that is not a setting (notes about files a
// run was making); not created here.
QString stateFolder();

} // namespace quorvane
