// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Where the pieces are cut, worked out from times alone: which keyframes may start a piece, and which of them
// do. No FFmpeg types here, so it is tested in-process. All times in the deciding stream's ticks.
namespace quorvane::splitter {

struct PlannedPiece {
    std::int64_t start = 0; // ticks
    std::int64_t end = 0;
    bool longerThanAsked = false; // no keyframe within the length after `start`
};

struct SplitPlan {
    std::vector<PlannedPiece> pieces;
    std::vector<std::int64_t> cutDts; // the deciding stream's decoding time at each cut
    std::int64_t fileStart = 0; // where the file's presentation starts, any stream's priming included
};

// How long a piece may run, in the deciding stream's ticks.
struct PieceLength {
    std::int64_t length = 1;
    // Less than half a frame: a piece longer than the length by less counts as the length, so 29.97 frames a
    // second cut every second gives pieces of 30 frames, not 29.
    std::int64_t slack = 0;
    // Where the first piece is measured from when some stream starts before the deciding one (sound recorded
    // before the pictures); nullopt: from the deciding stream's start.
    std::optional<std::int64_t> origin;
};

// The latest end of each piece in turn: its length from its start (the first from the origin), and no later
// than the next step of a grid of lengths from the origin, so that where keyframes allow, the k-th cut stays
// within a frame of k lengths instead of drifting. A piece that had to run long starts the grid again.
class CutLimits {
public:
    CutLimits(const PieceLength& rule, std::int64_t start);
    // A piece starting at `from` may end at a keyframe at or before this.
    std::int64_t latestEnd(std::int64_t from) const;
    // What is left from `from` to `end` fits in one piece.
    bool restFits(std::int64_t from, std::int64_t end) const;
    // The piece starting at `from` ended at `at`; `forced`: no keyframe came within its latest end.
    void cut(std::int64_t at, bool forced);
    // How long the piece from `from` to `end` counts as.
    std::int64_t measured(std::int64_t from, std::int64_t end) const { return end - measuredFrom(from); }

private:
    std::int64_t measuredFrom(std::int64_t from) const;

    PieceLength m_rule;
    std::int64_t m_origin;
    std::int64_t m_grid; // the next step of the grid
    bool m_first = true;
};

// Which keyframes a piece can start at: those whose group has no leading pictures (shown before the
// keyframe but decoded after it). Leading pictures of an open group of pictures refer to the group before,
// so a piece starting there loses them or shows them broken. `pts` holds the deciding stream's
// presentation times in decoding order, `key` its keyframe flags; the answer has one flag per keyframe.
std::vector<bool> cleanKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key);

// The keyframes a piece may start at, ascending by presentation time, each with its decoding time.
struct StartingKeyframes {
    std::vector<std::int64_t> pts;
    std::vector<std::int64_t> dts;
    // An open group's keyframe: its leading pictures (decoded after it, shown before it) need the group before,
    // so it starts a piece only once they are encoded again.
    std::vector<bool> open;
    int passedOver = 0; // open groups' keyframes that may not start a piece
};

// From every picture of the deciding stream in decoding order (`pts`, `key`) and its keyframes' times in the
// same order (`keyPts`, `keyDts`): every keyframe, the open ones marked. The very first keyframe starts the
// file whatever it is.
StartingKeyframes startingKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key,
    const std::vector<std::int64_t>& keyPts, const std::vector<std::int64_t>& keyDts);

// Greedy cut: each piece ends at the last keyframe at or before its latest end (CutLimits), so pieces are as
// long as allowed and as few as possible; the rest of the file becomes the last piece as soon as it fits in
// one length. Without a keyframe inside the length, the piece ends at the next keyframe (or the end).
// `keyframes` are ascending start times of the sync samples; `start` and `end` bound the whole file.
std::vector<PlannedPiece> planPieces(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, const PieceLength& length);

// Which pieces a file is cut into, given the keyframes they may start at (ascending presentation times): by
// length (planPieces), by bytes or by count (sizeplan.h).
using PieceRule = std::function<std::vector<PlannedPiece>(const std::vector<std::int64_t>& keyframes)>;

// Pieces of `length` from `firstShown` to `end`: planPieces.
PieceRule byLength(std::int64_t firstShown, std::int64_t end, const PieceLength& length);

// The plan over `keys` by `rule`, with the decoding time of the keyframe that starts each piece.
SplitPlan planFromKeyframes(const StartingKeyframes& keys, const PieceRule& rule, std::int64_t fileStart);

// The decoding time of the keyframe that starts each piece: `keyPts` ascending with `keyDts` beside it,
// as the planner saw them. Piece 0 gets its own start.
std::vector<std::int64_t> cutDecodingTimes(const std::vector<PlannedPiece>& pieces,
    const std::vector<std::int64_t>& keyPts, const std::vector<std::int64_t>& keyDts);

// The piece length in ticks of `num`/`den` seconds, at least one tick.
std::int64_t lengthInTicks(double seconds, int num, int den);

} // namespace quorvane::splitter
