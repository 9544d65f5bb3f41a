// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/spliterror.h"

#include "splitter/splitter.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

namespace quorvane::splitter {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int writeExitCode(int averror)
{
    for (const int error :
        { ENOSPC, EDQUOT, EACCES, EPERM, EROFS, EIO, EFBIG, ENAMETOOLONG, EISDIR, ENOTDIR, ENOENT, EBUSY, ETXTBSY }) {
        if (averror == AVERROR(error))
            return CannotWrite;
    }
    return Failed;
}

void failWriting(const std::string& piece, int averror, const char* step)
{
    std::string message = "cannot write " + piece;
    if (step)
        message += std::string(" (") + step + ")";
    throw SplitError { writeExitCode(averror), message + ": " + avError(averror) };
}

} // namespace quorvane::splitter
