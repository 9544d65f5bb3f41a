// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The stream headers of H.264 ("avcC") and HEVC ("hvcC") in MP4 and Matroska: the parameter sets they carry,
// read and written again. Bytes only, so it is tested in-process.
namespace quorvane::splitter {

using Bytes = std::vector<std::uint8_t>;

// An H.264 stream header: its fixed start, its parameter sets, and what follows them.
struct AvcConfig {
    Bytes start; // version, profile, compatibility, level, length size
    std::vector<Bytes> sps;
    std::vector<Bytes> pps;
    Bytes rest;
};
std::optional<AvcConfig> readAvcC(const std::uint8_t* data, int size);
Bytes writeAvcC(const AvcConfig& config);

// An HEVC stream header: its fixed start and its arrays of NAL units, one type each.
struct HevcConfig {
    struct Array {
        std::uint8_t head = 0; // completeness and the units' type
        std::vector<Bytes> units;
    };
    Bytes start; // version, profile, tier, level, formats, frame rate, length size
    std::vector<Array> arrays;
};
std::optional<HevcConfig> readHvcC(const std::uint8_t* data, int size);
Bytes writeHvcC(const HevcConfig& config);

} // namespace quorvane::splitter
