// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/systemfile.h"

#include "splitter/system/system_win.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <utility>

namespace quorvane::splitter {

namespace {

HANDLE handleOf(SystemFile::Native native) { return reinterpret_cast<HANDLE>(native); }

// Reads and writes at `at`, whatever the handle's own position.
OVERLAPPED placeAt(std::int64_t at)
{
    OVERLAPPED place {};
    place.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(at) & 0xffffffffu);
    place.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(at) >> 32);
    return place;
}

} // namespace

SystemFile SystemFile::openForReading(const std::string& path, int* error)
{
    // Others may go on reading, writing and renaming it: the tool only reads.
    const HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error)
            *error = errorOf(GetLastError());
        return SystemFile();
    }
    return SystemFile(reinterpret_cast<Native>(file));
}

int SystemFile::readSome(std::uint8_t* into, int size, std::int64_t at) const
{
    OVERLAPPED place = placeAt(at);
    DWORD got = 0;
    if (!ReadFile(handleOf(m_native), into, static_cast<DWORD>(size), &got, &place)) {
        const DWORD code = GetLastError();
        return code == ERROR_HANDLE_EOF ? AVERROR_EOF : errorOf(code);
    }
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

int SystemFile::write(const std::uint8_t* data, std::int64_t size, std::int64_t at)
{
    for (std::int64_t done = 0; done < size;) {
        OVERLAPPED place = placeAt(at + done);
        DWORD put = 0;
        const auto want = static_cast<DWORD>(std::min<std::int64_t>(size - done, 1 << 30));
        if (!WriteFile(handleOf(m_native), data + done, want, &put, &place))
            return errorOf(GetLastError());
        done += put;
    }
    return 0;
}

std::int64_t SystemFile::regularFileSize() const
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (GetFileType(handleOf(m_native)) != FILE_TYPE_DISK || !GetFileInformationByHandle(handleOf(m_native), &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
}

int SystemFile::close()
{
    if (m_native == none)
        return 0;
    return CloseHandle(handleOf(std::exchange(m_native, none))) ? 0 : errorOf(GetLastError());
}

const char* const pathSeparators = "/\\:";

} // namespace quorvane::splitter
