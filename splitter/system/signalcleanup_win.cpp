// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/signalcleanup.h"

#include "splitter/system/system_win.h"

#include <string>

namespace quorvane::splitter {

namespace {

// The handler runs on a thread of its own while the tool goes on: fixed buffers and flags only.
constexpr int slots = 2;
wchar_t g_path[slots][32768];
volatile LONG g_active[slots] = {};

// Ctrl-C, Ctrl-Break, a closed console, a log-off or a shutdown: what is being written under a name goes, then
// the process ends as it would have. Files marked for deletion go with the process anyway.
BOOL WINAPI removeAndEnd(DWORD)
{
    for (int slot = 0; slot < slots; ++slot) {
        if (g_active[slot])
            DeleteFileW(g_path[slot]);
    }
    return FALSE;
}

} // namespace

void installSignalCleanup() { SetConsoleCtrlHandler(removeAndEnd, TRUE); }

int setFileInProgress(const std::string& path)
{
    const std::wstring wide = widePath(path);
    for (int slot = 0; slot < slots; ++slot) {
        if (g_active[slot] || wide.size() >= std::size(g_path[slot]))
            continue;
        wide.copy(g_path[slot], wide.size());
        g_path[slot][wide.size()] = L'\0';
        InterlockedExchange(&g_active[slot], 1);
        return slot;
    }
    return -1;
}

void clearFileInProgress(int slot)
{
    if (slot >= 0 && slot < slots)
        InterlockedExchange(&g_active[slot], 0);
}

void holdUntilResumed(std::FILE* say)
{
    // Told to go on through an event named after the process, as SIGUSR1 does elsewhere.
    const std::wstring name = L"Local\\quorvane-split-resume-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE resume = CreateEventW(nullptr, FALSE, FALSE, name.c_str());
    std::fputs("holding\n", say);
    std::fflush(say);
    if (resume) {
        WaitForSingleObject(resume, INFINITE);
        CloseHandle(resume);
    }
}

} // namespace quorvane::splitter
