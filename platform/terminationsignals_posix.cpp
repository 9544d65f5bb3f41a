// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/terminationsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

namespace {

// The handler may do nothing but write to a pipe; the event loop reads the other end.
int g_pipe[2] = { -1, -1 };
constexpr int handled[] = { SIGTERM, SIGHUP, SIGINT };

extern "C" void onTerminationSignal(int sig)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

struct TerminationSignals::Private {
    QSocketNotifier* notifier = nullptr;
    struct sigaction previous[std::size(handled)] {};
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return; // the signals keep their default effect
    }
    d->notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1)
            emit terminationRequested(byte);
    });
    struct sigaction action { };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handled); ++i)
        ::sigaction(handled[i], &action, &d->previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (g_pipe[0] >= 0) {
        for (std::size_t i = 0; i < std::size(handled); ++i)
            ::sigaction(handled[i], &d->previous[i], nullptr);
        delete d->notifier;
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
    delete d;
}

} // namespace quorvane
