// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/hevcrestart.h"

#include "splitter/nalbits.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

enum : int { CraNut = 21, IdrWRadl = 19, IdrNLp = 20, SliceI = 2 };

bool isIrap(int type) { return type >= 16 && type <= 23; }
bool isIdr(int type) { return type == IdrWRadl || type == IdrNLp; }
bool isSlice(const Bytes& unit) { return hevcUnitType(unit) >= 0 && hevcUnitType(unit) <= 21; }

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

// st_ref_pic_set(idx) of an SPS with `count` sets (`deltaPocs`: NumDeltaPocs of those read so far); its
// NumDeltaPocs, or nullopt.
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

} // namespace

HevcRestart::HevcRestart(const std::uint8_t* header, int headerSize, bool startAfresh)
    : m_startAfresh(startAfresh)
{
    if (!header || headerSize <= 4)
        return;
    if (header[0] != 1) {
        for (const Bytes& unit : annexBUnits(header, headerSize))
            learn(unit);
        return;
    }
    if (const auto config = readHvcC(header, headerSize)) {
        m_lengthSize = (config->start[21] & 3) + 1;
        for (const HevcConfig::Array& array : config->arrays)
            for (const Bytes& unit : array.units)
                learn(unit);
    }
}

std::vector<Bytes> HevcRestart::units(const std::uint8_t* data, std::size_t size) const
{
    return sampleUnits(data, size, m_lengthSize);
}

Bytes HevcRestart::join(const std::vector<Bytes>& list) const { return joinUnits(list, m_lengthSize); }

void HevcRestart::learn(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    Fields f(payload);
    f.u(16);
    if (hevcUnitType(unit) == HevcSps) {
        Sps sps;
        const unsigned subLayers = (f.u(8) >> 1) & 7; // the VPS's number, then the sub-layers less one
        skipProfileTierLevel(f, subLayers);
        const unsigned id = f.ue();
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
        sps.log2MaxPocLsb = f.ue() + 4;
        const bool everyLayer = f.u(1) != 0;
        for (unsigned i = everyLayer ? 0 : subLayers; i <= subLayers && f.ok(); ++i) {
            f.ue();
            f.ue();
            f.ue();
        }
        const unsigned minCb = f.ue() + 3;
        const unsigned ctb = minCb + f.ue();
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
        if (!f.ok() || sets > 64 || ctb > 6 || width == 0 || height == 0 || width > 16888 || height > 16888)
            return;
        for (unsigned i = 0; i < sets; ++i) {
            const auto count = skipShortTermSet(f, i, sets, sps.deltaPocs);
            if (!count)
                return;
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
        if (f.ok() && id < 16 && sps.log2MaxPocLsb <= 16)
            m_sps[id] = sps;
    } else if (hevcUnitType(unit) == HevcPps) {
        Pps pps;
        const unsigned id = f.ue();
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
                return;
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
        if (f.ok() && id < 64)
            m_pps[id] = pps;
    }
}

std::optional<HevcRestart::Slice> HevcRestart::parse(const Bytes& payload) const
{
    Fields f(payload);
    Slice s;
    s.type = (f.u(16) >> 9) & 0x3f;
    s.first = f.u(1) != 0;
    if (isIrap(s.type))
        f.u(1); // no output of prior pictures
    s.pps = f.ue();
    const auto pps = m_pps.find(s.pps);
    if (!f.ok() || pps == m_pps.end() || !m_sps.count(pps->second.sps))
        return std::nullopt;
    const Pps& p = pps->second;
    const Sps& sps = m_sps.at(p.sps);
    if (!s.first) {
        if (p.dependentSlices)
            s.dependent = f.u(1) != 0;
        f.u(static_cast<int>(sps.addressBits));
    }
    if (!s.dependent) {
        f.u(static_cast<int>(p.extraBits));
        s.sliceType = f.ue();
        if (p.outputFlag)
            f.u(1);
        if (sps.separateColourPlane)
            f.u(2);
        s.pocAt = f.position();
        if (!isIdr(s.type))
            s.pocLsb = f.u(static_cast<int>(sps.log2MaxPocLsb));
    }
    if (!f.ok())
        return std::nullopt;
    return s;
}

std::optional<Bytes> HevcRestart::toIdr(const Bytes& payload, const Slice& slice) const
{
    const Pps& p = m_pps.at(slice.pps);
    const Sps& sps = m_sps.at(p.sps);
    if (slice.sliceType != SliceI || !p.readable)
        return std::nullopt;
    Fields f(payload, slice.pocAt);
    f.u(static_cast<int>(sps.log2MaxPocLsb));
    if (!f.u(1)) { // a set of its own
        if (!skipShortTermSet(f, static_cast<unsigned>(sps.deltaPocs.size()),
                static_cast<unsigned>(sps.deltaPocs.size()), sps.deltaPocs))
            return std::nullopt;
    } else if (sps.deltaPocs.size() > 1) {
        f.u(static_cast<int>(ceilLog2(static_cast<unsigned>(sps.deltaPocs.size()))));
    }
    if (sps.temporalMvp)
        f.u(1);
    const std::size_t restAt = f.position(); // what an IDR picture's header has too, from here on
    bool saoLuma = false;
    bool saoChroma = false;
    if (sps.sao) {
        saoLuma = f.u(1) != 0;
        if (sps.chromaArrayType != 0)
            saoChroma = f.u(1) != 0;
    }
    f.se(); // quantiser
    if (p.chromaQpOffsets) {
        f.se();
        f.se();
    }
    if (p.chromaQpOffsetList)
        f.u(1);
    bool deblockingDisabled = p.deblockingDisabled;
    if (p.deblockingOverride && f.u(1)) {
        deblockingDisabled = f.u(1) != 0;
        if (!deblockingDisabled) {
            f.se();
            f.se();
        }
    }
    if (p.loopFilterAcross && (saoLuma || saoChroma || !deblockingDisabled))
        f.u(1);
    if (p.entryPoints) {
        const unsigned offsets = f.ue();
        if (offsets > 0) {
            const unsigned bits = f.ue() + 1;
            if (bits > 32 || offsets > 4400)
                return std::nullopt;
            for (unsigned i = 0; i < offsets && f.ok(); ++i)
                f.u(static_cast<int>(bits));
        }
    }
    if (p.headerExtension) {
        const unsigned length = f.ue();
        for (unsigned i = 0; i < length && f.ok(); ++i)
            f.u(8);
    }
    // byte_alignment(): a 1, then 0s to the byte.
    const std::size_t alignAt = f.position();
    if (!f.ok() || f.u(1) != 1)
        return std::nullopt;
    while (f.position() % 8 != 0)
        if (f.u(1) != 0 || !f.ok())
            return std::nullopt;
    const std::size_t dataAt = f.position();
    BitWriter w;
    w.u(static_cast<unsigned>(IdrWRadl << 1) | (payload[0] & 0x81u), 8);
    if (!w.copy(payload, 8, slice.pocAt) || !w.copy(payload, restAt, alignAt))
        return std::nullopt;
    w.u(1, 1);
    while (w.bits() % 8 != 0)
        w.u(0, 1);
    Bytes out = w.take();
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(dataAt / 8), payload.end());
    return escape(out);
}

