// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/cutplan.h"

#include <cstdint>
#include <optional>
#include <vector>

// The plan of planPieces, made while the file is read once: for files without an index of their keyframes.
// A keyframe within the length is only a candidate until the next keyframe shows whether a later one still
// fits; then it becomes a cut or is passed over. No FFmpeg types, so the tests drive it directly.
namespace quorvane::splitter {

class KeyframeCutter {
public:
    struct Cut {
        std::int64_t pts = 0;
        std::int64_t dts = 0;
    };

    KeyframeCutter(std::int64_t start, std::int64_t length);

    // The next keyframe a piece may start at, in decoding order. Returns the cuts it settles.
    std::vector<Cut> keyframe(std::int64_t pts, std::int64_t dts);
    // The file showed its last picture at `end`: the candidate becomes a cut when the rest does not fit in
    // one piece.
    std::vector<Cut> finish(std::int64_t end);
    // Memory runs short: the candidate becomes a cut now (a piece shorter than it might have been).
    std::optional<Cut> settleNow();

    const std::optional<Cut>& candidate() const { return m_candidate; }
    // The pieces so far; the last one's end is known only after finish().
    const std::vector<PlannedPiece>& pieces() const { return m_pieces; }

private:
    void cut(const Cut& at, std::vector<Cut>& cuts);

    std::int64_t m_length;
    std::vector<PlannedPiece> m_pieces;
    std::optional<Cut> m_candidate;
};

} // namespace quorvane::splitter
