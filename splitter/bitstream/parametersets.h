// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/configrecords.h"
#include "splitter/bitstream/hevcsets.h"
#include "splitter/bitstream/nalunits.h"

#include <cstdint>
#include <optional>
#include <vector>

// The numbers H.264 and HEVC pictures refer to their parameter sets by: what pictures encoded again need so
// that their parameter sets can sit beside the source's without taking their numbers. Its users take the
// sets from stream headers and samples, and match the source's buffer, with the units it includes. Bytes
// only, so it is tested in-process.
namespace quorvane::splitter {

// The number an H.264 parameter set (SPS or PPS) is known by.
std::optional<unsigned> avcParameterSetId(const Bytes& unit);

// The number an HEVC VPS, SPS or PPS is known by.
std::optional<unsigned> hevcParameterSetId(const Bytes& unit);
// An SPS's general profile and level.
struct HevcProfile {
    unsigned profile = 0;
    unsigned level = 0;
};
std::optional<HevcProfile> hevcSpsProfile(const Bytes& unit);
// The same unit known by other numbers: a VPS's own, an SPS's own and its VPS's, a PPS's own and its SPS's.
std::optional<Bytes> renumberHevcParameterSet(const Bytes& unit, unsigned id, unsigned referred);
// A picture's slice referring to PPS `pps`. Its header may only grow or shrink by whole bytes, so that the
// slice's data after it stays as it is: a slice referring to PPS 0 can refer to PPS 15 to 30.
std::optional<Bytes> renumberHevcSlice(const Bytes& unit, unsigned pps);

} // namespace quorvane::splitter
