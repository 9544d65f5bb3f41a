// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy.h"
#include "platform/filecopy_posix.h"

// POSIX systems without a clone call we know of: every byte is read and written.
namespace quorvane::posix {

bool cloneFile(int, int) { return false; }

void copyFileData(int in, int out, const QString& target) { copyByReadWrite(in, out, target); }

} // namespace quorvane::posix

namespace quorvane {

// Without a birth time an inode number may already name a newer file; only contents can prove a copy ours.
QString fileIdentity(const QString&) { return {}; }

} // namespace quorvane
