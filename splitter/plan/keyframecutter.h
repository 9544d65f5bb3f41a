// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/plan/cutplan.h"
#include "splitter/plan/leadingpictures.h"

#include <cstdint>
#include <optional>
#include <vector>

// The plan of planPieces, made while the file is read once: for files without an index of their keyframes.
// A keyframe is first verified to open a closed group (no picture decoded after it shows before it, which
// the next keyframe settles); then, within the length, it is only a candidate until the next keyframe shows
// whether a later one still fits, and becomes a cut or is passed over. No FFmpeg types, so the tests drive it
// directly.
namespace quorvane::splitter {

class KeyframeCutter {
public:
    struct Cut {
        std::int64_t pts = 0;
        std::int64_t dts = 0;
    };

    KeyframeCutter(std::int64_t start, const PieceLength& length);

    // The deciding stream's next picture, in decoding order. Returns the cuts it settles.
    std::vector<Cut> picture(std::int64_t pts, std::int64_t dts, bool key);
    // A keyframe known to open a closed group, in decoding order. Returns the cuts it settles.
    std::vector<Cut> keyframe(std::int64_t pts, std::int64_t dts);
    // The file showed its last picture at `end`: the candidate becomes a cut when the rest does not fit in
    // one piece.
    std::vector<Cut> finish(std::int64_t end);
    // Memory runs short: what waits is settled now (a piece shorter than it might have been).
    std::vector<Cut> settleNow();

    // The earliest keyframe that may still become a cut: pictures from there on cannot be placed yet.
    std::optional<Cut> possibleCut() const;
    // The pieces so far; the last one's end is known only after finish().
    const std::vector<PlannedPiece>& pieces() const { return m_pieces; }
    // Keyframes passed over because their group needs the one before (an open GOP).
    int openKeyframes() const { return m_openKeyframes; }

private:
    void cut(const Cut& at, bool forced, std::vector<Cut>& cuts);
    std::vector<Cut> verify();

    CutLimits m_limits;
    std::vector<PlannedPiece> m_pieces;
    std::optional<Cut> m_candidate;
    std::optional<Cut> m_unverified; // a keyframe whose group is not yet known to be closed
    LeadingPictures m_group; // the pictures of its group so far
    int m_openKeyframes = 0;
};

} // namespace quorvane::splitter
