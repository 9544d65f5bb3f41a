// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy_posix.h"

#include "platform/filecopy.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

namespace quorvane {

QString fileIdentity(const QString& path)
{
    // An inode number is handed to the next new file as soon as it is free; with the moment the file was
    // born it names one file for good.
    struct statx status { };
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW,
            STATX_INO | STATX_TYPE | STATX_BTIME, &status)
            != 0
        || !S_ISREG(status.stx_mode) || !(status.stx_mask & STATX_BTIME))
        return {};
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(status.stx_dev_major)
        .arg(status.stx_dev_minor)
        .arg(static_cast<qulonglong>(status.stx_ino))
        .arg(status.stx_btime.tv_sec)
        .arg(status.stx_btime.tv_nsec, 9, 10, QLatin1Char('0'));
}

} // namespace quorvane
