// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/exactcuts.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace quorvane::splitter {

ExactCuts planExactCuts(const std::vector<std::int64_t>& pts, const std::vector<std::int64_t>& dts,
    const std::vector<bool>& key, std::int64_t origin, std::int64_t length, std::int64_t halfFrame, std::int64_t end)
{
    ExactCuts result;
    const std::size_t n = pts.size();
    if (n == 0 || length <= 0)
        return result;
    std::vector<std::size_t> byPts(n);
    std::iota(byPts.begin(), byPts.end(), 0);
    std::stable_sort(byPts.begin(), byPts.end(), [&](std::size_t a, std::size_t b) { return pts[a] < pts[b]; });
    std::vector<std::size_t> keys; // in decoding order
    for (std::size_t i = 0; i < n; ++i) {
        if (key[i])
            keys.push_back(i);
    }
    std::vector<std::int64_t> keyPts;
    for (const std::size_t k : keys)
        keyPts.push_back(pts[k]);
    std::sort(keyPts.begin(), keyPts.end());
    // The latest picture shown among those decoded before each, and the earliest among those decoded from it.
    std::vector<std::int64_t> shownBefore(n + 1, INT64_MIN);
    std::vector<std::int64_t> shownFrom(n + 1, INT64_MAX);
    for (std::size_t i = 0; i < n; ++i)
        shownBefore[i + 1] = std::max(shownBefore[i], pts[i]);
    for (std::size_t i = n; i-- > 0;)
        shownFrom[i] = std::min(shownFrom[i + 1], pts[i]);

    std::map<std::size_t, std::vector<std::size_t>> cutsByGroup; // the group's keyframe: its cut pictures
    for (std::int64_t k = 1;; ++k) {
        const std::int64_t at = origin + k * length;
        if (at >= end - halfFrame)
            break;
        const auto first = std::lower_bound(
            byPts.begin(), byPts.end(), at, [&](std::size_t i, std::int64_t t) { return pts[i] < t; });
        if (first == byPts.end())
            break;
        const std::size_t picture = *first;
        // A keyframe shown within half a frame before the cut, or the picture itself: cut there as it is.
        const auto latestKey = std::upper_bound(keyPts.begin(), keyPts.end(), pts[picture]);
        if (latestKey != keyPts.begin() && *(latestKey - 1) >= at - halfFrame)
            continue;
        const auto group = std::upper_bound(keys.begin(), keys.end(), picture);
        if (group == keys.begin())
            continue;
        const std::size_t from = *(group - 1);
        const std::size_t next = group == keys.end() ? n : *group;
        // Closed on both sides: nothing decoded before the group shows after the cut, and nothing decoded
        // from the next keyframe on shows before it.
        if (shownBefore[from] >= at || (next < n && shownFrom[next] < pts[next]))
            continue;
        cutsByGroup[from].push_back(picture);
    }

    for (const auto& [from, cuts] : cutsByGroup) {
        const auto group = std::upper_bound(keys.begin(), keys.end(), from);
        const std::size_t next = group == keys.end() ? n : *group;
        std::int64_t firstCut = INT64_MAX;
        for (const std::size_t c : cuts)
            firstCut = std::min(firstCut, pts[c]);
        RecodedStretch stretch;
        stretch.decodeFrom = from;
        stretch.first = from + 1;
        while (pts[stretch.first] < firstCut)
            ++stretch.first;
        stretch.end = next;
        for (std::size_t i = stretch.first; i < next; ++i) {
            stretch.order.push_back(i);
            stretch.dts.push_back(dts[i]);
        }
        std::stable_sort(
            stretch.order.begin(), stretch.order.end(), [&](std::size_t a, std::size_t b) { return pts[a] < pts[b]; });
        std::sort(stretch.dts.begin(), stretch.dts.end());
        for (std::size_t o = 0; o < stretch.order.size(); ++o) {
            const bool cut = std::find(cuts.begin(), cuts.end(), stretch.order[o]) != cuts.end();
            stretch.cut.push_back(cut);
            if (!cut)
                continue;
            result.keyPts.push_back(pts[stretch.order[o]]);
            result.keyDts.push_back(stretch.dts[o]);
        }
        result.stretches.push_back(std::move(stretch));
    }
    return result;
}

} // namespace quorvane::splitter
