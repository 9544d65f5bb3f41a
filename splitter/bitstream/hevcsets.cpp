// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/hevcsets.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

unsigned ceilLog2(unsigned value)
{
    unsigned bits = 0;
    while ((1u << bits) < value && bits < 31)
        ++bits;
    return bits;
}

// Skips profile_tier_level(1, subLayers).
void skipProfileTierLevel(Fields& f, unsigned subLayers)
{
    f.u(32);
    f.u(32);
    f.u(32); // general profile, flags and level
    std::vector<unsigned> present;
    for (unsigned i = 0; i < subLayers && f.ok(); ++i)
        present.push_back(f.u(2));
    if (subLayers > 0)
        f.u(static_cast<int>(2 * (8 - subLayers)));
    for (const unsigned flags : present) {
        if (flags & 2) {
            f.u(32);
            f.u(32);
            f.u(24);
        }
        if (flags & 1)
            f.u(8);
    }
}

void skipScalingListData(Fields& f)
{
    for (int size = 0; size < 4 && f.ok(); ++size) {
        for (int matrix = 0; matrix < 6 && f.ok(); matrix += size == 3 ? 3 : 1) {
            if (!f.u(1)) {
                f.ue(); // pred_matrix_id_delta
                continue;
            }
            const int coefs = std::min(64, 1 << (4 + (size << 1)));
            if (size > 1)
                f.se(); // dc coefficient
            for (int i = 0; i < coefs && f.ok(); ++i)
                f.se();
        }
    }
}

} // namespace

std::optional<unsigned> skipShortTermSet(
    Fields& f, unsigned idx, unsigned count, const std::vector<unsigned>& deltaPocs)
{
    if (idx != 0 && f.u(1)) { // predicted from another set
        const unsigned deltaIdx = idx == count ? f.ue() + 1 : 1;
        if (deltaIdx > idx)
            return std::nullopt;
        f.u(1);
        f.ue();
        const unsigned from = deltaPocs.at(idx - deltaIdx);
        unsigned used = 0;
        for (unsigned j = 0; j <= from && f.ok(); ++j) {
            const bool current = f.u(1) != 0;
            used += (current || f.u(1)) ? 1u : 0u;
        }
        return f.ok() ? std::optional(used) : std::nullopt;
    }
    const unsigned negative = f.ue();
    const unsigned positive = f.ue();
    if (negative > 16 || positive > 16)
        return std::nullopt;
    for (unsigned i = 0; i < negative + positive && f.ok(); ++i) {
        f.ue();
        f.u(1);
    }
    return f.ok() ? std::optional(negative + positive) : std::nullopt;
}

