// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/avcslices.h"

#include "splitter/bitstream/nalunits.h"

#include <array>

namespace quorvane::splitter {

namespace {

// From frame_num through the picture order count's fields.
void readFrameAndOrder(Fields& f, AvcSlice& s, const AvcSps& sps, const AvcPps& pps)
{
    if (sps.separateColourPlane)
        f.u(2);
    s.frameNumAt = f.position();
    s.frameNum = f.u(static_cast<int>(sps.log2MaxFrameNum));
    if (!sps.frameMbsOnly) {
        s.field = f.u(1) != 0;
        if (s.field)
            f.u(1);
    }
    s.afterFieldAt = f.position();
    if (s.idr)
        s.idrPicId = f.ue();
    s.pocAt = f.position();
    if (sps.pocType == 0) {
        f.u(static_cast<int>(sps.log2MaxPocLsb));
        if (pps.bottomFieldPicOrder && !s.field)
            f.se();
    } else if (sps.pocType == 1 && !sps.deltaPicOrderAlwaysZero) {
        f.se();
        if (pps.bottomFieldPicOrder && !s.field)
            f.se();
    }
    s.pocEnd = f.position();
}

// The active references of each list, then ref_pic_list_modification(); false for what is not ours to read.
bool readLists(Fields& f, AvcSlice& s, const AvcPps& pps, std::array<unsigned, 2>& refs)
{
    if (pps.redundantPicCnt)
        f.ue();
    if (s.type == AvcSliceB)
        f.u(1); // direct prediction
    refs = { pps.refIdxL0, pps.refIdxL1 };
    if ((s.type == AvcSliceP || s.type == AvcSliceSp || s.type == AvcSliceB) && f.u(1)) {
        refs[0] = f.ue() + 1;
        if (s.type == AvcSliceB)
            refs[1] = f.ue() + 1;
    }
    if (refs[0] > 32 || refs[1] > 32)
        return false;
    s.lists = s.type == AvcSliceB ? 2 : (s.type == AvcSliceI || s.type == AvcSliceSi ? 0 : 1);
    s.listsAt = f.position();
    for (int list = 0; list < s.lists && f.ok(); ++list) {
        if (!(s.reordered[list] = f.u(1) != 0))
            continue;
        for (;;) {
            const unsigned idc = f.ue();
            if (!f.ok() || idc == 3)
                break;
            if (idc > 2 || s.reorder[list].size() > 64)
                return false; // the multiview kinds are not ours to read
            s.reorder[list].emplace_back(idc, f.ue());
        }
    }
    s.listsEnd = f.position();
    return true;
}

void skipWeights(Fields& f, const AvcSlice& s, const AvcSps& sps, const AvcPps& pps, std::array<unsigned, 2> refs)
{
    if (!(pps.weightedPred && (s.type == AvcSliceP || s.type == AvcSliceSp))
        && !(pps.weightedBipred == 1 && s.type == AvcSliceB))
        return;
    f.ue(); // denominators
    if (sps.chromaArrayType() != 0)
        f.ue();
    for (int list = 0; list < s.lists && f.ok(); ++list) {
        for (unsigned i = 0; i < refs[static_cast<std::size_t>(list)] && f.ok(); ++i) {
            if (f.u(1)) {
                f.se();
                f.se();
            }
            if (sps.chromaArrayType() != 0 && f.u(1)) {
                for (int c = 0; c < 4; ++c)
                    f.se();
            }
        }
    }
}

// dec_ref_pic_marking(); false for commands that are no such.
bool readMarking(Fields& f, AvcSlice& s)
{
    s.markingAt = f.position();
    if (s.refIdc != 0) {
        if (s.idr) {
            f.u(2);
        } else if ((s.adaptive = f.u(1) != 0)) {
            for (;;) {
                AvcMmco m;
                m.op = f.ue();
                if (!f.ok() || m.op == 0)
                    break;
                if (m.op > 6 || s.mmco.size() > 64)
                    return false;
                if (m.op == 1 || m.op == 2 || m.op == 3 || m.op == 4)
                    m.a = f.ue();
                if (m.op == 3 || m.op == 6)
                    m.b = f.ue();
                if (m.b > 31)
                    return false; // a long-term index there cannot be: each would be held
                s.mmco.push_back(m);
            }
        }
    }
    s.markingEnd = f.position();
    return true;
}

void writeMarking(BitWriter& w, const AvcSlice& slice, const std::vector<AvcMmco>& mmco)
{
    w.u(slice.adaptive ? 1 : 0, 1);
    if (!slice.adaptive)
        return;
    for (const AvcMmco& m : mmco) {
        w.ue(m.op);
        if (m.op == 1 || m.op == 2 || m.op == 3 || m.op == 4)
            w.ue(m.a);
        if (m.op == 3 || m.op == 6)
            w.ue(m.b);
    }
    w.ue(0);
}

} // namespace

std::optional<AvcPps> readAvcPps(const Bytes& unit)
{
    if (avcUnitType(unit) != 8)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    Fields f(payload, 8);
    AvcPps pps;
    pps.id = f.ue();
    pps.sps = f.ue();
    pps.cabac = f.u(1) != 0;
    pps.bottomFieldPicOrder = f.u(1) != 0;
    if (f.ue() != 0) // slice groups, less one
        return std::nullopt;
    pps.refIdxL0 = f.ue() + 1;
    pps.refIdxL1 = f.ue() + 1;
    pps.weightedPred = f.u(1) != 0;
    pps.weightedBipred = f.u(2);
    f.se(); // initial quantisers, chroma offset
    f.se();
    f.se();
    pps.deblockingControl = f.u(1) != 0;
    f.u(1);
    pps.redundantPicCnt = f.u(1) != 0;
    pps.unit = unit;
    if (!f.ok() || pps.id > 255 || pps.refIdxL0 > 32 || pps.refIdxL1 > 32)
        return std::nullopt;
    return pps;
}

void AvcSlices::learn(const Bytes& unit)
{
    if (avcUnitType(unit) == 7) {
        if (auto sps = readAvcSps(unit))
            m_sps[sps->id] = Sps { std::move(*sps), unit };
    } else if (auto pps = readAvcPps(unit)) {
        m_pps[pps->id] = std::move(*pps);
    }
}

std::optional<AvcSlice> AvcSlices::read(const Bytes& payload) const
{
    Fields f(payload);
    AvcSlice s;
    const unsigned header = f.u(8);
    s.refIdc = header >> 5 & 3;
    s.idr = (header & 0x1f) == 5;
    f.ue(); // first macroblock
    s.type = f.ue() % 5;
    s.pps = f.ue();
    const auto pps = m_pps.find(s.pps);
    if (!f.ok() || pps == m_pps.end())
        return std::nullopt;
    const auto sps = m_sps.find(pps->second.sps);
    if (sps == m_sps.end())
        return std::nullopt;
    s.sps = sps->first;
    const AvcPps& p = pps->second;
    readFrameAndOrder(f, s, sps->second, p);
    std::array<unsigned, 2> refs {};
    if (!readLists(f, s, p, refs))
        return std::nullopt;
    skipWeights(f, s, sps->second, p, refs);
    if (!readMarking(f, s))
        return std::nullopt;
    if (p.cabac && s.type != AvcSliceI && s.type != AvcSliceSi)
        f.ue();
    f.se(); // quantiser
    if (s.type == AvcSliceSp || s.type == AvcSliceSi) {
        if (s.type == AvcSliceSp)
            f.u(1);
        f.se();
    }
    if (p.deblockingControl && f.ue() != 1) {
        f.se();
        f.se();
    }
    s.dataAt = f.position();
    if (!f.ok())
        return std::nullopt;
    return s;
}

std::optional<Bytes> AvcSlices::write(const Bytes& payload, const AvcSlice& slice, const AvcSliceChange& to) const
{
    const unsigned frameBits = spsOf(slice).log2MaxFrameNum;
    BitWriter w;
    w.u(to.toIdr ? (payload[0] & 0x60u) | 5u : payload[0], 8);
    bool ok = w.copy(payload, 8, slice.frameNumAt);
    w.u(to.frameNum, static_cast<int>(frameBits));
    ok = ok && w.copy(payload, slice.frameNumAt + frameBits, slice.afterFieldAt);
    if (to.toIdr)
        w.ue(to.idrPicId);
    ok = ok && w.copy(payload, slice.afterFieldAt, slice.listsAt);
    for (int list = 0; list < slice.lists; ++list) {
        w.u(slice.reordered[list] ? 1 : 0, 1);
        if (!slice.reordered[list])
            continue;
        for (const auto& [idc, number] : to.reorder[list]) {
            w.ue(idc);
            w.ue(number);
        }
        w.ue(3);
    }
    ok = ok && w.copy(payload, slice.listsEnd, slice.markingAt);
    if (slice.refIdc != 0) {
        if (to.toIdr)
            w.u(0, 2); // prior pictures are output; the keyframe is a short-term reference
        else if (slice.idr)
            ok = ok && w.copy(payload, slice.markingAt, slice.markingEnd);
        else
            writeMarking(w, slice, to.mmco);
    }
    ok = ok && w.copy(payload, slice.markingEnd, slice.dataAt);
    return ok ? withData(w, payload, slice) : std::nullopt;
}

std::optional<Bytes> AvcSlices::withData(BitWriter& w, const Bytes& payload, const AvcSlice& slice) const
{
    if (ppsOf(slice).cabac) {
        // CABAC data starts on a byte: new alignment bits, then the data's bytes as they were.
        while (w.bits() % 8 != 0)
            w.u(1, 1);
        Bytes out = w.take();
        const std::size_t dataByte = (slice.dataAt + 7) / 8;
        if (dataByte > payload.size())
            return std::nullopt;
        out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(dataByte), payload.end());
        return escape(out);
    }
    const auto stop = bitsBeforeStop(payload);
    if (!stop || *stop < slice.dataAt || !w.copy(payload, slice.dataAt, *stop))
        return std::nullopt;
    w.stop();
    return escape(w.take());
}

std::optional<Bytes> AvcSlices::withPictureOrder(const Bytes& unit, unsigned lsb, unsigned log2MaxPocLsb) const
{
    if (!isAvcSlice(unit))
        return unit;
    const Bytes payload = unescape(unit);
    const auto slice = read(payload);
    if (!slice || spsOf(*slice).pocType != 2 || log2MaxPocLsb < 4 || log2MaxPocLsb > 16)
        return std::nullopt;
    BitWriter w;
    if (!w.copy(payload, 0, slice->pocAt))
        return std::nullopt;
    w.u(lsb & ((1u << log2MaxPocLsb) - 1), static_cast<int>(log2MaxPocLsb));
    if (ppsOf(*slice).bottomFieldPicOrder && !slice->field)
        w.se(0);
    if (!w.copy(payload, slice->pocEnd, slice->dataAt))
        return std::nullopt;
    return withData(w, payload, *slice);
}

} // namespace quorvane::splitter
