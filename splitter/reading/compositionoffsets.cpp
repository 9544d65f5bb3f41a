// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/compositionoffsets.h"

#include "splitter/reading/mp4tables.h"

namespace quorvane::splitter {

using namespace mp4;

std::optional<CompositionOffsets> compositionOffsetsInMoov(const Bytes& moov, int trackId, std::int64_t listed)
{
    const auto trak = findTrak(moov, trackId);
    if (!trak || !trak->stbl)
        return std::nullopt;
    const auto stts = tableOf(moov, find(*trak->stbl, "stts"), 8, 8);
    const auto ctts = tableOf(moov, find(*trak->stbl, "ctts"), 8, 8);
    if (!stts || !stts->present || !ctts)
        return std::nullopt;
    std::uint64_t samples = 0;
    for (std::uint32_t e = 0; e < stts->count; ++e)
        samples += big32(moov, stts->entries + e * 8);
    if (samples > 100'000'000)
        return std::nullopt;
    CompositionOffsets result;
    if (stts->count > 0)
        result.lastDuration = big32(moov, stts->entries + (stts->count - 1) * 8 + 4);
    result.decodeShift = decodeShift(moov, *ctts);
    if (listed < 0 || samples > static_cast<std::uint64_t>(listed))
        return result;
    std::vector<std::int64_t>& offsets = result.offsets;
    offsets.reserve(static_cast<std::size_t>(samples));
    for (std::uint32_t e = 0; e < ctts->count; ++e) {
        const std::uint32_t count = big32(moov, ctts->entries + e * 8);
        if (offsets.size() + count > samples)
            return std::nullopt;
        offsets.insert(offsets.end(), count, compositionOffset(moov, *ctts, e));
    }
    offsets.resize(static_cast<std::size_t>(samples), offsets.empty() ? 0 : offsets.back());
    return result;
}

std::optional<CompositionOffsets> readCompositionOffsets(const std::string& path, int trackId, std::int64_t listed)
{
    const auto moov = readMoov(path);
    if (!moov)
        return std::nullopt;
    return compositionOffsetsInMoov(moov->payload, trackId, listed);
}

} // namespace quorvane::splitter
