// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/kernelcopy.h"

// Systems without a copy inside the kernel: the bytes are read and written.
namespace quorvane::splitter {

std::int64_t copyInKernel(const SystemFile&, std::int64_t, SystemFile&, std::int64_t, std::int64_t)
{
    return kernelCopyRefused;
}

int sharingBlockSize(const SystemFile&) { return 0; }

} // namespace quorvane::splitter
