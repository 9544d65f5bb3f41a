// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/terminationsignals.h"

namespace quorvane {

// A Windows program with a window is asked to end by a close message, which reaches the window's close
// handler already; nothing else to listen for.
struct TerminationSignals::Private { };

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
}

TerminationSignals::~TerminationSignals() { delete d; }

} // namespace quorvane
