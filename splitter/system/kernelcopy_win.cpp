// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/kernelcopy.h"

#include "splitter/system/system_win.h"

#include <vector>

namespace quorvane::splitter {

namespace {

HANDLE handleOf(const SystemFile& file) { return reinterpret_cast<HANDLE>(file.native()); }

// Block cloning as Windows documents it, which MinGW-w64's headers do not have yet.
constexpr DWORD supportsBlockRefcounting = 0x08000000; // FILE_SUPPORTS_BLOCK_REFCOUNTING
constexpr DWORD duplicateExtentsToFile = 0x00098344; // FSCTL_DUPLICATE_EXTENTS_TO_FILE
struct DuplicateExtentsData { // DUPLICATE_EXTENTS_DATA
    HANDLE FileHandle;
    LARGE_INTEGER SourceFileOffset;
    LARGE_INTEGER TargetFileOffset;
    LARGE_INTEGER ByteCount;
};

} // namespace

int sharingBlockSize(const SystemFile& file)
{
    // Volumes that clone blocks (ReFS, a Dev Drive): their cluster size.
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(handleOf(file), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        || !(flags & supportsBlockRefcounting))
        return 0;
    std::vector<wchar_t> path(32768);
    const DWORD length = GetFinalPathNameByHandleW(
        handleOf(file), path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_GUID);
    if (length == 0 || length >= path.size())
        return 0;
    std::wstring volume(path.data(), length); // \\?\Volume{…}\folder\file
    const std::size_t rootEnd = volume.find(L'\\', 4);
    if (rootEnd == std::wstring::npos)
        return 0;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!GetDiskFreeSpaceW(
            volume.substr(0, rootEnd + 1).c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return 0;
    return static_cast<int>(sectorsPerCluster * bytesPerSector);
}

std::int64_t copyInKernel(
    const SystemFile& from, std::int64_t fromAt, SystemFile& to, std::int64_t toAt, std::int64_t size)
{
    // Block cloning shares whole clusters at the same place within a cluster in both files; what is not a
    // whole cluster is left to reading and writing.
    const std::int64_t cluster = sharingBlockSize(to);
    if (cluster <= 0 || fromAt % cluster != 0 || toAt % cluster != 0)
        return kernelCopyRefused;
    const std::int64_t whole = size / cluster * cluster;
    if (whole == 0)
        return kernelCopyRefused;
    // The piece must already reach past what is cloned into it.
    LARGE_INTEGER end {};
    FILE_STANDARD_INFO standard {};
    if (!GetFileInformationByHandleEx(handleOf(to), FileStandardInfo, &standard, sizeof standard))
        return errorOf(GetLastError());
    if (standard.EndOfFile.QuadPart < toAt + whole) {
        end.QuadPart = toAt + whole;
        FILE_END_OF_FILE_INFO grown { end };
        if (!SetFileInformationByHandle(handleOf(to), FileEndOfFileInfo, &grown, sizeof grown))
            return errorOf(GetLastError());
    }
    DuplicateExtentsData extents {};
    extents.FileHandle = handleOf(from);
    extents.SourceFileOffset.QuadPart = fromAt;
    extents.TargetFileOffset.QuadPart = toAt;
    extents.ByteCount.QuadPart = whole;
    DWORD returned = 0;
    if (!DeviceIoControl(
            handleOf(to), duplicateExtentsToFile, &extents, sizeof extents, nullptr, 0, &returned, nullptr))
        return kernelCopyRefused; // not on this volume, or not between these files
    return whole;
}

} // namespace quorvane::splitter
