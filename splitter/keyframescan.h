// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/cutplan.h"
#include "splitter/inputprobe.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the keyframes of the deciding stream are, and how many samples each stream has when: what the plan
// of the pieces is made from. All times in the deciding stream's ticks.
namespace quorvane::splitter {

struct KeyframeScan {
    StartingKeyframes keys; // the keyframes a piece may start at
    std::vector<std::vector<std::int64_t>> times; // per input stream: the decoding times, ascending
    // Per input stream, for video: the decoding times in the stream's own ticks, ascending, from which each
    // sample's duration follows (see indexDuration).
    std::vector<std::vector<std::int64_t>> videoDts;
    std::vector<std::int64_t> videoLastDuration; // per input stream: its last sample's duration, 0 if unknown
    std::int64_t start = 0; // where the file's presentation starts, any stream's priming included
    std::int64_t firstShown = 0; // where the deciding stream starts showing: the pieces' lengths count from here
    std::int64_t end = 0; // and ends
    std::int64_t referencePackets = -1; // how many packets the deciding stream has, when known
};

// The duration of `packet` as the index has it: until the next sample is decoded; 0 when not known (the
// last sample, a stream without an index). The MP4 reader leaves a picture's duration to a guess from the
// frame rate when pictures are reordered, and that guess differs with how the file is read.
std::int64_t indexDuration(const KeyframeScan& scan, const AVPacket* packet);

// From the container's index where it lists every sample (the MP4 family); nullopt for other files.
// `path` is the input's name, for reading the index's composition offsets. `openCuts`: a keyframe of an
// open group may start a piece (see openCutsAllowed); otherwise such keyframes are passed over.
std::optional<KeyframeScan> scanIndex(
    AVFormatContext* in, const MediaLayout& layout, const std::string& path, bool openCuts);

} // namespace quorvane::splitter
