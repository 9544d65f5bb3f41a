// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdio>
#include <string>

// The files the tool may leave half-written under a name (a piece being written, and the one before it
// while its media bytes are copied in), removed if the process is ended from outside. One implementation per
// system (signalcleanup_posix.cpp, signalcleanup_win.cpp), chosen in CMake.
namespace quorvane::splitter {

// From now on the endings a process can catch (on POSIX SIGINT, SIGTERM, SIGHUP and SIGQUIT) remove the files
// being written before the process ends.
void installSignalCleanup();

// A file being written now, at most two at a time; returns its slot, for clearing it. From one thread only.
int setFileInProgress(const std::string& path);
void clearFileInProgress(int slot);

// For the tests: says "holding" on `say` and waits until told to go on (SIGUSR1); the endings keep their
// effect meanwhile.
void holdUntilResumed(std::FILE* say);

} // namespace quorvane::splitter
