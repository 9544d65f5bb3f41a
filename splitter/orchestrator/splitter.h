// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/contract/commandline.h"
#include "splitter/contract/testswitches.h"

#include <cstdio>

// The split, step by step: open and probe the input, find its keyframes, plan the pieces, and write them in
// one reading of the input. The one place that knows every step.
namespace quorvane::splitter {

// Cuts the input into pieces; from now on an ending from outside removes the piece being written. Warnings
// and the one failure line go to `err`; returns the exit status (exitcodes.h).
int splitFile(const SplitRequest& request, const TestSwitches& switches, std::FILE* err);

} // namespace quorvane::splitter
