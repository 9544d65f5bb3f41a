// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/exactcuts.h"

#include "splitter/plan/leadingpictures.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace quorvane::splitter {

namespace {

// What planExactCuts works from: the pictures in decoding order and their keyframes both ways.
struct Pictures {
    const std::vector<std::int64_t>& pts;
    const std::vector<std::int64_t>& dts;
    const std::vector<bool>& key;
    std::vector<std::size_t> byPts; // every picture by presentation time
    std::vector<std::size_t> keysShown; // keyframes by presentation time
    std::vector<std::int64_t> shownBefore; // the latest picture shown among those decoded before each
    std::vector<std::int64_t> shownFrom; // the earliest picture shown among those decoded from each on

    Pictures(const std::vector<std::int64_t>& p, const std::vector<std::int64_t>& d, const std::vector<bool>& k)
        : pts(p)
        , dts(d)
        , key(k)
        , byPts(p.size())
        , shownBefore(p.size() + 1, INT64_MIN)
        , shownFrom(p.size() + 1, INT64_MAX)
    {
        const std::size_t n = pts.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (key[i])
                keysShown.push_back(i);
            shownBefore[i + 1] = std::max(shownBefore[i], pts[i]);
        }
        const auto shownEarlier = [&](std::size_t a, std::size_t b) { return pts[a] < pts[b]; };
        std::iota(byPts.begin(), byPts.end(), 0);
        std::stable_sort(byPts.begin(), byPts.end(), shownEarlier);
        std::stable_sort(keysShown.begin(), keysShown.end(), shownEarlier);
        for (std::size_t i = n; i-- > 0;)
            shownFrom[i] = std::min(shownFrom[i + 1], pts[i]);
    }

    // Past the keyframe's leading pictures decoded right after it.
    std::size_t leadingEnd(std::size_t k) const
    {
        LeadingPictures group;
        group.picture(pts[k], true);
        std::size_t m = k + 1;
        while (m < pts.size() && !key[m] && group.leads(pts[m]))
            ++m;
        return m;
    }
    bool open(std::size_t k) const { return k < pts.size() && hasLeadingPictures(pts, key, k); }
    // Something decoded after its leading pictures is shown before it: its group cannot be told apart.
    bool tangled(std::size_t k) const { return k < pts.size() && shownFrom[leadingEnd(k)] < pts[k]; }
};

// A group's cut pictures, and whether the next group's keyframe must stop needing this group's pictures.
struct Group {
    std::vector<std::size_t> cuts;
    bool cleanNext = false;
};

// The pictures each cut falls on, by their group's place among the keyframes shown; a cut at (or within half a
// frame after) a keyframe is made there as it is, and goes to `keysCutAt`.
std::map<std::size_t, Group> groupsOfCuts(const Pictures& pictures, const std::vector<std::int64_t>& cuts,
    std::int64_t halfFrame, std::vector<std::size_t>& keysCutAt)
{
    const std::vector<std::int64_t>& pts = pictures.pts;
    const std::vector<std::size_t>& keys = pictures.keysShown;
    std::map<std::size_t, Group> groups;
    for (const std::int64_t at : cuts) {
        const auto first = std::lower_bound(pictures.byPts.begin(), pictures.byPts.end(), at,
            [&](std::size_t i, std::int64_t t) { return pts[i] < t; });
        if (first == pictures.byPts.end())
            break;
        const std::size_t picture = *first;
        const auto owner = std::upper_bound(
            keys.begin(), keys.end(), pts[picture], [&](std::int64_t t, std::size_t i) { return t < pts[i]; });
        if (owner == keys.begin())
            continue;
        const auto g = static_cast<std::size_t>(owner - keys.begin()) - 1;
        const std::size_t shownKey = keys[g];
        if (pts[shownKey] >= at - halfFrame) {
            // A keyframe shown within half a frame before the cut, or the picture itself: cut there as it is,
            // once it needs nothing from before it.
            if (g > 0 && pictures.open(shownKey))
                groups[g - 1].cleanNext = true;
            keysCutAt.push_back(shownKey);
            continue;
        }
        groups[g].cuts.push_back(picture);
    }
    return groups;
}

// Whether the group from keyframe `from` to `next` can be encoded again: the next keyframe shown must be the
// next decoded, each group's pictures must come together, and a keyframe that cannot follow pictures encoded
// again in one decoder must start a piece, or its group before it is left as it is.
bool recodable(const Pictures& pictures, std::size_t from, std::size_t next, bool nextStartsPiece,
    const std::function<bool(std::size_t)>& followsNewPictures)
{
    const std::size_t n = pictures.pts.size();
    if ((next < n && next < from) || pictures.tangled(from) || pictures.tangled(next))
        return false;
    const auto begin = pictures.key.begin();
    if (std::find(begin + static_cast<std::ptrdiff_t>(from) + 1, begin + static_cast<std::ptrdiff_t>(next), true)
        != begin + static_cast<std::ptrdiff_t>(next))
        return false;
    return next >= n || nextStartsPiece || followsNewPictures(next);
}

