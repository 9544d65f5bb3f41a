// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Where exact pieces need pictures encoded again: each piece starts with the first picture shown at or after a
// whole number of lengths, and where no keyframe shows within half a frame of that, the pictures from there to
// the next keyframe are encoded again, starting with a new keyframe. Times alone, in the deciding stream's
// ticks, so it is tested in-process.
namespace quorvane::splitter {

// Pictures of one group encoded again: those decoded from `first` up to `end`, but `kept`.
struct RecodedStretch {
    std::size_t decodeFrom = 0; // the group's keyframe, where decoding starts
    std::size_t first = 0;
    std::size_t end = 0;
    // The next group's keyframe, when it is an open group's: its leading pictures (decoded after it, shown
    // before it, from pictures of this group) are encoded again too, and it is copied after them with the
    // stretch's last decoding time, needing nothing from before it any more.
    std::optional<std::size_t> kept;
    bool keptStartsPiece = false;
    std::int64_t keptDts = 0;
    // The pictures encoded again in the order they are shown, which is the order they are encoded in, each
    // with the decoding time it gets (the stretch's own decoding times, in order, so nothing around it moves),
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
    // Open groups' keyframes that no longer need pictures from before them, with their new decoding times.
    std::vector<std::int64_t> cleanedPts;
    std::vector<std::int64_t> cleanedDts;
};

// The times exact pieces are cut at: `origin` + k·`length` for k = 1, 2, … while more than `halfFrame` is left
// before `end`.
std::vector<std::int64_t> exactCutTimes(
    std::int64_t origin, std::int64_t length, std::int64_t halfFrame, std::int64_t end);

// `pts`, `dts`: the deciding stream's pictures in decoding order; `key`: those decoding can start at. A piece
// starts at each of `cuts` (ascending): with the first picture shown at or after it, or with a keyframe shown
// within `halfFrame` before it. A cut at an open group's keyframe is made by encoding its leading pictures
// again. `followsNewPictures`: whether the keyframe decoded at that index can follow pictures encoded again in
// one decoder (one that needs nothing before it); where it cannot, it must start a piece.
ExactCuts planExactCuts(const std::vector<std::int64_t>& pts, const std::vector<std::int64_t>& dts,
    const std::vector<bool>& key, const std::vector<std::int64_t>& cuts, std::int64_t halfFrame,
    const std::function<bool(std::size_t)>& followsNewPictures);

} // namespace quorvane::splitter
