// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/plan/cutplan.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/sampleindex.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the keyframes of the deciding stream are, and how many samples each stream has when: what the plan
// of the pieces is made from. All times in the deciding stream's ticks.
namespace quorvane::splitter {

struct KeyframeScan {
    StartingKeyframes keys; // the keyframes a piece may start at
    const SampleIndex* samples = nullptr; // every sample of every stream; null when planned while reading
    std::int64_t start = 0; // where the file's presentation starts, any stream's priming included
    std::int64_t firstShown = 0; // where the deciding stream starts showing: the pieces' lengths count from here
    std::int64_t end = 0; // and ends
    std::int64_t referencePackets = -1; // how many packets the deciding stream has, when known
};

// The duration of `packet` as the index has it: until the next sample is decoded; 0 when not known (the
// last sample, a stream without an index). The MP4 reader leaves a picture's duration to a guess from the
// frame rate when pictures are reordered, and that guess differs with how the file is read.
std::int64_t indexDuration(const KeyframeScan& scan, const AVPacket* packet);

// From an index that lists every sample (the MP4 family's). nullopt when the index lists no keyframe.
std::optional<KeyframeScan> scanIndex(const AVFormatContext* in, const MediaLayout& layout, const SampleIndex& samples);

} // namespace quorvane::splitter
