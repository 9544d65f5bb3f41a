// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

class QProcess;

namespace quorvane {

// Prepares a program about to be started. It ends when this process ends, however it ends (even by SIGKILL or
// TerminateProcess), so a tool never goes on writing for a program that is gone: on Linux the kernel sends
// the child SIGTERM when its parent dies; on Windows the child is in a job object that the system ends with
// this process; elsewhere nothing yet. On Windows it also starts without a console window of its own, and
// finds the DLLs it links in this program's folder (the tool runs from a folder of its own).
void prepareChild(QProcess& process);

// Asks a started program to end, as a user's Stop or a closed window does, and waits for it: on POSIX
// SIGTERM, which lets it remove what it was writing; on Windows, where a console program hears no close
// message, it is ended at once (what it was writing is marked to go with it).
void endProcess(QProcess& process);

} // namespace quorvane
