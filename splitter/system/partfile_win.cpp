// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/partfile.h"

#include "splitter/system/signalcleanup.h"
#include "splitter/system/system_win.h"

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <utility>
#include <vector>

namespace quorvane::splitter {

namespace {

HANDLE handleOf(const SystemFile& file) { return reinterpret_cast<HANDLE>(file.native()); }

std::string hiddenName(const std::string& folder, int attempt)
{
    static std::atomic<int> counter { 0 };
    std::string name = folder;
    if (!name.empty() && name.back() != '/' && name.back() != '\\' && name.back() != ':')
        name += '\\';
    return name + ".quorvane-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter + attempt)
        + ".part";
}

// The file goes when its last handle closes, whoever closes it: this process, or the system after a kill.
bool deleteWhenClosed(const SystemFile& file, bool on)
{
    FILE_DISPOSITION_INFO disposition {};
    disposition.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(handleOf(file), FileDispositionInfo, &disposition, sizeof disposition);
}

bool processIsGone(DWORD pid)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        DWORD code = 0;
        const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
        CloseHandle(process);
        return ended;
    }
    return GetLastError() == ERROR_INVALID_PARAMETER;
}

} // namespace

std::unique_ptr<PartFile> PartFile::create(const std::string& folder, int& error)
{
    std::unique_ptr<PartFile> part(new PartFile);
    error = part->hide(folder, true);
    if (error < 0)
        return nullptr;
    part->m_unnamed = deleteWhenClosed(part->m_file, true);
    return part;
}

int PartFile::hide(const std::string& folder, bool create)
{
    if (!create)
        return 0; // the file keeps the hidden name it was made with: naming goes through its handle
    for (int attempt = 0;; ++attempt) {
        m_hidden = hiddenName(folder, attempt);
        m_slot = setFileInProgress(m_hidden);
        const HANDLE file = CreateFileW(widePath(m_hidden).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
            nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file = SystemFile(reinterpret_cast<SystemFile::Native>(file));
            return 0;
        }
        const DWORD code = GetLastError();
        clearFileInProgress(std::exchange(m_slot, -1));
        m_hidden.clear();
        if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt > 100)
            return errorOf(code);
    }
}

PartFile::~PartFile() { discard(); }

std::string PartFile::readableName() const { return m_hidden; }

void PartFile::willBeReopened()
{
    // A file marked for deletion cannot be opened again.
    if (m_unnamed && deleteWhenClosed(m_file, false))
        m_unnamed = false;
}

int PartFile::name(const std::string& finalPath)
{
    if (m_unnamed && !deleteWhenClosed(m_file, false)) {
        const int error = errorOf(GetLastError());
        discard();
        return error;
    }
    m_unnamed = false;
    // Renamed through its own handle, over an older piece of that name.
    const std::wstring target = widePath(finalPath);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::wmemcpy(rename->FileName, target.c_str(), target.size());
    if (!SetFileInformationByHandle(handleOf(m_file), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        const int error = errorOf(GetLastError());
        discard();
        return error;
    }
    clearFileInProgress(std::exchange(m_slot, -1));
    m_hidden.clear();
    return m_file.close();
}

void PartFile::discard()
{
    m_file.close(); // a file still marked for deletion goes with it
    if (!m_hidden.empty() && !m_unnamed)
        DeleteFileW(widePath(m_hidden).c_str());
    m_hidden.clear();
    m_unnamed = false;
    clearFileInProgress(std::exchange(m_slot, -1));
}

void PartFile::removeStaleParts(const std::string& folder)
{
    std::string base = folder.empty() ? std::string(".") : folder;
    if (base.back() != '/' && base.back() != '\\' && base.back() != ':')
        base += '\\';
    WIN32_FIND_DATAW found {};
    const HANDLE search = FindFirstFileW(widePath(base + ".quorvane-*.part").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = utf8Of(found.cFileName);
        unsigned long pid = 0;
        if (std::sscanf(name.c_str(), ".quorvane-%lu-", &pid) == 1 && pid > 0 && processIsGone(pid))
            DeleteFileW(widePath(base + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace quorvane::splitter
