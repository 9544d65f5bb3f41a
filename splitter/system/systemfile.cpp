// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/systemfile.h"

#include <algorithm>
#include <utility>

// What every system's SystemFile shares; the calls into the system are in the per-system files.
namespace quorvane::splitter {

SystemFile::SystemFile(SystemFile&& other) noexcept
    : m_native(std::exchange(other.m_native, none))
{
}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_native = std::exchange(other.m_native, none);
    }
    return *this;
}

int SystemFile::read(std::uint8_t* into, std::int64_t size, std::int64_t at) const
{
    for (std::int64_t done = 0; done < size;) {
        const int got
            = readSome(into + done, static_cast<int>(std::min<std::int64_t>(size - done, 1 << 30)), at + done);
        if (got < 0)
            return got;
        done += got;
    }
    return 0;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of(pathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(pathSeparators);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

} // namespace quorvane::splitter
