// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// What became of one listed file in the last run, shown beside its row without touching its text.
struct RowOutcome {
    enum Kind { None, Finished, FinishedWithNotes, Failed };
    Kind kind = None;
    QString text; // in the user's words: the pieces made, the notes, or the failure
};

} // namespace quorvane
