// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The H.264 and HEVC parameter sets a stream header declares, and the numbers pictures refer to them by: what
// pictures encoded again need so that their parameter sets can sit beside the source's without taking their
// numbers. Bytes only, so it is tested in-process.
namespace quorvane::splitter {

using Bytes = std::vector<std::uint8_t>;

// The NAL units of an Annex B stream (start codes between them).
std::vector<Bytes> annexBUnits(const std::uint8_t* data, int size);
// The NAL units of a sample: each after its length of `lengthSize` bytes, or with start codes between them
// (`lengthSize` 0). Empty where a length runs past the sample's end; with `partial`, what came before it, and
// a unit cut short by the end as far as it goes.
std::vector<Bytes> sampleUnits(const std::uint8_t* data, std::size_t size, int lengthSize, bool partial = false);
// The sample made of `units`, as sampleUnits() reads it.
Bytes joinUnits(const std::vector<Bytes>& units, int lengthSize);

// An H.264 stream header ("avcC"): its fixed start, its parameter sets, and what follows them.
struct AvcConfig {
    Bytes start; // version, profile, compatibility, level, length size
    std::vector<Bytes> sps;
    std::vector<Bytes> pps;
    Bytes rest;
};
std::optional<AvcConfig> readAvcC(const std::uint8_t* data, int size);
Bytes writeAvcC(const AvcConfig& config);
// The numbers an H.264 parameter set (SPS or PPS) is known by.
std::optional<unsigned> avcParameterSetId(const Bytes& unit);

// Whether an H.264 picture starts the stream afresh (an IDR picture: nothing decoded before it matters to it
// or to what follows), from its first slice; nullopt when `data` holds none. `lengthSize` gives the bytes of
// each unit's length, or is 0 for start codes between units.
std::optional<bool> avcStartsAfresh(const std::uint8_t* data, std::size_t size, int lengthSize);

// An HEVC stream header ("hvcC"): its fixed start and its arrays of NAL units, one type each.
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

enum HevcUnit : int { HevcVps = 32, HevcSps = 33, HevcPps = 34, HevcEndOfSequence = 36 };
inline int hevcUnitType(const Bytes& unit) { return unit.empty() ? -1 : (unit[0] >> 1) & 0x3f; }

// The number a VPS, SPS or PPS is known by.
std::optional<unsigned> hevcParameterSetId(const Bytes& unit);
// An SPS's general profile and level.
struct HevcProfile {
    unsigned profile = 0;
    unsigned level = 0;
};
std::optional<HevcProfile> hevcSpsProfile(const Bytes& unit);
// The same unit known by other numbers: a VPS's own, an SPS's own and its VPS's, a PPS's own and its SPS's.
std::optional<Bytes> renumberHevcParameterSet(const Bytes& unit, unsigned id, unsigned referred);
// What a VPS or SPS declares of a decoder's picture buffer: its general level, and for each sub-layer the
// pictures held (minus one), the pictures that may wait to be shown, and the latency increase (plus one).
struct HevcBuffer {
    unsigned level = 0;
    std::vector<std::array<unsigned, 3>> ordering;
};
std::optional<HevcBuffer> hevcBuffer(const Bytes& unit);
// Our VPS or SPS declaring the level and picture buffer size of the source's of the same type, so that a
// decoder passing at an IDR picture from pictures of one to pictures of the other keeps the pictures it holds
// (it may drop them where the sizes differ). Ours still show each picture as soon as it is decoded: a CRA
// picture after an end of sequence drops whatever waits to be shown. Nullopt where ours needs a larger
// buffer than the source's declares.
std::optional<Bytes> matchHevcBuffer(const Bytes& ours, const Bytes& source);
// A picture's slice referring to PPS `pps`. Its header may only grow or shrink by whole bytes, so that the
// slice's data after it stays as it is: a slice referring to PPS 0 can refer to PPS 15 to 30.
std::optional<Bytes> renumberHevcSlice(const Bytes& unit, unsigned pps);

} // namespace quorvane::splitter
