// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/configrecords.h"

namespace quorvane::splitter {

namespace {

// `count` units, each after its length of two bytes, from `at`; false where one runs past `size`.
bool readUnits(const std::uint8_t* data, int size, int& at, int count, std::vector<Bytes>& into)
{
    for (int i = 0; i < count; ++i) {
        if (at + 2 > size)
            return false;
        const int length = data[at] << 8 | data[at + 1];
        if (length < 2 || length > size - at - 2)
            return false;
        into.emplace_back(data + at + 2, data + at + 2 + length);
        at += 2 + length;
    }
    return true;
}

void writeUnits(const std::vector<Bytes>& units, Bytes& out)
{
    for (const Bytes& unit : units) {
        out.push_back(static_cast<std::uint8_t>(unit.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(unit.size()));
        out.insert(out.end(), unit.begin(), unit.end());
    }
}

} // namespace

std::optional<AvcConfig> readAvcC(const std::uint8_t* data, int size)
{
    if (!data || size < 7 || data[0] != 1)
        return std::nullopt;
    AvcConfig config;
    config.start.assign(data, data + 5);
    int at = 6;
    if (!readUnits(data, size, at, data[5] & 0x1f, config.sps) || at >= size)
        return std::nullopt;
    const int count = data[at++];
    if (!readUnits(data, size, at, count, config.pps))
        return std::nullopt;
    config.rest.assign(data + at, data + size);
    return config;
}

Bytes writeAvcC(const AvcConfig& config)
{
    Bytes out = config.start;
    out.push_back(static_cast<std::uint8_t>(0xe0 | config.sps.size()));
    writeUnits(config.sps, out);
    out.push_back(static_cast<std::uint8_t>(config.pps.size()));
    writeUnits(config.pps, out);
    out.insert(out.end(), config.rest.begin(), config.rest.end());
    return out;
}

std::optional<HevcConfig> readHvcC(const std::uint8_t* data, int size)
{
    if (!data || size < 23 || data[0] != 1)
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
        if (!readUnits(data, size, at, count, array.units))
            return std::nullopt;
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
        writeUnits(array.units, out);
    }
    return out;
}

} // namespace quorvane::splitter
