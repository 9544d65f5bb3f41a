// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/compositionoffsets.h"

#include "splitter/reading/mp4boxes.h"

#include <algorithm>
#include <cstring>

namespace quorvane::splitter {

namespace {

using namespace mp4;

std::uint64_t sampleCount(const Bytes& data, const Box& stts)
{
    // Entries of (count, delta): the sum of the counts.
    if (stts.size < 8)
        return 0;
    const std::uint64_t entries = readBig(&data[stts.payload + 4], 4);
    std::uint64_t total = 0;
    for (std::uint64_t e = 0; e < entries && 8 + e * 8 + 8 <= stts.size; ++e)
        total += readBig(&data[stts.payload + 8 + e * 8], 4);
    return total;
}

} // namespace

std::optional<CompositionOffsets> compositionOffsetsInMoov(const Bytes& moov, int trackId)
{
    const auto top = children(moov, 0, moov.size());
    if (!top || find(*top, "mvex"))
        return std::nullopt; // fragmented: the samples are described in the fragments
    for (const Box& box : *top) {
        if (!box.is("trak"))
            continue;
        const auto trak = inside(moov, &box);
        if (!trak || !find(*trak, "tkhd") || trackIdOf(moov, *find(*trak, "tkhd")) != trackId)
            continue;
        const auto mdia = inside(moov, find(*trak, "mdia"));
        const auto minf = mdia ? inside(moov, find(*mdia, "minf")) : std::nullopt;
        const auto stbl = minf ? inside(moov, find(*minf, "stbl")) : std::nullopt;
        if (!stbl || !find(*stbl, "stts"))
            return std::nullopt;
        const std::uint64_t samples = sampleCount(moov, *find(*stbl, "stts"));
        if (samples > 100'000'000)
            return std::nullopt;
        CompositionOffsets result;
        const Box& stts = *find(*stbl, "stts");
        if (const std::uint64_t entries = stts.size >= 8 ? readBig(&moov[stts.payload + 4], 4) : 0;
            entries > 0 && 8 + entries * 8 <= stts.size)
            result.lastDuration
                = static_cast<std::int64_t>(readBig(&moov[stts.payload + 8 + (entries - 1) * 8 + 4], 4));
        std::vector<std::int64_t>& offsets = result.offsets;
        offsets.reserve(static_cast<std::size_t>(samples));
        if (const Box* ctts = find(*stbl, "ctts")) {
            if (ctts->size < 8)
                return std::nullopt;
            const std::uint64_t entries = readBig(&moov[ctts->payload + 4], 4);
            if (8 + entries * 8 > ctts->size)
                return std::nullopt;
            for (std::uint64_t e = 0; e < entries; ++e) {
                const unsigned char* entry = &moov[ctts->payload + 8 + e * 8];
                const std::uint64_t count = readBig(entry, 4);
                const auto raw = static_cast<std::uint32_t>(readBig(entry + 4, 4));
                // Version 0 says unsigned, but writers put negative offsets there too: read them as signed,
                // as players do.
                const std::int64_t offset = static_cast<std::int32_t>(raw);
                if (offset < 0 && e + 2 < entries)
                    result.decodeShift = std::max(result.decodeShift, -offset);
                if (offsets.size() + count > samples)
                    return std::nullopt;
                offsets.insert(offsets.end(), static_cast<std::size_t>(count), offset);
            }
        }
        offsets.resize(static_cast<std::size_t>(samples), offsets.empty() ? 0 : offsets.back());
        return result;
    }
    return std::nullopt;
}

std::optional<CompositionOffsets> readCompositionOffsets(const std::string& path, int trackId)
{
    const auto moov = readMoov(path);
    if (!moov)
        return std::nullopt;
    return compositionOffsetsInMoov(moov->payload, trackId);
}

} // namespace quorvane::splitter
