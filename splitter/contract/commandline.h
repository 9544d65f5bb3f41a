// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// quorvane-split's command line: what a split is asked to do, and the help that describes it. Plain text,
// tested in-process.
namespace quorvane::splitter {

struct SplitRequest {
    std::string input; // as given; the pieces go beside it
    double seconds = 0;
    bool stats = false; // say how the pieces were written
    bool exact = false; // every piece the length asked, the pictures between a cut and its keyframe encoded again
    std::FILE* progress = nullptr; // where progress lines go; none when null
};

struct Command {
    enum Kind { Split, Help, Version, Wrong };
    Kind kind = Wrong;
    SplitRequest request; // for Split
    std::string problem; // for Wrong: what is wrong, in a few words
};

// `arguments` as main got them, the program's name first; `progress` is where --progress sends its lines.
Command parseCommandLine(const std::vector<std::string>& arguments, std::FILE* progress);

// "2.5" -> 2.5; nullopt for anything that is not a finite number above zero.
std::optional<double> parseSeconds(const std::string& text);

const char* usageLine();
void printHelp(std::FILE* out);

} // namespace quorvane::splitter
