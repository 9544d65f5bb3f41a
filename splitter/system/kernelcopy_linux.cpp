// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/kernelcopy.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

#include <sys/vfs.h>
#include <unistd.h>

namespace quorvane::splitter {

std::int64_t copyInKernel(
    const SystemFile& from, std::int64_t fromAt, SystemFile& to, std::int64_t toAt, std::int64_t size)
{
    for (;;) {
        loff_t source = fromAt;
        loff_t target = toAt;
        const ssize_t moved = ::copy_file_range(static_cast<int>(from.native()), &source, static_cast<int>(to.native()),
            &target, static_cast<std::size_t>(size), 0);
        if (moved >= 0)
            return moved;
        if (errno == EINTR)
            continue;
        // Another file system, an old kernel, a file that is not a regular one.
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EBADF)
            return kernelCopyRefused;
        return AVERROR(errno);
    }
}

int sharingBlockSize(const SystemFile& file)
{
    struct statfs fs { };
    if (::fstatfs(static_cast<int>(file.native()), &fs) != 0 || fs.f_bsize <= 0)
        return 0;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x58465342UL: // XFS
    case 0x9123683EUL: // Btrfs
    case 0xCA451A4EUL: // bcachefs
    case 0x2FC12FC1UL: // ZFS
    case 0x6969UL: // NFS
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return static_cast<int>(fs.f_bsize);
    default:
        return 0;
    }
}

} // namespace quorvane::splitter
