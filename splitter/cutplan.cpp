// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/cutplan.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvane::splitter {

std::vector<PlannedPiece> planPieces(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, std::int64_t length)
{
    std::vector<PlannedPiece> pieces;
    if (length <= 0 || end <= start) {
        pieces.push_back({ start, std::max(start, end), false });
        return pieces;
    }
    std::int64_t from = start;
    for (;;) {
        if (end - from <= length) {
            pieces.push_back({ from, end, false });
            break;
        }
        const std::int64_t limit = from + length;
        auto after = std::upper_bound(keyframes.begin(), keyframes.end(), limit);
        if (after != keyframes.begin() && *std::prev(after) > from) {
            const std::int64_t cut = *std::prev(after);
            pieces.push_back({ from, cut, false });
            from = cut;
            continue;
        }
        // A group of pictures longer than the length: end at the next keyframe, or take the rest.
        if (after == keyframes.end() || *after >= end) {
            pieces.push_back({ from, end, true });
            break;
        }
        pieces.push_back({ from, *after, true });
        from = *after;
    }
    return pieces;
}

std::vector<bool> cleanKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key)
{
    std::vector<bool> clean;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (!key[i])
            continue;
        bool leading = false;
        for (std::size_t j = i + 1; j < pts.size() && !key[j] && !leading; ++j)
            leading = pts[j] < pts[i];
        clean.push_back(!leading);
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

std::optional<double> parseSeconds(const std::string& text)
{
    if (text.empty() || text.front() == ' ')
        return std::nullopt;
    char* rest = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &rest);
    if (errno != 0 || rest == text.c_str() || *rest != '\0' || !std::isfinite(value) || value <= 0.0)
        return std::nullopt;
    return value;
}

std::string pieceFileName(const std::string& path, int number)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = path.size();
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%03d", number);
    return path.substr(0, dot) + digits + path.substr(dot);
}

std::int64_t moovReservation(const std::vector<std::int64_t>& samples, std::int64_t extra)
{
    // Per sample at most: size (4), time to sample (8), composition offset (8), sync sample (4), sample
    // dependency (1), sample group (8), and, when every sample is its own chunk, chunk offset (8) and sample
    // to chunk (12). The fixed boxes of a track take well under a KiB besides its codec header.
    constexpr std::int64_t perSample = 53;
    constexpr std::int64_t perTrack = 1024;
    std::int64_t total = 4096 + 2 * extra;
    for (const std::int64_t n : samples)
        total += perTrack + perSample * n;
    return total;
}

std::string clockTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const auto tenths = static_cast<long long>(std::llround(seconds * 10));
    char text[48];
    std::snprintf(
        text, sizeof text, "%lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60, tenths % 10);
    return text;
}

} // namespace quorvane::splitter
