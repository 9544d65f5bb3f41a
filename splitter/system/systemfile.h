// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <string>

// An open file as the system gives it, read and written at a place rather than through a shared position, so
// that two threads can use it at once. Errors are negative AVERROR codes, as libav's own. One implementation
// per system (systemfile_posix.cpp, systemfile_win.cpp), chosen in CMake.
namespace quorvane::splitter {

class SystemFile {
public:
    using Native = std::intptr_t; // a descriptor, or a handle
    static constexpr Native none = -1;

    SystemFile() = default;
    explicit SystemFile(Native native)
        : m_native(native)
    {
    }
    ~SystemFile() { close(); }
    SystemFile(SystemFile&& other) noexcept;
    SystemFile& operator=(SystemFile&& other) noexcept;
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    // `path` opened for reading; a closed file when it cannot be, with the reason in `error`.
    static SystemFile openForReading(const std::string& path, int* error = nullptr);

    bool isOpen() const { return m_native != none; }
    Native native() const { return m_native; }

    // Up to `size` bytes at `at`: how many, AVERROR_EOF at the file's end, or an error.
    int readSome(std::uint8_t* into, int size, std::int64_t at) const;
    // All `size` bytes at `at`: 0, AVERROR_EOF when the file ends first, or an error.
    int read(std::uint8_t* into, std::int64_t size, std::int64_t at) const;
    // All `size` bytes at `at`: 0 or an error.
    int write(const std::uint8_t* data, std::int64_t size, std::int64_t at);
    // The length of a regular file; -1 for anything else (a pipe, a device).
    std::int64_t regularFileSize() const;
    // 0, or the error with which the system refused to close it (a write that could not be finished).
    int close();

private:
    Native m_native = none;
};

// What ends a folder's name in a path: "/" on POSIX; on Windows also the backslash, and the ":" of a drive.
extern const char* const pathSeparators;

// A path's last name, and its folder up to and with the separator before it ("." for a bare name).
std::string baseName(const std::string& path);
std::string folderOf(const std::string& path);

} // namespace quorvane::splitter
