// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/processguard.h"

#include <QProcess>

namespace quorvane {

// These systems have no parent-death signal: the child outlives a killed program.
void prepareChild(QProcess&) { }

void endProcess(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace quorvane