// The stretch of the group from keyframe `from` to `next` encoded again from its first cut on; nullopt where
// it is left as it is.
std::optional<RecodedStretch> stretchOf(const Pictures& pictures, std::size_t from, std::size_t next,
    const Group& group, bool nextStartsPiece, const std::function<bool(std::size_t)>& followsNewPictures)
{
    const std::vector<std::int64_t>& pts = pictures.pts;
    if (!recodable(pictures, from, next, nextStartsPiece, followsNewPictures))
        return std::nullopt;
    const bool open = pictures.open(next);
    const std::size_t stop = open ? pictures.leadingEnd(next) : next;
    std::int64_t firstCut = INT64_MAX;
    for (const std::size_t c : group.cuts)
        firstCut = std::min(firstCut, pts[c]);
    if (group.cuts.empty()) {
        if (!open || !group.cleanNext)
            return std::nullopt;
        firstCut = pictures.shownFrom[next + 1];
    }
    // Nothing decoded before the group may show after the cut.
    if (pictures.shownBefore[from] >= firstCut)
        return std::nullopt;
    RecodedStretch stretch;
    stretch.decodeFrom = from;
    stretch.first = pictures.leadingEnd(from);
    while (stretch.first < next && pts[stretch.first] < firstCut)
        ++stretch.first;
    stretch.end = stop;
    for (std::size_t i = stretch.first; i < stop; ++i) {
        stretch.dts.push_back(pictures.dts[i]);
        if (!open || i != next)
            stretch.order.push_back(i);
    }
    std::stable_sort(
        stretch.order.begin(), stretch.order.end(), [&](std::size_t a, std::size_t b) { return pts[a] < pts[b]; });
    std::sort(stretch.dts.begin(), stretch.dts.end());
    if (open) {
        stretch.kept = next;
        stretch.keptStartsPiece = nextStartsPiece;
        stretch.keptDts = stretch.dts.back();
        stretch.dts.pop_back();
    }
    for (const std::size_t picture : stretch.order)
        stretch.cut.push_back(std::find(group.cuts.begin(), group.cuts.end(), picture) != group.cuts.end());
    return stretch;
}

} // namespace

std::vector<std::int64_t> exactCutTimes(
    std::int64_t origin, std::int64_t length, std::int64_t halfFrame, std::int64_t end)
{
    std::vector<std::int64_t> cuts;
    for (std::int64_t k = 1; length > 0; ++k) {
        const std::int64_t at = origin + k * length;
        if (at >= end - halfFrame)
            break;
        cuts.push_back(at);
    }
    return cuts;
}

ExactCuts planExactCuts(const std::vector<std::int64_t>& pts, const std::vector<std::int64_t>& dts,
    const std::vector<bool>& key, const std::vector<std::int64_t>& cuts, std::int64_t halfFrame,
    const std::function<bool(std::size_t)>& followsNewPictures)
{
    ExactCuts result;
    const std::size_t n = pts.size();
    if (n == 0)
        return result;
    const Pictures pictures(pts, dts, key);
    const std::vector<std::size_t>& keys = pictures.keysShown;
    std::vector<std::size_t> keysCutAt; // keyframes pieces start with as they are
    for (const auto& [g, group] : groupsOfCuts(pictures, cuts, halfFrame, keysCutAt)) {
        const std::size_t next = g + 1 < keys.size() ? keys[g + 1] : n;
        const bool nextStartsPiece = std::find(keysCutAt.begin(), keysCutAt.end(), next) != keysCutAt.end();
        std::optional<RecodedStretch> stretch
            = stretchOf(pictures, keys[g], next, group, nextStartsPiece, followsNewPictures);
        if (!stretch)
            continue;
        if (stretch->kept) {
            result.cleanedPts.push_back(pts[*stretch->kept]);
            result.cleanedDts.push_back(stretch->keptDts);
        }
        for (std::size_t o = 0; o < stretch->order.size(); ++o) {
            if (!stretch->cut[o])
                continue;
            result.keyPts.push_back(pts[stretch->order[o]]);
            result.keyDts.push_back(stretch->dts[o]);
        }
        result.stretches.push_back(std::move(*stretch));
    }
    return result;
}

} // namespace quorvane::splitter
