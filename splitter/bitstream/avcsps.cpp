// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/avcsps.h"

#include "splitter/bitstream/nalbits.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

// H.264 profiles whose SPS says its chroma format, bit depths and scaling matrices.
bool avcHighProfile(unsigned profile)
{
    for (const unsigned p : { 100u, 110u, 122u, 244u, 44u, 83u, 86u, 118u, 128u, 138u, 139u, 134u, 135u })
        if (profile == p)
            return true;
    return false;
}

// The payload's bits from `from` up to `to`, carried as they came.
RawBits carry(const Bytes& payload, std::size_t from, std::size_t to)
{
    BitWriter w;
    w.copy(payload, from, to);
    return { w.take(), to - from };
}

void put(BitWriter& w, const RawBits& bits) { w.copy(bits.data, 0, bits.count); }

void skipScalingList(Fields& f, int size)
{
    int last = 8;
    int next = 8;
    for (int j = 0; j < size && f.ok(); ++j) {
        if (next != 0)
            next = static_cast<int>(((last + std::int64_t { f.se() }) % 256 + 256) % 256); // never wraps round
        last = next == 0 ? last : next;
    }
}

// False for more buffers than there can be.
bool skipHrd(Fields& f)
{
    const unsigned count = f.ue() + 1;
    if (count > 32)
        return false;
    f.u(8); // bit rate and CPB size scales
    for (unsigned i = 0; i < count && f.ok(); ++i) {
        f.ue();
        f.ue();
        f.u(1);
    }
    f.u(20); // four delay and length fields
    return true;
}

std::optional<AvcVui> readVui(Fields& f, const Bytes& payload)
{
    AvcVui vui;
    if (f.u(1)) {
        AvcVui::Aspect aspect;
        aspect.idc = f.u(8);
        if (aspect.idc == 255) {
            aspect.width = f.u(16);
            aspect.height = f.u(16);
        }
        vui.aspect = aspect;
    }
    if (f.u(1))
        vui.overscanAppropriate = f.u(1) != 0;
    if (f.u(1)) {
        AvcVui::Signal signal;
        signal.format = f.u(3);
        signal.fullRange = f.u(1) != 0;
        if (f.u(1))
            signal.colour = std::array<unsigned, 3> { f.u(8), f.u(8), f.u(8) };
        vui.signal = signal;
    }
    if (f.u(1))
        vui.chromaLocation = std::array<unsigned, 2> { f.ue(), f.ue() };
    if (f.u(1))
        vui.timing = AvcVui::Timing { f.u(32), f.u(32), f.u(1) != 0 };
    for (std::optional<RawBits>* hrd : { &vui.nalHrd, &vui.vclHrd }) {
        if (!f.u(1))
            continue;
        const std::size_t from = f.position();
        if (!skipHrd(f))
            return std::nullopt;
        if (f.ok())
            *hrd = carry(payload, from, f.position());
    }
    if (vui.nalHrd || vui.vclHrd)
        vui.lowDelayHrd = f.u(1) != 0;
    vui.picStruct = f.u(1) != 0;
    if (f.u(1)) {
        AvcVui::Restriction r;
        r.mvOverBoundaries = f.u(1) != 0;
        r.maxBytesPerPicDenom = f.ue();
        r.maxBitsPerMbDenom = f.ue();
        r.log2MaxMvLengthH = f.ue();
        r.log2MaxMvLengthV = f.ue();
        r.maxReorderFrames = f.ue();
        r.maxDecFrameBuffering = f.ue();
        vui.restriction = r;
    }
    if (!f.ok())
        return std::nullopt;
    return vui;
}

