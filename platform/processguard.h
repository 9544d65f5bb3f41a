// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

class QProcess;

namespace quorvane {

// Makes a program about to be started end when this process ends, however it ends (even by SIGKILL), so a
// tool never goes on writing for a program that is gone. On Linux the kernel sends the child SIGTERM when
// its parent dies; elsewhere nothing yet.
void endWithThisProcess(QProcess& process);

} // namespace quorvane
