// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// quorvane-split's command line: what a split is asked to do, and the help that describes it. Plain text,
// tested in-process.
namespace quorvane::splitter {

struct SplitRequest {
    std::string input; // as given; the pieces go beside it
    // What the pieces are measured by: one of these is set.
    double seconds = 0; // -split: at most this long
    std::int64_t maxBytes = 0; // -splits: at most this many bytes on disk
    int parts = 0; // -parts: this many, of equal length
    bool stats = false; // say how the pieces were written
    bool exact = false; // every piece the length asked, the pictures between a cut and its keyframe encoded again
    std::FILE* progress = nullptr; // where progress lines go; none when null
};

// More parts than this would be pieces of a frame or two each.
inline constexpr int maxParts = 10000;

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
// "700" (kilobytes), "25M", "2G", "1.5G" -> bytes, units of 1024; nullopt for anything else, or under one byte.
std::optional<std::int64_t> parseSize(const std::string& text);

const char* usageLine();
void printHelp(std::FILE* out);

} // namespace quorvane::splitter
