// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/system/systemfile.h"

#include <cstdint>

// Bytes moved from one file into another by the system, without passing through the tool: on file systems
// that share blocks between files, whole aligned blocks are shared rather than copied. One implementation
// per system (kernelcopy_linux.cpp, kernelcopy_win.cpp, kernelcopy_other.cpp), chosen in CMake.
namespace quorvane::splitter {

// What copyInKernel says for "not between these two files, or not this stretch of them": the caller reads and
// writes it instead.
inline constexpr int kernelCopyRefused = -0x4b43; // no errno or libav error has this value

// Moves up to `size` bytes at `fromAt` of `from` to `toAt` of `to`: how many (at least 1), 0 when `from`
// ends first, kernelCopyRefused, or a negative AVERROR.
std::int64_t copyInKernel(
    const SystemFile& from, std::int64_t fromAt, SystemFile& to, std::int64_t toAt, std::int64_t size);

// The file system's block size where it shares blocks between files (XFS, Btrfs, ReFS) or copies on the
// server (NFS, SMB); 0 where a copy by the system would only cost more than writing bytes the tool has read.
int sharingBlockSize(const SystemFile& file);

} // namespace quorvane::splitter
