// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy_posix.h"

#include <cerrno>

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quorvane::posix {

bool cloneFile(int in, int out) { return ::ioctl(out, FICLONE, in) == 0; }

void copyFileData(int in, int out, const QString& target)
{
    // The kernel moves the data where it can, without it passing through us.
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied == 0)
            return;
        if (copied > 0 || errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            failFromErrno(errno, target);
        // No in-kernel copy between these file systems.
        copyByReadWrite(in, out, target);
        return;
    }
}

} // namespace quorvane::posix
