// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/terminationsignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <windows.h>

namespace quorvane {

// A Windows program with a window is asked to end by a close message, which reaches the window's close
// handler already. A log-off or a shutdown instead says WM_ENDSESSION to its windows, and ends the process as
// soon as they have answered: what must be done then is done before the answer.
struct TerminationSignals::Private : QAbstractNativeEventFilter {
    explicit Private(TerminationSignals* owner)
        : m_owner(owner)
    {
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        const auto* msg = static_cast<const MSG*>(message);
        if (eventType == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam && !ended) {
            ended = true;
            emit m_owner->terminationRequested(WM_ENDSESSION);
        }
        return false;
    }

    TerminationSignals* m_owner;
    bool ended = false;
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
    , d(new Private(this))
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installNativeEventFilter(d);
}

TerminationSignals::~TerminationSignals()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeNativeEventFilter(d);
    delete d;
}

} // namespace quorvane
