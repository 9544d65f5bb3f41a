// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/parametersets.h"

#include "splitter/bitstream/nalbits.h"

namespace quorvane::splitter {

std::optional<unsigned> avcParameterSetId(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    BitReader bits(payload);
    const auto header = bits.u(8);
    if (!header)
        return std::nullopt;
    if ((*header & 0x1f) == 7 && !bits.u(24)) // profile, constraints, level
        return std::nullopt;
    return bits.ue();
}

std::optional<unsigned> hevcParameterSetId(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    Fields f(payload);
    f.u(16);
    unsigned id = 0;
    switch (hevcUnitType(unit)) {
    case HevcVps:
        id = f.u(4);
        break;
    case HevcSps:
        readProfileTierLevel(f, (f.u(8) >> 1) & 7); // after the VPS's number, the sub-layers less one
        id = f.ue();
        break;
    case HevcPps:
        id = f.ue();
        break;
    default:
        return std::nullopt;
    }
    return f.ok() ? std::optional(id) : std::nullopt;
}

std::optional<HevcProfile> hevcSpsProfile(const Bytes& unit)
{
    if (hevcUnitType(unit) != HevcSps)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    BitReader bits(payload);
    const auto profile = bits.u(16 + 8 + 8);
    const auto level = profile && bits.u(32 + 48) ? bits.u(8) : std::nullopt;
    if (!level)
        return std::nullopt;
    return HevcProfile { *profile & 0x1f, *level };
}

std::optional<Bytes> renumberHevcParameterSet(const Bytes& unit, unsigned id, unsigned referred)
{
    const Bytes payload = unescape(unit);
    const auto stop = bitsBeforeStop(payload);
    BitWriter to;
    Fields f(payload, to);
    f.u(16);
    switch (hevcUnitType(unit)) {
    case HevcVps:
        f.replaceU(4, id);
        break;
    case HevcSps:
        f.replaceU(4, referred);
        readProfileTierLevel(f, f.u(4) >> 1); // after the sub-layers less one, the nesting flag
        f.replaceUe(id);
        break;
    case HevcPps:
        f.replaceUe(id);
        f.replaceUe(referred);
        break;
    default:
        return std::nullopt;
    }
    if (!f.ok() || !stop || f.position() > *stop || !to.copy(payload, f.position(), *stop))
        return std::nullopt;
    to.stop();
    return escape(to.take());
}

std::optional<Bytes> renumberHevcSlice(const Bytes& unit, unsigned pps)
{
    const int type = hevcUnitType(unit);
    if (type < 0 || type > 31)
        return std::nullopt;
    const Bytes payload = unescape(unit);
    BitReader from(payload);
    BitWriter to;
    // The first-slice flag, and for a keyframe the flag for pictures not yet shown.
    if (!to.copy(from, 16 + ((type >= 16 && type <= 23) ? 2 : 1)))
        return std::nullopt;
    const std::size_t before = from.left();
    if (!from.ue())
        return std::nullopt;
    const std::size_t oldBits = before - from.left();
    to.ue(pps);
    const std::size_t newBits = to.bits() - (payload.size() * 8 - before);
    if ((newBits > oldBits ? newBits - oldBits : oldBits - newBits) % 8 != 0 || !to.copy(from, from.left()))
        return std::nullopt;
    return escape(to.take());
}

} // namespace quorvane::splitter
