// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/filecopy.h"

#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <windows.h>

#include <utility>
#include <vector>

namespace quorvane {

namespace {

const wchar_t* wide(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

// "\\?\" in front of a full path: no limit of 260 characters.
QString longPath(const QString& path)
{
    const QString full = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (full.startsWith(QLatin1String("\\\\?\\")))
        return full;
    if (full.startsWith(QLatin1String("\\\\")))
        return QStringLiteral("\\\\?\\UNC\\") + full.mid(2);
    return QStringLiteral("\\\\?\\") + full;
}

// Closes its handle however the scope is left.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

[[noreturn]] void failFromError(DWORD error, const QString& path)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        throw Failure::pathNotFound().about(path);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        throw Failure::fileAlreadyExists().about(path);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        throw Failure(61, QStringLiteral("Disk full")).about(path);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
        throw Failure::permissionDenied().about(path);
    default:
        throw Failure(75, QStringLiteral("Path/File access error")).about(path);
    }
}

// Block cloning as Windows documents it (ReFS, a Dev Drive), which MinGW-w64's headers do not have yet.
constexpr DWORD supportsBlockRefcounting = 0x08000000; // FILE_SUPPORTS_BLOCK_REFCOUNTING
constexpr DWORD duplicateExtentsToFile = 0x00098344; // FSCTL_DUPLICATE_EXTENTS_TO_FILE
struct DuplicateExtentsData {
    HANDLE FileHandle;
    LARGE_INTEGER SourceFileOffset;
    LARGE_INTEGER TargetFileOffset;
    LARGE_INTEGER ByteCount;
};

// The whole of `in` shared into the empty `out` where the volume clones blocks: whole clusters, the file's
// length set first.
bool cloneFile(HANDLE in, HANDLE out, std::int64_t size)
{
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(out, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        || !(flags & supportsBlockRefcounting))
        return false;
    FILE_END_OF_FILE_INFO end {};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(out, FileEndOfFileInfo, &end, sizeof end))
        return false;
    constexpr std::int64_t step = std::int64_t(1) << 30; // at most 4 GiB a call; a multiple of any cluster
    for (std::int64_t done = 0; done < size; done += step) {
        DuplicateExtentsData extents {};
        extents.FileHandle = in;
        extents.SourceFileOffset.QuadPart = done;
        extents.TargetFileOffset.QuadPart = done;
        // Rounded up to whole clusters past the end, which the file's length then cuts off.
        extents.ByteCount.QuadPart = std::min(step, (size - done + 0xffff) & ~std::int64_t(0xffff));
        DWORD returned = 0;
        if (!DeviceIoControl(out, duplicateExtentsToFile, &extents, sizeof extents, nullptr, 0, &returned, nullptr))
            return false;
    }
    return true;
}

void copyData(HANDLE in, HANDLE out, const QString& target)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            failFromError(GetLastError(), target);
        if (got == 0)
            return;
        for (DWORD done = 0; done < got;) {
            DWORD put = 0;
            if (!WriteFile(out, buffer.data() + done, got - done, &put, nullptr))
                failFromError(GetLastError(), target);
            done += put;
        }
    }
}

bool identify(const QString& path, BY_HANDLE_FILE_INFORMATION& info)
{
    Handle file { CreateFileW(wide(longPath(path)), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr) };
    return file.h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file.h, &info);
}

} // namespace

CopyKind copyForReading(const QString& source, const QString& target, const std::function<void()>& made)
{
    const QString from = longPath(source);
    const QString to = longPath(target);
    Handle in { CreateFileW(wide(from), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr) };
    if (in.h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            throw Failure::fileNotFound().about(source);
        failFromError(error, source);
    }
    LARGE_INTEGER size {};
    if (GetFileType(in.h) != FILE_TYPE_DISK || !GetFileSizeEx(in.h, &size))
        throw Failure::fileNotFound().about(source);
    {
        // CREATE_NEW: whatever already lies at the path is never replaced.
        Handle out { CreateFileW(
            wide(to), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr) };
        if (out.h == INVALID_HANDLE_VALUE)
            failFromError(GetLastError(), target);
        made();
        if (cloneFile(in.h, out.h, size.QuadPart))
            return CopyKind::Clone;
    }
    // A hard link in place of the empty file, when both sit on one volume.
    DeleteFileW(wide(to));
    if (CreateHardLinkW(wide(to), wide(from), nullptr)) {
        made();
        return CopyKind::Link;
    }
    Handle out { CreateFileW(
        wide(to), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr) };
    if (out.h == INVALID_HANDLE_VALUE)
        failFromError(GetLastError(), target);
    made();
    try {
        copyData(in.h, out.h, target);
    } catch (...) {
        CloseHandle(std::exchange(out.h, INVALID_HANDLE_VALUE));
        DeleteFileW(wide(to)); // a half copy is ours to remove
        throw;
    }
    if (!CloseHandle(std::exchange(out.h, INVALID_HANDLE_VALUE))) {
        const DWORD error = GetLastError();
        DeleteFileW(wide(to));
        failFromError(error, target);
    }
    return CopyKind::Copy;
}

bool sameFile(const QString& a, const QString& b)
{
    BY_HANDLE_FILE_INFORMATION first {};
    BY_HANDLE_FILE_INFORMATION second {};
    return identify(a, first) && identify(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
        && first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

QString fileIdentity(const QString& path)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!identify(path, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return QStringLiteral("%1:%2")
        .arg(info.dwVolumeSerialNumber)
        .arg(static_cast<quint64>(info.nFileIndexHigh) << 32 | info.nFileIndexLow);
}

bool processIsGone(qint64 pid)
{
    if (pid <= 0 || pid > 0xffffffffLL)
        return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER; // no process has that number
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

QString makePrivateFolder(const QString& parent)
{
    if (!QFileInfo(parent).isDir())
        throw Failure::pathNotFound().about(parent);
    // Made inside the user's own temporary folder, it inherits an access list for the user alone.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = privateFolderCandidate(parent);
        if (CreateDirectoryW(wide(longPath(path)), nullptr))
            return QDir::toNativeSeparators(path);
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            failFromError(GetLastError(), parent);
    }
    throw Failure::permissionDenied().about(parent);
}

void removeStalePrivateFolders(const QString& parent, const QString& toolName)
{
    static const QRegularExpression ours(QStringLiteral("^quorvane-(\\d+)-[0-9a-f]{16}$"));
    const QDir dir(parent);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ours.match(name);
        const QString folder = dir.filePath(name);
        if (!match.hasMatch() || QFileInfo(folder).isSymLink() || !processIsGone(match.captured(1).toLongLong()))
            continue; // not ours, or its program may still be running
        const QStringList inside = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (!inside.isEmpty() && inside != QStringList { toolName })
            continue; // something that is not ours
        if (!inside.isEmpty())
            DeleteFileW(wide(longPath(QDir(folder).filePath(toolName))));
        RemoveDirectoryW(wide(longPath(folder)));
    }
}

} // namespace quorvane
