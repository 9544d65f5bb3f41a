// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>

// The one file the tool may leave half-written: removed if the process is ended by a signal.
namespace quorvane::splitter {

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the file being written before the process ends.
void installSignalCleanup();

// The file being written now; at most one at a time.
void setFileInProgress(const std::string& path);
void clearFileInProgress();

} // namespace quorvane::splitter
