// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

namespace quorvane {

class Dialogs;
class ErrorReport;

// One entry of the interval box. `testLine` and `setLine` are the split run's statement numbers for
// testing the fragment and setting the seconds; a custom entry asks the user with `prompt`.
struct IntervalChoice {
    const char* text;
    const char* fragment;
    qint32 seconds; // fixed length, or the multiplier of a custom answer
    const char* prompt; // nullptr for a fixed length
    int testLine;
    int setLine;
    int multiplyLine; // 0 when the answer is taken as it is, or multiplied on setLine itself
};

const std::array<IntervalChoice, 15>& intervalChoices();

// The statement number of Form_Load that adds the entry at `index` to the box.
constexpr int intervalLoadLine(int index) { return 132 + 2 * index; }

// The piece length in seconds for the box's current text. `seconds` is the run's value so far: it is kept
// when nothing matches and when an answer cannot be converted. Failures are reported through `report`
// with the run's line numbers, and the resolution goes on as the run would.
qint32 ResolveSplitSeconds(const QString& choiceText, qint32 seconds, Dialogs& dialogs, ErrorReport& report);

} // namespace quorvane
