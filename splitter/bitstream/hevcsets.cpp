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

// The start of a VPS or SPS, through its sub-layers' ordering info.
struct SetHead {
    unsigned subLayers = 0; // less one
    HevcBuffer buffer;
    // An SPS's:
    unsigned id = 0;
    unsigned chroma = 1;
    bool separateColourPlane = false;
    unsigned width = 0;
    unsigned height = 0;
    unsigned pocBits = 0; // less 4
};

// Reads a VPS or SPS (`type`) from its start through its sub-layers' ordering info: the one walk of both,
// whether only read or copied too. Where `f` copies, `with` gives the general level and the pictures held
// to copy instead.
SetHead readSetHead(Fields& f, int type, const HevcBuffer* with)
{
    SetHead head;
    const auto level = with ? std::optional(with->level) : std::nullopt;
    f.u(16);
    if (type == HevcVps) {
        f.u(12); // its number, base layer, layers
        head.subLayers = f.u(3);
        f.u(17); // nesting, reserved
        head.buffer.level = readProfileTierLevel(f, head.subLayers, level);
    } else {
        f.u(4); // the VPS's number
        head.subLayers = f.u(3);
        f.u(1); // nesting
        head.buffer.level = readProfileTierLevel(f, head.subLayers, level);
        head.id = f.ue();
        head.chroma = f.ue();
        if (head.chroma == 3)
            head.separateColourPlane = f.u(1) != 0;
        head.width = f.ue();
        head.height = f.ue();
        if (f.u(1)) { // conformance window
            for (int i = 0; i < 4; ++i)
                f.ue();
        }
        f.ue(); // bit depths
        f.ue();
        head.pocBits = f.ue();
    }
    const unsigned* held = with && !with->ordering.empty() ? &with->ordering.back()[0] : nullptr;
    const bool everyLayer = f.u(1) != 0;
    for (unsigned i = everyLayer ? 0 : head.subLayers; i <= head.subLayers && f.ok(); ++i) {
        const unsigned pictures = held ? f.replaceUe(*held) : f.ue();
        const unsigned waiting = f.ue();
        head.buffer.ordering.push_back({ pictures, waiting, f.ue() });
    }
    return head;
}

// A VPS or SPS read for its picture buffer, and with `with` written with another.
std::optional<Bytes> walkHevcBuffer(const Bytes& unit, HevcBuffer* read, const HevcBuffer* with)
{
    const int type = hevcUnitType(unit);
    if (type != HevcVps && type != HevcSps)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    const auto stop = bitsBeforeStop(payload);
    BitWriter to;
    Fields f(payload, to);
    SetHead head = readSetHead(f, type, with);
    if (!f.ok() || !stop || f.position() > *stop || !to.copy(payload, f.position(), *stop))
        return std::nullopt;
    to.stop();
    if (read)
        *read = std::move(head.buffer);
    return escape(to.take());
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

unsigned readProfileTierLevel(Fields& f, unsigned subLayers, std::optional<unsigned> level)
{
    f.u(32); // general profile and its flags
    f.u(32);
    f.u(24);
    const unsigned had = level ? f.replaceU(8, *level) : f.u(8);
    std::array<unsigned, 8> present {};
    for (unsigned i = 0; i < subLayers && i < present.size(); ++i)
        present[i] = f.u(2);
    if (subLayers > 0)
        f.u(2 * (8 - static_cast<int>(subLayers))); // more than 8 cannot be read
    for (unsigned i = 0; i < subLayers && i < present.size(); ++i) {
        if (present[i] & 2) {
            f.u(32);
            f.u(32);
            f.u(24);
        }
        if (present[i] & 1)
            f.u(8);
    }
    return had;
}

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
    const SetHead head = readSetHead(f, HevcSps, nullptr);
    HevcSpsFields sps;
    sps.id = head.id;
    sps.separateColourPlane = head.separateColourPlane;
    sps.chromaArrayType = sps.separateColourPlane ? 0 : head.chroma;
    sps.log2MaxPocLsb = std::min(head.pocBits, 12u) + 4;
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
    if (!f.ok() || sets > 64 || head.pocBits > 12 || ctb > 6 || head.width == 0 || head.height == 0
        || head.width > 16888 || head.height > 16888)
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
        if (count > 32)
            return std::nullopt;
        for (unsigned i = 0; i < count && f.ok(); ++i) {
            f.u(static_cast<int>(sps.log2MaxPocLsb));
            f.u(1);
        }
    }
    sps.temporalMvp = f.u(1) != 0;
    const unsigned ctbSize = 1u << ctb;
    sps.addressBits = ceilLog2(((head.width + ctbSize - 1) / ctbSize) * ((head.height + ctbSize - 1) / ctbSize));
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

} // namespace quorvane::splitter
