// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/compositionoffsets.h"

#include "splitter/systemfile.h"

#include <algorithm>
#include <cstring>

namespace quorvane::splitter {

namespace {

using Bytes = std::vector<unsigned char>;

std::uint64_t readBig(const unsigned char* p, int n)
{
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i)
        value = value << 8 | p[i];
    return value;
}

// One box inside a byte range: its type and its payload.
struct Box {
    char type[5] = {};
    std::size_t payload = 0;
    std::size_t size = 0; // of the payload
};

// The boxes directly inside [from, to), or nullopt when one of them runs past the range.
std::optional<std::vector<Box>> children(const Bytes& data, std::size_t from, std::size_t to)
{
    std::vector<Box> boxes;
    std::size_t at = from;
    while (at + 8 <= to) {
        std::uint64_t size = readBig(&data[at], 4);
        std::size_t header = 8;
        if (size == 1) {
            if (at + 16 > to)
                return std::nullopt;
            size = readBig(&data[at + 8], 8);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at)
            return std::nullopt;
        Box box;
        std::memcpy(box.type, &data[at + 4], 4);
        box.payload = at + header;
        box.size = static_cast<std::size_t>(size) - header;
        boxes.push_back(box);
        at += static_cast<std::size_t>(size);
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char* type)
{
    for (const Box& box : boxes) {
        if (std::memcmp(box.type, type, 4) == 0)
            return &box;
    }
    return nullptr;
}

std::optional<std::vector<Box>> inside(const Bytes& data, const Box* box)
{
    if (!box)
        return std::nullopt;
    return children(data, box->payload, box->payload + box->size);
}

std::optional<int> trackIdOf(const Bytes& data, const Box& tkhd)
{
    if (tkhd.size < 4)
        return std::nullopt;
    const std::size_t offset = data[tkhd.payload] == 1 ? 4 + 16 : 4 + 8;
    if (tkhd.size < offset + 4)
        return std::nullopt;
    return static_cast<int>(readBig(&data[tkhd.payload + offset], 4));
}

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
        if (std::memcmp(box.type, "trak", 4) != 0)
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
    const SystemFile file = SystemFile::openForReading(path);
    if (!file.isOpen())
        return std::nullopt;
    // Walk the top-level boxes to "moov"; only its bytes are read.
    unsigned char header[16];
    for (std::int64_t at = 0;;) {
        if (file.read(header, 8, at) != 0)
            return std::nullopt;
        std::uint64_t size = readBig(header, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (file.read(header + 8, 8, at + 8) != 0)
                return std::nullopt;
            size = readBig(header + 8, 8);
            headerSize = 16;
        }
        if (std::memcmp(header + 4, "moov", 4) == 0) {
            if (size < headerSize || size - headerSize > (std::uint64_t(1) << 30))
                return std::nullopt;
            Bytes moov(static_cast<std::size_t>(size - headerSize));
            if (file.read(
                    moov.data(), static_cast<std::int64_t>(moov.size()), at + static_cast<std::int64_t>(headerSize))
                != 0)
                return std::nullopt;
            return compositionOffsetsInMoov(moov, trackId);
        }
        if (size == 0 || size < headerSize || size > static_cast<std::uint64_t>(INT64_MAX - at))
            return std::nullopt;
        at += static_cast<std::int64_t>(size);
    }
}

} // namespace quorvane::splitter