std::optional<Bytes> HevcRestart::picture(const std::uint8_t* data, std::size_t size)
{
    std::vector<Bytes> list = units(data, size);
    std::optional<Slice> first;
    for (const Bytes& unit : list) {
        const int type = hevcUnitType(unit);
        if (type == HevcSps || type == HevcPps)
            learn(unit);
        if (!first && isSlice(unit))
            first = parse(unescape(unit));
    }
    const bool wasFirst = !m_started;
    m_started = true;
    if (!first) {
        m_offset.reset(); // a picture this class cannot read: what follows is left alone
        m_lastSps.reset();
        return std::nullopt;
    }
    const unsigned sps = m_pps.at(first->pps).sps;
    const bool otherSps = m_lastSps != sps;
    m_lastSps = sps;
    if (isIdr(first->type)) {
        m_offset.reset();
        return std::nullopt;
    }
    const bool afresh
        = first->type == CraNut && !m_sps.at(sps).longTerm && ((wasFirst && m_startAfresh) || (!wasFirst && otherSps));
    if (afresh)
        m_offset = first->pocLsb;
    if (!m_offset)
        return std::nullopt;
    const unsigned mask = (1u << m_sps.at(sps).log2MaxPocLsb) - 1;
    for (Bytes& unit : list) {
        if (!isSlice(unit))
            continue;
        const Bytes payload = unescape(unit);
        const auto slice = parse(payload);
        if (!slice || m_pps.at(slice->pps).sps != sps) {
            m_offset.reset();
            return std::nullopt;
        }
        if (slice->dependent)
            continue;
        std::optional<Bytes> rewritten;
        if (afresh) {
            rewritten = toIdr(payload, *slice);
        } else {
            // The low bits of its order count from the restarted picture's: the field keeps its length.
            Bytes counted = payload;
            const int bits = static_cast<int>(m_sps.at(sps).log2MaxPocLsb);
            const unsigned lsb = (slice->pocLsb - *m_offset) & mask;
            for (int b = 0; b < bits; ++b) {
                const std::size_t at = slice->pocAt + static_cast<std::size_t>(b);
                const auto bit = static_cast<std::uint8_t>(1u << (7 - at % 8));
                if ((lsb >> (bits - 1 - b)) & 1u)
                    counted[at / 8] |= bit;
                else
                    counted[at / 8] &= static_cast<std::uint8_t>(~bit);
            }
            rewritten = escape(counted);
        }
        if (!rewritten) {
            // Not a picture this class can restart: it and what follows stay as they are.
            m_offset.reset();
            return std::nullopt;
        }
        unit = std::move(*rewritten);
    }
    return join(list);
}

} // namespace quorvane::splitter
