// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <vector>

// Where exact pieces need pictures encoded again: each piece starts with the first picture shown at or after a
// whole number of lengths, and where no keyframe shows within half a frame of that, the pictures from there to
// the next keyframe are encoded again, starting with a new keyframe. Times alone, in the deciding stream's
// ticks, so it is tested in-process.
namespace quorvane::splitter {

// Pictures of one group encoded again: those decoded from `first` up to the group's next keyframe at `end`.
struct RecodedStretch {
    std::size_t decodeFrom = 0; // the group's keyframe, where decoding starts
    std::size_t first = 0;
    std::size_t end = 0;
    // The stretch's pictures in the order they are shown, which is the order they are encoded in, each with
    // the decoding time it gets (the stretch's own decoding times, in order, so nothing around it moves),
    // and whether a piece starts with it.
    std::vector<std::size_t> order;
    std::vector<std::int64_t> dts;
    std::vector<bool> cut;
};

struct ExactCuts {
    std::vector<RecodedStretch> stretches; // in decoding order
    // The keyframes the new stretches start pieces with, by presentation time.
    std::vector<std::int64_t> keyPts;
    std::vector<std::int64_t> keyDts;
};

// `pts`, `dts`: the deciding stream's pictures in decoding order; `key`: those decoding can start at. Cuts fall
// at `origin` + k·`length` for k = 1, 2, … while more than half a frame is left before `end`. Where a group
// shows pictures of another group (an open group of pictures), its cuts are left to its keyframes.
ExactCuts planExactCuts(const std::vector<std::int64_t>& pts, const std::vector<std::int64_t>& dts,
    const std::vector<bool>& key, std::int64_t origin, std::int64_t length, std::int64_t halfFrame, std::int64_t end);

} // namespace quorvane::splitter
