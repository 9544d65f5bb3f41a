// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/exactcuts.h"
#include "splitter/reading/keyframescan.h"
#include "splitter/recoding/recoder.h"

#include <cstdint>
#include <string>
#include <vector>

// The stretches of the deciding stream encoded again, planned from the index before the first piece is
// written: around exact cuts, and before open groups' keyframes so that they can start pieces. The keyframes
// pieces may start at (the scan's) change with them.
namespace quorvane::splitter {

class StretchPlanner {
public:
    // `ref` is the deciding stream of the file at `input`, as `layout` lays it out; `scan` lists its samples.
    StretchPlanner(const std::string& input, const AVStream* ref, const MediaLayout& layout, KeyframeScan& scan);

    // Pieces cut at `cuts`, wherever the keyframes are: `recoder` is given the stretches around them. A
    // keyframe within `slack` before a cut serves as it is.
    void planExactCuts(Recoder& recoder, const std::vector<std::int64_t>& cuts, std::int64_t slack);
    // An open group's keyframe starts a piece by `rule` once its leading pictures are encoded again. Returns
    // false when no piece starts at one, and `recoder` has nothing to do.
    bool encodeLeadingPictures(Recoder& recoder, const PieceRule& rule, std::int64_t slack);
    // Open groups' keyframes whose leading pictures are not encoded again start no piece.
    void passOverOpenKeyframes();

private:
    // The stretches encoded again for pieces that start at `cuts`, from the index.
    ExactCuts planStretches(const std::vector<std::int64_t>& cuts, std::int64_t slack) const;
    void applyStretches(ExactCuts cuts, Recoder& recoder);

    const std::string& m_input;
    const AVStream* m_ref;
    const MediaLayout& m_layout;
    KeyframeScan& m_scan;
};

} // namespace quorvane::splitter
