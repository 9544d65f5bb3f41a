// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/system_win.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <vector>

namespace quorvane::splitter {

namespace {

std::wstring wideOf(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

} // namespace

std::string utf8Of(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size
        = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::wstring widePath(const std::string& path)
{
    const std::wstring given = wideOf(path);
    if (given.rfind(L"\\\\?\\", 0) == 0)
        return given;
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return given;
    std::vector<wchar_t> full(size);
    const DWORD written = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size)
        return given;
    std::wstring result(full.data(), written);
    if (result.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + result.substr(2);
    return L"\\\\?\\" + result;
}

int errorOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return AVERROR(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
        return AVERROR(EACCES);
    case ERROR_WRITE_PROTECT:
        return AVERROR(EROFS);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case 1295: // ERROR_DISK_QUOTA_EXCEEDED, which MinGW-w64's headers lack
        return AVERROR(ENOSPC);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return AVERROR(EEXIST);
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return AVERROR(ENAMETOOLONG);
    case ERROR_DIRECTORY:
        return AVERROR(ENOTDIR);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return AVERROR(ENOMEM);
    case ERROR_HANDLE_EOF:
        return AVERROR_EOF;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return AVERROR(ENOSYS);
    default:
        return AVERROR(EIO);
    }
}

} // namespace quorvane::splitter
