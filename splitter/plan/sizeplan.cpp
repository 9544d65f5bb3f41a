// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/sizeplan.h"

#include <algorithm>
#include <numeric>

namespace quorvane::splitter {

void ByteCurve::add(std::int64_t time, std::int64_t bytes)
{
    m_sorted = m_sorted && (m_times.empty() || m_times.back() <= time);
    m_times.push_back(time);
    m_bytes.push_back(bytes);
    m_totals.clear();
}

void ByteCurve::sort() const
{
    if (!m_sorted) {
        std::vector<std::size_t> order(m_times.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(
            order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return m_times[a] < m_times[b]; });
        std::vector<std::int64_t> times;
        std::vector<std::int64_t> bytes;
        times.reserve(order.size());
        bytes.reserve(order.size());
        for (const std::size_t i : order) {
            times.push_back(m_times[i]);
            bytes.push_back(m_bytes[i]);
        }
        m_times.swap(times);
        m_bytes.swap(bytes);
        m_sorted = true;
    }
    m_totals.assign(1, 0);
    m_totals.reserve(m_bytes.size() + 1);
    for (const std::int64_t b : m_bytes)
        m_totals.push_back(m_totals.back() + b);
}

std::int64_t ByteCurve::before(std::int64_t time) const
{
    if (m_totals.size() != m_times.size() + 1)
        sort();
    return m_totals[static_cast<std::size_t>(std::lower_bound(m_times.begin(), m_times.end(), time) - m_times.begin())];
}

std::int64_t ByteCurve::bytesBetween(std::int64_t from, std::int64_t to) const
{
    return to > from ? before(to) - before(from) : 0;
}

std::vector<PlannedPiece> planBySize(const std::vector<std::int64_t>& cuts, std::int64_t start, std::int64_t end,
    std::int64_t maxBytes, const PieceWeight& weight)
{
    std::vector<PlannedPiece> pieces;
    std::int64_t from = start;
    while (from < end && weight(from, end) > maxBytes) {
        // The cuts after `from` and before the end; the weight grows along them, so the last that fits is
        // found by halving.
        const auto first = std::upper_bound(cuts.begin(), cuts.end(), from);
        const auto last = std::lower_bound(first, cuts.end(), end);
        const auto fits
            = std::partition_point(first, last, [&](std::int64_t cut) { return weight(from, cut) <= maxBytes; });
        if (fits != first) {
            pieces.push_back({ from, *std::prev(fits), false });
            from = *std::prev(fits);
            continue;
        }
        // Even the nearest cut is too far: the piece runs to it, as small as the cuts allow.
        if (first == last)
            break;
        pieces.push_back({ from, *first, true });
        from = *first;
    }
    pieces.push_back({ from, std::max(from, end), from < end && weight(from, end) > maxBytes });
    return pieces;
}

std::vector<PlannedPiece> planParts(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, int parts, std::int64_t origin)
{
    std::vector<PlannedPiece> pieces;
    std::int64_t from = start;
    origin = std::min(origin, start);
    const double share = static_cast<double>(end - origin) / std::max(parts, 1);
    for (int k = 1; k < parts && end > start; ++k) {
        const double target = static_cast<double>(origin) + share * k;
        const auto first = std::upper_bound(keyframes.begin(), keyframes.end(), from);
        const auto last = std::lower_bound(first, keyframes.end(), end);
        if (first == last)
            break;
        // The keyframe nearest the target, of those after the last cut; an earlier one when the two are as near.
        auto at = std::lower_bound(first, last, static_cast<std::int64_t>(target));
        if (at == last
            || (at != first && target - static_cast<double>(*std::prev(at)) <= static_cast<double>(*at) - target))
            at = std::prev(at == last ? last : at);
        // Leave a keyframe for every part still to come, where there are that many.
        const auto left = last - at - 1;
        if (left < parts - 1 - k && last - first >= parts - k)
            at = last - (parts - k);
        pieces.push_back({ from, *at, false });
        from = *at;
    }
    pieces.push_back({ from, std::max(from, end), false });
    return pieces;
}

std::vector<PlannedPiece> planAtCuts(const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end,
    const std::vector<std::int64_t>& cuts, std::int64_t halfFrame)
{
    std::vector<PlannedPiece> pieces;
    std::int64_t from = start;
    for (const std::int64_t cut : cuts) {
        const auto at = std::lower_bound(keyframes.begin(), keyframes.end(), cut - halfFrame);
        if (at == keyframes.end() || *at >= end)
            break;
        if (*at <= from)
            continue;
        pieces.push_back({ from, *at, false });
        from = *at;
    }
    pieces.push_back({ from, std::max(from, end), false });
    return pieces;
}

} // namespace quorvane::splitter
