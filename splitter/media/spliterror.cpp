// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/media/spliterror.h"

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
    static constexpr int refusals[] = {
        ENOSPC,
        EACCES,
        EPERM,
        EROFS,
        EIO,
        EFBIG,
        ENAMETOOLONG,
        EISDIR,
        ENOTDIR,
        ENOENT,
        EBUSY,
        ETXTBSY,
#ifdef EDQUOT // not on every system
        EDQUOT,
#endif
    };
    for (const int error : refusals) {
        if (averror == AVERROR(error))
            return CannotWrite;
    }
    return Failed;
}

void failFile(const std::string& piece, int averror)
{
    throw SplitError { writeExitCode(averror), "cannot write " + piece + ": " + avError(averror) };
}

void failWriting(const std::string& piece, int averror, bool settingUp)
{
    if (averror == AVERROR(ENOMEM))
        throw SplitError { Failed, "out of memory" };
    if (writeExitCode(averror) == CannotWrite)
        throw SplitError { CannotWrite, "cannot write " + piece + ": " + avError(averror) };
    if (settingUp)
        throw SplitError { Unsupported, "pieces of this kind cannot be made from this file's streams (" + piece + ")" };
    throw SplitError { NotMedia, "the file is damaged: " + piece + " could not be made from its data" };
}

} // namespace quorvane::splitter
