// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <string>

// The files the tool may leave half-written (a piece being written, and the one before it while its media
// bytes are copied in): removed if the process is ended by a signal.
namespace quorvane::splitter {

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the files being written before the process ends.
void installSignalCleanup();

// A file being written now, at most two at a time; returns its slot, for clearing it. From one thread only.
int setFileInProgress(const std::string& path);
void clearFileInProgress(int slot);

} // namespace quorvane::splitter
