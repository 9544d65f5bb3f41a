// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy_posix.h"

// POSIX systems without a clone call we know of: every byte is read and written.
namespace quorvane::posix {

bool cloneFile(int, int) { return false; }

void copyFileData(int in, int out, const QString& target) { copyByReadWrite(in, out, target); }

} // namespace quorvane::posix
