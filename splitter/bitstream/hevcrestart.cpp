// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/hevcrestart.h"

#include "splitter/bitstream/configrecords.h"
#include "splitter/bitstream/hevcsets.h"
#include "splitter/bitstream/nalbits.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

enum : int { CraNut = 21, IdrWRadl = 19, IdrNLp = 20, SliceI = 2 };

bool isIrap(int type) { return type >= 16 && type <= 23; }
bool isIdr(int type) { return type == IdrWRadl || type == IdrNLp; }
bool isSlice(const Bytes& unit) { return hevcUnitType(unit) >= 0 && hevcUnitType(unit) <= 21; }

} // namespace

HevcRestart::HevcRestart(const std::uint8_t* header, int headerSize, bool startAfresh)
    : m_framing(unitFraming(NalCodec::Hevc, header, headerSize))
    , m_startAfresh(startAfresh)
{
    if (!m_framing || !header || headerSize <= 0)
        return;
    if (m_framing->startCodes()) {
        for (const Bytes& unit : annexBUnits(header, headerSize))
            learn(unit);
    } else if (const auto config = readHvcC(header, headerSize)) {
        for (const HevcConfig::Array& array : config->arrays)
            for (const Bytes& unit : array.units)
                learn(unit);
    }
}

std::vector<Bytes> HevcRestart::units(const std::uint8_t* data, std::size_t size) const
{
    // Where the header does not tell how units are parted, no picture is read.
    return m_framing ? sampleUnits(data, size, m_framing->lengthSize) : std::vector<Bytes> {};
}

void HevcRestart::learn(const Bytes& unit)
{
    if (hevcUnitType(unit) == HevcSps) {
        if (auto sps = readHevcSpsFields(unit))
            m_sps[sps->id] = std::move(*sps);
    } else if (hevcUnitType(unit) == HevcPps) {
        if (auto pps = readHevcPpsFields(unit))
            m_pps[pps->id] = *pps;
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
    const HevcPpsFields& p = pps->second;
    s.sps = p.sps;
    const HevcSpsFields& sps = m_sps.at(p.sps);
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
    const HevcPpsFields& p = m_pps.at(slice.pps);
    const HevcSpsFields& sps = m_sps.at(slice.sps);
    if (slice.sliceType != SliceI || !p.readable)
        return std::nullopt;
    Fields f(payload, slice.pocAt);
    f.u(static_cast<int>(sps.log2MaxPocLsb));
    if (!f.u(1)) { // a set of its own
        if (!skipShortTermSet(f, static_cast<unsigned>(sps.deltaPocs.size()),
                static_cast<unsigned>(sps.deltaPocs.size()), sps.deltaPocs))
            return std::nullopt;
    } else if (sps.deltaPocs.size() > 1) {
        f.u(static_cast<int>(sps.setIndexBits));
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
        if (length > 256)
            return std::nullopt;
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
    w.stop();
    Bytes out = w.take();
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(dataAt / 8), payload.end());
    return escape(out);
}

std::optional<Bytes> HevcRestart::counted(const Bytes& payload, const Slice& slice, unsigned offset) const
{
    const int bits = static_cast<int>(m_sps.at(slice.sps).log2MaxPocLsb);
    if (isIdr(slice.type) || slice.pocAt + static_cast<std::size_t>(bits) > payload.size() * 8)
        return std::nullopt; // no order count to change
    Bytes out = payload;
    const unsigned lsb = (slice.pocLsb - offset) & ((1u << bits) - 1);
    for (int b = 0; b < bits; ++b) {
        const std::size_t at = slice.pocAt + static_cast<std::size_t>(b);
        const auto bit = static_cast<std::uint8_t>(1u << (7 - at % 8));
        if ((lsb >> (bits - 1 - b)) & 1u)
            out[at / 8] |= bit;
        else
            out[at / 8] &= static_cast<std::uint8_t>(~bit);
    }
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
    const unsigned sps = first->sps;
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
    for (Bytes& unit : list) {
        if (!isSlice(unit))
            continue;
        const Bytes payload = unescape(unit);
        const auto slice = parse(payload);
        if (!slice || slice->sps != sps) {
            m_offset.reset();
            return std::nullopt;
        }
        if (slice->dependent)
            continue;
        auto rewritten = afresh ? toIdr(payload, *slice) : counted(payload, *slice, *m_offset);
        if (!rewritten) {
            // Not a picture this class can restart: it and what follows stay as they are.
            m_offset.reset();
            return std::nullopt;
        }
        unit = std::move(*rewritten);
    }
    return joinUnits(list, m_framing->lengthSize);
}

} // namespace quorvane::splitter