void writeVui(BitWriter& w, const AvcVui& vui)
{
    w.u(vui.aspect ? 1 : 0, 1);
    if (vui.aspect) {
        w.u(vui.aspect->idc, 8);
        if (vui.aspect->idc == 255) {
            w.u(vui.aspect->width, 16);
            w.u(vui.aspect->height, 16);
        }
    }
    w.u(vui.overscanAppropriate ? 1 : 0, 1);
    if (vui.overscanAppropriate)
        w.u(*vui.overscanAppropriate ? 1 : 0, 1);
    w.u(vui.signal ? 1 : 0, 1);
    if (vui.signal) {
        w.u(vui.signal->format, 3);
        w.u(vui.signal->fullRange ? 1 : 0, 1);
        w.u(vui.signal->colour ? 1 : 0, 1);
        if (vui.signal->colour)
            for (const unsigned c : *vui.signal->colour)
                w.u(c, 8);
    }
    w.u(vui.chromaLocation ? 1 : 0, 1);
    if (vui.chromaLocation) {
        w.ue((*vui.chromaLocation)[0]);
        w.ue((*vui.chromaLocation)[1]);
    }
    w.u(vui.timing ? 1 : 0, 1);
    if (vui.timing) {
        w.u(vui.timing->unitsInTick, 32);
        w.u(vui.timing->timeScale, 32);
        w.u(vui.timing->fixedRate ? 1 : 0, 1);
    }
    for (const std::optional<RawBits>* hrd : { &vui.nalHrd, &vui.vclHrd }) {
        w.u(*hrd ? 1 : 0, 1);
        if (*hrd)
            put(w, **hrd);
    }
    if (vui.nalHrd || vui.vclHrd)
        w.u(vui.lowDelayHrd ? 1 : 0, 1);
    w.u(vui.picStruct ? 1 : 0, 1);
    w.u(vui.restriction ? 1 : 0, 1);
    if (const auto& r = vui.restriction) {
        w.u(r->mvOverBoundaries ? 1 : 0, 1);
        w.ue(r->maxBytesPerPicDenom);
        w.ue(r->maxBitsPerMbDenom);
        w.ue(r->log2MaxMvLengthH);
        w.ue(r->log2MaxMvLengthV);
        w.ue(r->maxReorderFrames);
        w.ue(r->maxDecFrameBuffering);
    }
}

} // namespace

std::optional<AvcSps> readAvcSps(const Bytes& unit)
{
    if (unit.empty() || (unit[0] & 0x1f) != 7)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    const auto stop = bitsBeforeStop(payload);
    Fields f(payload);
    AvcSps sps;
    sps.header = static_cast<std::uint8_t>(f.u(8));
    sps.profile = f.u(8);
    sps.constraints = f.u(8);
    sps.level = f.u(8);
    sps.id = f.ue();
    if (avcHighProfile(sps.profile)) {
        sps.chromaFormat = f.ue();
        if (sps.chromaFormat == 3)
            sps.separateColourPlane = f.u(1) != 0;
        sps.bitDepthLumaMinus8 = f.ue();
        sps.bitDepthChromaMinus8 = f.ue();
        sps.transformBypass = f.u(1) != 0;
        if (f.u(1)) {
            const std::size_t from = f.position();
            for (int list = 0; list < (sps.chromaFormat != 3 ? 8 : 12) && f.ok(); ++list)
                if (f.u(1))
                    skipScalingList(f, list < 6 ? 16 : 64);
            if (f.ok())
                sps.scalingMatrices = carry(payload, from, f.position());
        }
    }
    // Each of these at most 12 (less 4): a larger one is no SPS, and must not wrap round to a small one.
    sps.log2MaxFrameNum = std::min(f.ue(), 13u) + 4;
    sps.pocType = f.ue();
    if (sps.pocType == 0) {
        sps.log2MaxPocLsb = std::min(f.ue(), 13u) + 4;
    } else if (sps.pocType == 1) {
        sps.deltaPicOrderAlwaysZero = f.u(1) != 0;
        sps.offsetForNonRefPic = f.se();
        sps.offsetForTopToBottomField = f.se();
        const unsigned cycle = f.ue();
        if (cycle > 255)
            return std::nullopt;
        for (unsigned i = 0; i < cycle && f.ok(); ++i)
            sps.refFrameOffsets.push_back(f.se());
    }
    sps.maxRefFrames = f.ue();
    sps.gapsAllowed = f.u(1) != 0;
    sps.widthInMbsMinus1 = f.ue();
    sps.heightInMapUnitsMinus1 = f.ue();
    sps.frameMbsOnly = f.u(1) != 0;
    if (!sps.frameMbsOnly)
        sps.mbAdaptive = f.u(1) != 0;
    sps.direct8x8 = f.u(1) != 0;
    if (f.u(1))
        sps.crop = std::array<unsigned, 4> { f.ue(), f.ue(), f.ue(), f.ue() };
    if (f.u(1)) {
        sps.vui = readVui(f, payload);
        if (!sps.vui)
            return std::nullopt;
    }
    if (!f.ok() || !stop || f.position() != *stop || sps.id > 31 || sps.chromaFormat > 3 || sps.log2MaxFrameNum > 16
        || sps.pocType > 2 || sps.log2MaxPocLsb > 16)
        return std::nullopt;
    return sps;
}

