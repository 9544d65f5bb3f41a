// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>

namespace quorvane {

// What became of one listed file in the last run, shown beside its row without touching its text.
struct RowOutcome {
    enum Kind {
        None,
        Finished,
        FinishedWithNotes,
        Stopped, // the user stopped the run: the pieces finished so far are kept
        CutShort, // the file ends early or could not be read to its end: pieces of what could be read
        Damaged, // not a video or audio file, or damaged so that no piece could be made
        NotSplittable, // a kind of file the splitter cannot make pieces of
        Failed, // anything else: the disk, permissions, the splitter itself
    };
    Kind kind = None;
    QString text; // in the user's words: the pieces made, the notes, or what went wrong
};

} // namespace quorvane