std::optional<HevcSpsFields> readHevcSpsFields(const Bytes& unit)
{
    if (hevcUnitType(unit) != HevcSps)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    Fields f(payload);
    f.u(16);
    HevcSpsFields sps;
    const unsigned subLayers = (f.u(8) >> 1) & 7; // the VPS's number, then the sub-layers less one
    skipProfileTierLevel(f, subLayers);
    sps.id = f.ue();
    const unsigned chroma = f.ue();
    if (chroma == 3)
        sps.separateColourPlane = f.u(1) != 0;
    sps.chromaArrayType = sps.separateColourPlane ? 0 : chroma;
    const unsigned width = f.ue();
    const unsigned height = f.ue();
    if (f.u(1)) { // conformance window
        for (int i = 0; i < 4; ++i)
            f.ue();
    }
    f.ue(); // bit depths
    f.ue();
    const unsigned pocBits = f.ue(); // less 4
    sps.log2MaxPocLsb = std::min(pocBits, 12u) + 4;
    const bool everyLayer = f.u(1) != 0;
    for (unsigned i = everyLayer ? 0 : subLayers; i <= subLayers && f.ok(); ++i) {
        f.ue();
        f.ue();
        f.ue();
    }
    const unsigned minCb = std::min(f.ue(), 4u) + 3;
    const unsigned ctb = minCb + std::min(f.ue(), 4u);
    f.ue(); // transform block sizes and depths
    f.ue();
    f.ue();
    f.ue();
    if (f.u(1) && f.u(1)) // scaling lists, in the SPS
        skipScalingListData(f);
    f.u(1); // asymmetric motion partitions
    sps.sao = f.u(1) != 0;
    if (f.u(1)) { // PCM
        f.u(8);
        f.ue();
        f.ue();
        f.u(1);
    }
    const unsigned sets = f.ue();
    if (!f.ok() || sets > 64 || pocBits > 12 || ctb > 6 || width == 0 || height == 0 || width > 16888 || height > 16888)
        return std::nullopt;
    for (unsigned i = 0; i < sets; ++i) {
        const auto count = skipShortTermSet(f, i, sets, sps.deltaPocs);
        if (!count)
            return std::nullopt;
        sps.deltaPocs.push_back(*count);
    }
    sps.longTerm = f.u(1) != 0;
    if (sps.longTerm) {
        const unsigned count = f.ue();
        for (unsigned i = 0; i < count && i < 33 && f.ok(); ++i) {
            f.u(static_cast<int>(sps.log2MaxPocLsb));
            f.u(1);
        }
    }
    sps.temporalMvp = f.u(1) != 0;
    const unsigned ctbSize = 1u << ctb;
    sps.addressBits = ceilLog2(((width + ctbSize - 1) / ctbSize) * ((height + ctbSize - 1) / ctbSize));
    sps.setIndexBits = ceilLog2(sets);
    if (!f.ok() || sps.id > 15)
        return std::nullopt;
    return sps;
}

std::optional<HevcPpsFields> readHevcPpsFields(const Bytes& unit)
{
    if (hevcUnitType(unit) != HevcPps)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    Fields f(payload);
    f.u(16);
    HevcPpsFields pps;
    pps.id = f.ue();
    pps.sps = f.ue();
    pps.dependentSlices = f.u(1) != 0;
    pps.outputFlag = f.u(1) != 0;
    pps.extraBits = f.u(3);
    f.u(2); // sign data hiding, CABAC initialisation
    f.ue(); // reference indices
    f.ue();
    f.se(); // initial quantiser
    f.u(1); // constrained intra
    const bool transformSkip = f.u(1) != 0;
    if (f.u(1)) // quantiser deltas per coding unit
        f.ue();
    f.se(); // chroma offsets
    f.se();
    pps.chromaQpOffsets = f.u(1) != 0;
    f.u(3); // weighted prediction, bi-prediction, transquant bypass
    const bool tiles = f.u(1) != 0;
    pps.entryPoints = tiles | (f.u(1) != 0);
    if (tiles) {
        const unsigned columns = f.ue() + 1;
        const unsigned rows = f.ue() + 1;
        if (columns > 64 || rows > 64)
            return std::nullopt;
        if (!f.u(1)) { // not spaced uniformly
            for (unsigned i = 0; i + 1 < columns + rows - 1 && f.ok(); ++i)
                f.ue();
        }
        f.u(1); // loop filter across tiles
    }
    pps.loopFilterAcross = f.u(1) != 0;
    if (f.u(1)) { // deblocking control
        pps.deblockingOverride = f.u(1) != 0;
        pps.deblockingDisabled = f.u(1) != 0;
        if (!pps.deblockingDisabled) {
            f.se();
            f.se();
        }
    }
    if (f.u(1)) // scaling lists, in the PPS
        skipScalingListData(f);
    f.u(1); // lists modification
    f.ue(); // parallel merge level
    pps.headerExtension = f.u(1) != 0;
    if (f.u(1)) { // extensions: the range extension's chroma offset list is read, others are not
        const bool range = f.u(1) != 0;
        const bool others = f.u(7) != 0;
        if (others)
            pps.readable = false;
        if (range) {
            if (transformSkip)
                f.ue(); // its largest block
            f.u(1); // cross-component prediction
            pps.chromaQpOffsetList = f.u(1) != 0;
        }
    }
    if (!f.ok() || pps.id > 63)
        return std::nullopt;
    return pps;
}

} // namespace quorvane::splitter
