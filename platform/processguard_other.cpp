// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/processguard.h"

namespace quorvane {

// Windows would put the child in a job object that is closed with this process (JOB_OBJECT_LIMIT_KILL_ON_
// JOB_CLOSE); other systems have no parent-death signal. Until then the child outlives a killed program.
void endWithThisProcess(QProcess&) { }

} // namespace quorvane
