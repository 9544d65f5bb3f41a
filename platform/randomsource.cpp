// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/randomsource.h"

#include <QRandomGenerator>

namespace quorvane {

double SystemRandomSource::fraction() { return QRandomGenerator::global()->generateDouble(); }

} // namespace quorvane
