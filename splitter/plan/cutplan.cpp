// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/cutplan.h"

#include "splitter/plan/leadingpictures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace quorvane::splitter {

StartingKeyframes startingKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key,
    const std::vector<std::int64_t>& keyPts, const std::vector<std::int64_t>& keyDts)
{
    const std::vector<bool> clean = cleanKeyframes(pts, key);
    StartingKeyframes kept;
    std::vector<std::size_t> order(std::min(clean.size(), keyPts.size()));
    std::iota(order.begin(), order.end(), 0);
    // Keyframes come in decoding order; the plan wants them in presentation order.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keyPts[a] < keyPts[b]; });
    for (const std::size_t k : order) {
        kept.pts.push_back(keyPts[k]);
        kept.dts.push_back(keyDts[k]);
        kept.open.push_back(!clean[k] && k != 0);
    }
    return kept;
}

PieceRule byLength(std::int64_t firstShown, std::int64_t end, const PieceLength& length)
{
    return [=](const std::vector<std::int64_t>& keyframes) { return planPieces(keyframes, firstShown, end, length); };
}

SplitPlan planFromKeyframes(const StartingKeyframes& keys, const PieceRule& rule, std::int64_t fileStart)
{
    SplitPlan plan;
    plan.pieces = rule(keys.pts);
    plan.cutDts = cutDecodingTimes(plan.pieces, keys.pts, keys.dts);
    plan.fileStart = fileStart;
    return plan;
}

namespace {

std::int64_t saturatedSum(std::int64_t a, std::int64_t b) { return a > INT64_MAX - b ? INT64_MAX : a + b; }

} // namespace

CutLimits::CutLimits(const PieceLength& rule, std::int64_t start)
    : m_rule(rule)
    , m_origin(rule.origin ? std::min(*rule.origin, start) : start)
    , m_grid(saturatedSum(m_origin, rule.length))
{
}

std::int64_t CutLimits::measuredFrom(std::int64_t from) const { return m_first ? std::min(from, m_origin) : from; }

std::int64_t CutLimits::latestEnd(std::int64_t from) const
{
    return saturatedSum(std::min(saturatedSum(measuredFrom(from), m_rule.length), m_grid), m_rule.slack);
}

bool CutLimits::restFits(std::int64_t from, std::int64_t end) const
{
    return measured(from, end) <= saturatedSum(m_rule.length, m_rule.slack);
}

void CutLimits::cut(std::int64_t at, bool forced)
{
    m_first = false;
    m_grid = saturatedSum(m_grid, m_rule.length);
    if (forced || m_grid <= at)
        m_grid = saturatedSum(at, m_rule.length);
}

std::vector<PlannedPiece> planPieces(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, const PieceLength& length)
{
    std::vector<PlannedPiece> pieces;
    if (length.length <= 0 || end <= start) {
        pieces.push_back({ start, std::max(start, end), false });
        return pieces;
    }
    CutLimits limits(length, start);
    std::int64_t from = start;
    for (;;) {
        if (limits.restFits(from, end)) {
            pieces.push_back({ from, end, false });
            break;
        }
        auto after = std::upper_bound(keyframes.begin(), keyframes.end(), std::max(from, limits.latestEnd(from)));
        if (after != keyframes.begin() && *std::prev(after) > from) {
            const std::int64_t cut = *std::prev(after);
            pieces.push_back({ from, cut, false });
            limits.cut(cut, false);
            from = cut;
            continue;
        }
        // A group of pictures longer than the length: end at the next keyframe, or take the rest.
        if (after == keyframes.end() || *after >= end) {
            pieces.push_back({ from, end, true });
            break;
        }
        pieces.push_back({ from, *after, true });
        limits.cut(*after, true);
        from = *after;
    }
    return pieces;
}

std::vector<bool> cleanKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key)
{
    std::vector<bool> clean;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (key[i])
            clean.push_back(!hasLeadingPictures(pts, key, i));
    }
    return clean;
}

std::vector<std::int64_t> cutDecodingTimes(const std::vector<PlannedPiece>& pieces,
    const std::vector<std::int64_t>& keyPts, const std::vector<std::int64_t>& keyDts)
{
    std::vector<std::int64_t> cuts;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        const auto at = std::lower_bound(keyPts.begin(), keyPts.end(), pieces[p].start);
        const bool isKey = p > 0 && at != keyPts.end() && *at == pieces[p].start;
        cuts.push_back(isKey ? keyDts[static_cast<std::size_t>(at - keyPts.begin())] : pieces[p].start);
    }
    return cuts;
}

std::int64_t lengthInTicks(double seconds, int num, int den)
{
    const double ticks = std::floor(seconds * den / num + 1e-9);
    if (ticks >= 9.0e18)
        return INT64_MAX / 4;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(ticks));
}

} // namespace quorvane::splitter
