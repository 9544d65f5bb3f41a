// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/system/signalcleanup.h"

#include <csignal>
#include <cstdio>

#include <pthread.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

// Only async-signal-safe things happen in the handler: fixed buffers and flags.
constexpr int slots = 2;
char g_path[slots][4096];
volatile std::sig_atomic_t g_active[slots] = {};

extern "C" void removeAndDie(int sig)
{
    for (int slot = 0; slot < slots; ++slot) {
        if (g_active[slot])
            ::unlink(g_path[slot]);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void installSignalCleanup()
{
    for (int sig : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        std::signal(sig, removeAndDie);
}

int setFileInProgress(const std::string& path)
{
    for (int slot = 0; slot < slots; ++slot) {
        if (g_active[slot])
            continue;
        std::snprintf(g_path[slot], sizeof g_path[slot], "%s", path.c_str());
        g_active[slot] = 1;
        return slot;
    }
    return -1; // cannot happen: the writer holds two files at most
}

void clearFileInProgress(int slot)
{
    if (slot >= 0 && slot < slots)
        g_active[slot] = 0;
}

void holdUntilResumed(std::FILE* say)
{
    sigset_t resume;
    sigemptyset(&resume);
    sigaddset(&resume, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &resume, nullptr);
    std::fputs("holding\n", say);
    std::fflush(say);
    int received = 0;
    while (::sigwait(&resume, &received) != 0) { }
}

} // namespace quorvane::splitter
