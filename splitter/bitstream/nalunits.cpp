// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/nalunits.h"

#include <algorithm>

namespace quorvane::splitter {

std::optional<UnitFraming> unitFraming(NalCodec codec, const std::uint8_t* header, int size)
{
    if (!header || size <= 0)
        return UnitFraming {};
    // A start code, after any zero bytes that may lead a stream.
    const int zeros
        = static_cast<int>(std::find_if(header, header + size, [](std::uint8_t b) { return b != 0; }) - header);
    if (zeros >= 2 && zeros < size && header[zeros] == 1)
        return UnitFraming {};
    // Otherwise a record: its version, 1, then fixed fields (the length size among them) up to the count of its
    // first sets (avcC) or of its arrays (hvcC).
    const int lengthAt = codec == NalCodec::Avc ? 4 : 21;
    const int smallest = codec == NalCodec::Avc ? 7 : 23;
    if (header[0] != 1 || size < smallest)
        return std::nullopt;
    return UnitFraming { (header[lengthAt] & 3) + 1 };
}

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
    if (lengthSize < 0 || lengthSize > 4)
        return list;
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
    if (lengthSize < 0 || lengthSize > 4)
        return std::nullopt;
    // Only each unit's first byte is read: the picture's first bytes are enough.
    for (std::size_t at = 0; at + static_cast<std::size_t>(lengthSize) < size;) {
        std::size_t length = 0;
        for (int b = 0; b < lengthSize; ++b)
            length = length << 8 | data[at + static_cast<std::size_t>(b)];
        at += static_cast<std::size_t>(lengthSize);
        if (length == 0)
            continue; // no unit, and no header byte to read
        if (const auto found = slice(data[at]))
            return found;
        at += std::min(length, size - at);
    }
    return std::nullopt;
}

} // namespace quorvane::splitter
