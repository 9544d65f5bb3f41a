// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/plan/cutplan.h"

#include <cstdint>
#include <functional>
#include <vector>

// Where the pieces are cut when they are measured by their bytes on disk or by their count rather than by a
// length. Times alone, in the deciding stream's ticks, so it is tested in-process.
namespace quorvane::splitter {

// The packets of one stream by time: how many bytes lie between two times.
class ByteCurve {
public:
    void add(std::int64_t time, std::int64_t bytes);
    // The bytes of the packets at or after `from` and before `to`.
    std::int64_t bytesBetween(std::int64_t from, std::int64_t to) const;

private:
    std::int64_t before(std::int64_t time) const;
    void sort() const;

    // Filled in any order; sorted by time, with running totals, when first asked.
    mutable std::vector<std::int64_t> m_times;
    mutable std::vector<std::int64_t> m_bytes;
    mutable std::vector<std::int64_t> m_totals; // bytes before each packet, and after the last
    mutable bool m_sorted = true;
};

// What a piece from `from` to `to` would weigh on disk, at most; it grows with `to`.
using PieceWeight = std::function<std::int64_t(std::int64_t from, std::int64_t to)>;

// Greedy by bytes: each piece ends at the last of `cuts` (ascending) that keeps its weight within `maxBytes`,
// so pieces are as few as the cuts allow; the rest of the file becomes the last piece once it fits. Where
// none does, the piece runs to the next cut, marked longerThanAsked.
std::vector<PlannedPiece> planBySize(const std::vector<std::int64_t>& cuts, std::int64_t start, std::int64_t end,
    std::int64_t maxBytes, const PieceWeight& weight);

// `parts` pieces of equal length from `start` to `end`: piece k ends at the keyframe nearest to k/`parts` of the
// way from `origin` (where the first piece is measured from, at or before `start`) to `end`. Fewer when the
// keyframes are too few to part the file so.
std::vector<PlannedPiece> planParts(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, int parts, std::int64_t origin);

// Pieces starting at `cuts` (ascending), each at the first keyframe shown within `halfFrame` before a cut or
// after it, as exact cuts place their new keyframes.
std::vector<PlannedPiece> planAtCuts(const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end,
    const std::vector<std::int64_t>& cuts, std::int64_t halfFrame);

} // namespace quorvane::splitter
