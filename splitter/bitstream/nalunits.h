// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The NAL units of an H.264 or HEVC sample or stream header, and how a stream parts them: start codes between
// them (Annex B) or each after its length. Bytes only, so it is tested in-process.
namespace quorvane::splitter {

using Bytes = std::vector<std::uint8_t>;

enum class NalCodec { Avc, Hevc };

struct UnitFraming {
    int lengthSize = 0; // bytes of each unit's length, 1 to 4; 0 for start codes
    bool startCodes() const { return lengthSize == 0; }
};

// How the samples of a stream with this header (FFmpeg's extradata) part their units: start codes where it is
// empty (the parameter sets come in the stream) or starts with one; lengths where it is an "avcC" or "hvcC",
// which gives their size. Nullopt for a header that is neither.
std::optional<UnitFraming> unitFraming(NalCodec codec, const std::uint8_t* header, int size);

// The NAL units of an Annex B stream (start codes between them).
std::vector<Bytes> annexBUnits(const std::uint8_t* data, int size);
// The NAL units of a sample: each after its length of `lengthSize` bytes, or with start codes between them
// (`lengthSize` 0). Empty where a length runs past the sample's end; with `partial`, what came before it, and
// a unit cut short by the end as far as it goes.
std::vector<Bytes> sampleUnits(const std::uint8_t* data, std::size_t size, int lengthSize, bool partial = false);
// The sample made of `units`, as sampleUnits() reads it.
Bytes joinUnits(const std::vector<Bytes>& units, int lengthSize);

// Whether an H.264 picture starts the stream afresh (an IDR picture: nothing decoded before it matters to it
// or to what follows), from its first slice; nullopt when `data` holds none. `lengthSize` gives the bytes of
// each unit's length, or is 0 for start codes between units.
std::optional<bool> avcStartsAfresh(const std::uint8_t* data, std::size_t size, int lengthSize);

inline int avcUnitType(const Bytes& unit) { return unit.empty() ? -1 : unit[0] & 0x1f; }
inline bool isAvcSlice(const Bytes& unit) { return avcUnitType(unit) == 1 || avcUnitType(unit) == 5; }

enum HevcUnit : int { HevcVps = 32, HevcSps = 33, HevcPps = 34, HevcEndOfSequence = 36 };
inline int hevcUnitType(const Bytes& unit) { return unit.empty() ? -1 : (unit[0] >> 1) & 0x3f; }

} // namespace quorvane::splitter
