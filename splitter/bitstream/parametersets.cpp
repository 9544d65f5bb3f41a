// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/parametersets.h"

#include "splitter/bitstream/nalbits.h"

#include <algorithm>
#include <cstdint>

namespace quorvane::splitter {

namespace {

// Copies a VPS's or SPS's profile_tier_level(), with another general level where `level` gives one; `read`
// learns the level it had.
bool copyProfileTierLevel(BitReader& from, BitWriter& to, unsigned subLayers,
    std::optional<unsigned> level = std::nullopt, unsigned* read = nullptr)
{
    const auto had = to.copy(from, 88) ? from.u(8) : std::nullopt;
    if (!had)
        return false;
    to.u(level.value_or(*had), 8);
    if (read)
        *read = *had;
    std::vector<unsigned> present;
    for (unsigned i = 0; i < subLayers; ++i) {
        const auto flags = from.u(2);
        if (!flags)
            return false;
        to.u(*flags, 2);
        present.push_back(*flags);
    }
    if (subLayers > 0 && !to.copy(from, 2 * (8 - subLayers)))
        return false;
    for (const unsigned flags : present) {
        if (((flags & 2) && !to.copy(from, 88)) || ((flags & 1) && !to.copy(from, 8)))
            return false;
    }
    return true;
}

// Walks a VPS or SPS to its sub-layers' ordering info (what a decoder's picture buffer holds), copying what
// it passes; the info and the general level it had go to `read`, and `with` gives another level and buffer
// size to write.
std::optional<Bytes> walkHevcBuffer(const Bytes& unit, HevcBuffer* read, const HevcBuffer* with)
{
    const int type = hevcUnitType(unit);
    const Bytes payload = unescape(unit);
    const auto stop = bitsBeforeStop(payload);
    BitReader from(payload);
    BitWriter to;
    HevcBuffer had;
    std::optional<unsigned> subLayers;
    const auto ptl = [&] {
        return subLayers
            && copyProfileTierLevel(from, to, *subLayers, with ? std::optional(with->level) : std::nullopt, &had.level);
    };
    if (!stop || (type != HevcVps && type != HevcSps) || !to.copy(from, 16))
        return std::nullopt;
    if (type == HevcVps) {
        subLayers = to.copy(from, 12) ? from.u(3) : std::nullopt;
        if (!subLayers)
            return std::nullopt;
        to.u(*subLayers, 3);
        if (!to.copy(from, 17) || !ptl())
            return std::nullopt;
    } else {
        subLayers = to.copy(from, 4) ? from.u(3) : std::nullopt;
        if (!subLayers)
            return std::nullopt;
        to.u(*subLayers, 3);
        const auto copyUe = [&](int count) {
            for (int i = 0; i < count; ++i) {
                const auto v = from.ue();
                if (!v)
                    return false;
                to.ue(*v);
            }
            return true;
        };
        if (!to.copy(from, 1) || !ptl() || !copyUe(1))
            return std::nullopt;
        const auto chroma = from.ue();
        if (!chroma)
            return std::nullopt;
        to.ue(*chroma);
        if ((*chroma == 3 && !to.copy(from, 1)) || !copyUe(2))
            return std::nullopt;
        const auto window = from.u(1);
        if (!window)
            return std::nullopt;
        to.u(*window, 1);
        if ((*window && !copyUe(4)) || !copyUe(3))
            return std::nullopt;
    }
    const auto present = from.u(1);
    if (!present)
        return std::nullopt;
    to.u(*present, 1);
    for (unsigned i = *present ? 0 : *subLayers; i <= *subLayers; ++i) {
        std::array<unsigned, 3> entry {};
        for (unsigned& field : entry) {
            const auto v = from.ue();
            if (!v)
                return std::nullopt;
            field = *v;
        }
        had.ordering.push_back(entry);
        if (with && !with->ordering.empty())
            entry[0] = with->ordering.back()[0];
        for (const unsigned field : entry)
            to.ue(field);
    }
    const std::size_t done = payload.size() * 8 - from.left();
    if (done > *stop || !to.copy(from, *stop - done))
        return std::nullopt;
    to.u(1, 1);
    while (to.bits() % 8)
        to.u(0, 1);
    if (read)
        *read = had;
    return escape(to.take());
}

} // namespace

std::vector<Bytes> annexBUnits(const std::uint8_t* data, int size)
{
    std::vector<Bytes> units;
    int start = -1;
    for (int i = 0; i + 2 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        if (start >= 0) {
            int end = i;
            while (end > start && data[end - 1] == 0)
                --end;
            units.emplace_back(data + start, data + end);
        }
        start = i + 3;
        i += 2;
    }
    if (start >= 0 && start < size)
        units.emplace_back(data + start, data + size);
    return units;
}

std::vector<Bytes> sampleUnits(const std::uint8_t* data, std::size_t size, int lengthSize, bool partial)
{
    if (lengthSize == 0)
        return annexBUnits(data, static_cast<int>(std::min<std::size_t>(size, INT32_MAX)));
    std::vector<Bytes> list;
    for (std::size_t at = 0; at < size;) {
        if (size - at < static_cast<std::size_t>(lengthSize))
            return partial ? list : std::vector<Bytes> {};
        std::size_t length = 0;
        for (int b = 0; b < lengthSize; ++b)
            length = length << 8 | data[at++];
        if (partial && length > size - at)
            length = size - at;
        if (length == 0 || length > size - at)
            return partial ? list : std::vector<Bytes> {};
        list.emplace_back(data + at, data + at + length);
        at += length;
    }
    return list;
}

Bytes joinUnits(const std::vector<Bytes>& units, int lengthSize)
{
    Bytes out;
    for (const Bytes& unit : units) {
        if (lengthSize == 0) {
            out.insert(out.end(), { 0, 0, 0, 1 });
        } else {
            for (int b = lengthSize - 1; b >= 0; --b)
                out.push_back(static_cast<std::uint8_t>(unit.size() >> (8 * b)));
        }
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

std::optional<AvcConfig> readAvcC(const std::uint8_t* data, int size)
{
    if (size < 7 || data[0] != 1)
        return std::nullopt;
    AvcConfig config;
    config.start.assign(data, data + 5);
    int at = 5;
    const auto sets = [&](int count, std::vector<Bytes>& into) {
        for (int i = 0; i < count; ++i) {
            if (at + 2 > size)
                return false;
            const int length = data[at] << 8 | data[at + 1];
            if (length < 2 || at + 2 + length > size)
                return false;
            into.emplace_back(data + at + 2, data + at + 2 + length);
            at += 2 + length;
        }
        return true;
    };
    if (!sets(data[at++] & 0x1f, config.sps) || at >= size || !sets(data[at++], config.pps))
        return std::nullopt;
    config.rest.assign(data + at, data + size);
    return config;
}

Bytes writeAvcC(const AvcConfig& config)
{
    Bytes out = config.start;
    out.push_back(static_cast<std::uint8_t>(0xe0 | config.sps.size()));
    const auto sets = [&](const std::vector<Bytes>& list) {
        for (const Bytes& set : list) {
            out.push_back(static_cast<std::uint8_t>(set.size() >> 8));
            out.push_back(static_cast<std::uint8_t>(set.size()));
            out.insert(out.end(), set.begin(), set.end());
        }
    };
    sets(config.sps);
    out.push_back(static_cast<std::uint8_t>(config.pps.size()));
    sets(config.pps);
    out.insert(out.end(), config.rest.begin(), config.rest.end());
    return out;
}

std::optional<unsigned> avcParameterSetId(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    BitReader bits(payload);
    const auto header = bits.u(8);
    if (!header)
        return std::nullopt;
    if ((*header & 0x1f) == 7 && !bits.u(24)) // profile, constraints, level
        return std::nullopt;
    return bits.ue();
}

std::optional<bool> avcStartsAfresh(const std::uint8_t* data, std::size_t size, int lengthSize)
{
    const auto slice = [](std::uint8_t header) -> std::optional<bool> {
        const int type = header & 0x1f;
        if (type == 5)
            return true;
        if (type >= 1 && type <= 4)
            return false;
        return std::nullopt;
    };
    if (lengthSize == 0) {
        for (const Bytes& unit : annexBUnits(data, static_cast<int>(std::min<std::size_t>(size, INT32_MAX))))
            if (const auto found = unit.empty() ? std::nullopt : slice(unit[0]))
                return found;
        return std::nullopt;
    }
    for (std::size_t at = 0; at + static_cast<std::size_t>(lengthSize) < size;) {
        std::size_t length = 0;
        for (int b = 0; b < lengthSize; ++b)
            length = length << 8 | data[at + static_cast<std::size_t>(b)];
        at += static_cast<std::size_t>(lengthSize);
        if (const auto found = slice(data[at]))
            return found;
        at += length;
    }
    return std::nullopt;
}

std::optional<HevcConfig> readHvcC(const std::uint8_t* data, int size)
{
    if (size < 23 || data[0] != 1)
        return std::nullopt;
    HevcConfig config;
    config.start.assign(data, data + 22);
    int at = 23;
    for (int a = 0; a < data[22]; ++a) {
        if (at + 3 > size)
            return std::nullopt;
        HevcConfig::Array array;
        array.head = data[at];
        const int count = data[at + 1] << 8 | data[at + 2];
        at += 3;
        for (int i = 0; i < count; ++i) {
            if (at + 2 > size)
                return std::nullopt;
            const int length = data[at] << 8 | data[at + 1];
            if (length < 2 || at + 2 + length > size)
                return std::nullopt;
            array.units.emplace_back(data + at + 2, data + at + 2 + length);
            at += 2 + length;
        }
        config.arrays.push_back(std::move(array));
    }
    return config;
}

Bytes writeHvcC(const HevcConfig& config)
{
    Bytes out = config.start;
    out.push_back(static_cast<std::uint8_t>(config.arrays.size()));
    for (const HevcConfig::Array& array : config.arrays) {
        out.push_back(array.head);
        out.push_back(static_cast<std::uint8_t>(array.units.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(array.units.size()));
        for (const Bytes& unit : array.units) {
            out.push_back(static_cast<std::uint8_t>(unit.size() >> 8));
            out.push_back(static_cast<std::uint8_t>(unit.size()));
            out.insert(out.end(), unit.begin(), unit.end());
        }
    }
    return out;
}

std::optional<unsigned> hevcParameterSetId(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    BitReader bits(payload);
    if (!bits.u(16))
        return std::nullopt;
    switch (hevcUnitType(unit)) {
    case HevcVps:
        return bits.u(4);
    case HevcSps: {
        BitWriter ignored;
        const auto subLayers = bits.u(8);
        if (!subLayers || !copyProfileTierLevel(bits, ignored, (*subLayers >> 1) & 7))
            return std::nullopt;
        return bits.ue();
    }
    case HevcPps:
        return bits.ue();
    default:
        return std::nullopt;
    }
}

std::optional<HevcProfile> hevcSpsProfile(const Bytes& unit)
{
    if (hevcUnitType(unit) != HevcSps)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    BitReader bits(payload);
    const auto profile = bits.u(16 + 8 + 8);
    const auto level = profile && bits.u(32 + 48) ? bits.u(8) : std::nullopt;
    if (!level)
        return std::nullopt;
    return HevcProfile { *profile & 0x1f, *level };
}

std::optional<Bytes> renumberHevcParameterSet(const Bytes& unit, unsigned id, unsigned referred)
{
    const Bytes payload = unescape(unit);
    const auto stop = bitsBeforeStop(payload);
    BitReader from(payload);
    BitWriter to;
    if (!stop || !to.copy(from, 16))
        return std::nullopt;
    switch (hevcUnitType(unit)) {
    case HevcVps:
        if (!from.u(4))
            return std::nullopt;
        to.u(id, 4);
        break;
    case HevcSps: {
        const auto vps = from.u(4);
        const auto subLayers = from.u(4);
        if (!vps || !subLayers)
            return std::nullopt;
        to.u(referred, 4);
        to.u(*subLayers, 4);
        if (!copyProfileTierLevel(from, to, *subLayers >> 1) || !from.ue())
            return std::nullopt;
        to.ue(id);
        break;
    }
    case HevcPps:
        if (!from.ue() || !from.ue())
            return std::nullopt;
        to.ue(id);
        to.ue(referred);
        break;
    default:
        return std::nullopt;
    }
    const std::size_t read = payload.size() * 8 - from.left();
    if (read > *stop || !to.copy(from, *stop - read))
        return std::nullopt;
    to.u(1, 1);
    while (to.bits() % 8)
        to.u(0, 1);
    return escape(to.take());
}

std::optional<HevcBuffer> hevcBuffer(const Bytes& unit)
{
    HevcBuffer read;
    if (!walkHevcBuffer(unit, &read, nullptr))
        return std::nullopt;
    return read;
}

std::optional<Bytes> matchHevcBuffer(const Bytes& ours, const Bytes& source)
{
    const auto wanted = hevcBuffer(source);
    const auto had = hevcBuffer(ours);
    if (!wanted || !had || wanted->ordering.empty() || had->level > wanted->level)
        return std::nullopt;
    // Ours may not need more room than the source's gives.
    for (const std::array<unsigned, 3>& need : had->ordering)
        if (need[0] > wanted->ordering.back()[0])
            return std::nullopt;
    return walkHevcBuffer(ours, nullptr, &*wanted);
}

std::optional<Bytes> renumberHevcSlice(const Bytes& unit, unsigned pps)
{
    const int type = hevcUnitType(unit);
    if (type < 0 || type > 31)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    BitReader from(payload);
    BitWriter to;
    // The first-slice flag, and for a keyframe the flag for pictures not yet shown.
    if (!to.copy(from, 16 + ((type >= 16 && type <= 23) ? 2 : 1)))
        return std::nullopt;
    const std::size_t before = from.left();
    if (!from.ue())
        return std::nullopt;
    const std::size_t oldBits = before - from.left();
    to.ue(pps);
    const std::size_t newBits = to.bits() - (payload.size() * 8 - before);
    if ((newBits > oldBits ? newBits - oldBits : oldBits - newBits) % 8 != 0 || !to.copy(from, from.left()))
        return std::nullopt;
    return escape(to.take());
}

} // namespace quorvane::splitter
