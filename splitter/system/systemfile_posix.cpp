// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/systemfile.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

int descriptor(SystemFile::Native native) { return static_cast<int>(native); }

} // namespace

SystemFile SystemFile::openForReading(const std::string& path, int* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && error)
        *error = AVERROR(errno);
    return SystemFile(fd < 0 ? none : fd);
}

int SystemFile::readSome(std::uint8_t* into, int size, std::int64_t at) const
{
    for (;;) {
        const ssize_t got = ::pread(descriptor(m_native), into, static_cast<std::size_t>(size), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return AVERROR(errno);
        return got == 0 ? AVERROR_EOF : static_cast<int>(got);
    }
}

int SystemFile::write(const std::uint8_t* data, std::int64_t size, std::int64_t at)
{
    for (std::int64_t done = 0; done < size;) {
        const ssize_t put
            = ::pwrite(descriptor(m_native), data + done, static_cast<std::size_t>(size - done), at + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return AVERROR(errno);
        done += put;
    }
    return 0;
}

std::int64_t SystemFile::regularFileSize() const
{
    struct stat status { };
    if (::fstat(descriptor(m_native), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return status.st_size;
}

int SystemFile::close()
{
    if (m_native == none)
        return 0;
    const int closed = ::close(descriptor(std::exchange(m_native, none)));
    return closed == 0 ? 0 : AVERROR(errno);
}

const char* const pathSeparators = "/";

} // namespace quorvane::splitter