std::optional<AvcSps> matchAvcSps(AvcSps ours, const AvcSps& source)
{
    if (ours.widthInMbsMinus1 != source.widthInMbsMinus1 || ours.heightInMapUnitsMinus1 != source.heightInMapUnitsMinus1
        || ours.frameMbsOnly != source.frameMbsOnly || ours.crop != source.crop
        || ours.chromaFormat != source.chromaFormat || ours.maxRefFrames > source.maxRefFrames)
        return std::nullopt;
    const auto restriction = [](const AvcSps& sps) { return sps.vui ? sps.vui->restriction : std::nullopt; };
    const auto ourRestriction = restriction(ours);
    const auto sourceRestriction = restriction(source);
    if (ourRestriction && sourceRestriction
        && (ourRestriction->maxReorderFrames > sourceRestriction->maxReorderFrames
            || ourRestriction->maxDecFrameBuffering > sourceRestriction->maxDecFrameBuffering))
        return std::nullopt;
    if (ours.profile == source.profile)
        ours.constraints = source.constraints;
    ours.level = source.level;
    ours.maxRefFrames = source.maxRefFrames;
    // Without a VUI, or its restrictions, a decoder takes the most the level allows for the picture size,
    // the same for both.
    AvcVui vui = source.vui.value_or(AvcVui {});
    vui.nalHrd = ours.vui ? ours.vui->nalHrd : std::nullopt;
    vui.vclHrd = ours.vui ? ours.vui->vclHrd : std::nullopt;
    vui.lowDelayHrd = ours.vui && ours.vui->lowDelayHrd;
    vui.picStruct = ours.vui && ours.vui->picStruct;
    if (sourceRestriction && ourRestriction) {
        vui.restriction = *ourRestriction;
        vui.restriction->maxReorderFrames = sourceRestriction->maxReorderFrames;
        vui.restriction->maxDecFrameBuffering = sourceRestriction->maxDecFrameBuffering;
    }
    if (vui == AvcVui {})
        ours.vui.reset();
    else
        ours.vui = vui;
    return ours;
}

Bytes writeAvcSps(const AvcSps& sps)
{
    BitWriter w;
    w.u(sps.header, 8);
    w.u(sps.profile, 8);
    w.u(sps.constraints, 8);
    w.u(sps.level, 8);
    w.ue(sps.id);
    if (avcHighProfile(sps.profile)) {
        w.ue(sps.chromaFormat);
        if (sps.chromaFormat == 3)
            w.u(sps.separateColourPlane ? 1 : 0, 1);
        w.ue(sps.bitDepthLumaMinus8);
        w.ue(sps.bitDepthChromaMinus8);
        w.u(sps.transformBypass ? 1 : 0, 1);
        w.u(sps.scalingMatrices ? 1 : 0, 1);
        if (sps.scalingMatrices)
            put(w, *sps.scalingMatrices);
    }
    w.ue(sps.log2MaxFrameNum - 4);
    w.ue(sps.pocType);
    if (sps.pocType == 0) {
        w.ue(sps.log2MaxPocLsb - 4);
    } else if (sps.pocType == 1) {
        w.u(sps.deltaPicOrderAlwaysZero ? 1 : 0, 1);
        w.se(sps.offsetForNonRefPic);
        w.se(sps.offsetForTopToBottomField);
        w.ue(static_cast<unsigned>(sps.refFrameOffsets.size()));
        for (const int offset : sps.refFrameOffsets)
            w.se(offset);
    }
    w.ue(sps.maxRefFrames);
    w.u(sps.gapsAllowed ? 1 : 0, 1);
    w.ue(sps.widthInMbsMinus1);
    w.ue(sps.heightInMapUnitsMinus1);
    w.u(sps.frameMbsOnly ? 1 : 0, 1);
    if (!sps.frameMbsOnly)
        w.u(sps.mbAdaptive ? 1 : 0, 1);
    w.u(sps.direct8x8 ? 1 : 0, 1);
    w.u(sps.crop ? 1 : 0, 1);
    if (sps.crop)
        for (const unsigned c : *sps.crop)
            w.ue(c);
    w.u(sps.vui ? 1 : 0, 1);
    if (sps.vui)
        writeVui(w, *sps.vui);
    w.u(1, 1);
    while (w.bits() % 8)
        w.u(0, 1);
    return escape(w.take());
}

} // namespace quorvane::splitter
