// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// The separator of paths as the user sees them: "\" on Windows, "/" elsewhere.
QChar pathSeparator();

// A program's file name: "m.exe" on Windows, "m" elsewhere.
QString executableFileName(const QString& base);

// Paths built as folder, separator, name double the separator after a root folder, which keeps its own
// (C:\ + \ + a.mp4, or / + / + a.mp4). This mends every ":\\" to ":\" and, where "/" is the root, a
// leading "//" to "/"; nothing else changes (\\server\share keeps its two).
QString repairRootSeparator(QString path);

// Case-insensitive wildcard match of a file name, "*" and "?" as in the classic file dialogs: "*.*" takes
// every name, also one without a dot.
bool matchesPattern(const QString& name, const QString& pattern);

} // namespace quorvane
