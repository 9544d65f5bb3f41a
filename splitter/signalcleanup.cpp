// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/signalcleanup.h"

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace quorvane::splitter {

namespace {

// Only async-signal-safe things happen in the handler: a fixed buffer and a flag.
char g_path[4096];
volatile std::sig_atomic_t g_active = 0;

extern "C" void removeAndDie(int sig)
{
    if (g_active)
        ::unlink(g_path);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void installSignalCleanup()
{
    for (int sig : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        std::signal(sig, removeAndDie);
}

void setFileInProgress(const std::string& path)
{
    g_active = 0;
    std::snprintf(g_path, sizeof g_path, "%s", path.c_str());
    g_active = 1;
}

void clearFileInProgress() { g_active = 0; }

} // namespace quorvane::splitter
