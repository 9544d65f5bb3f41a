// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/avcrestart.h"

#include "splitter/bitstream/nalbits.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

enum : unsigned { SliceP = 0, SliceB = 1, SliceI = 2, SliceSp = 3, SliceSi = 4 };

int unitType(const Bytes& unit) { return unit.empty() ? -1 : unit[0] & 0x1f; }
bool isSlice(const Bytes& unit) { return unitType(unit) == 1 || unitType(unit) == 5; }

} // namespace

AvcRestart::AvcRestart(const std::uint8_t* header, int headerSize)
    : m_lengthSize(0)
{
    if (!header || headerSize <= 4)
        return;
    if (header[0] != 1) {
        for (const Bytes& unit : annexBUnits(header, headerSize))
            learn(unit);
        return;
    }
    m_lengthSize = (header[4] & 3) + 1;
    if (const auto config = readAvcC(header, headerSize)) {
        for (const Bytes& unit : config->sps)
            learn(unit);
        for (const Bytes& unit : config->pps)
            learn(unit);
    }
}

std::vector<Bytes> AvcRestart::units(const std::uint8_t* data, std::size_t size, bool partial) const
{
    return sampleUnits(data, size, m_lengthSize, partial);
}

Bytes AvcRestart::join(const std::vector<Bytes>& list) const { return joinUnits(list, m_lengthSize); }

void AvcRestart::learn(const Bytes& unit)
{
    const Bytes payload = unescape(unit);
    Fields f(payload);
    const unsigned type = f.u(8) & 0x1f;
    if (type == 7) {
        if (auto sps = readAvcSps(unit))
            m_sps[sps->id] = Sps { std::move(*sps), unit };
    } else if (type == 8) {
        Pps pps;
        const unsigned id = f.ue();
        pps.sps = f.ue();
        pps.cabac = f.u(1) != 0;
        pps.bottomFieldPicOrder = f.u(1) != 0;
        pps.sliceGroups = f.ue() + 1;
        if (pps.sliceGroups == 1) {
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
        }
        pps.unit = unit;
        if (f.ok() && id < 256 && pps.sliceGroups == 1 && pps.refIdxL0 <= 32 && pps.refIdxL1 <= 32)
            m_pps[id] = pps;
    }
}

std::optional<AvcRestart::Slice> AvcRestart::parse(const Bytes& payload) const
{
    Fields f(payload);
    Slice s;
    const unsigned header = f.u(8);
    s.refIdc = header >> 5 & 3;
    s.idr = (header & 0x1f) == 5;
    f.ue(); // first macroblock
    s.type = f.ue() % 5;
    s.pps = f.ue();
    const auto pps = m_pps.find(s.pps);
    if (!f.ok() || pps == m_pps.end())
        return std::nullopt;
    const auto found = m_sps.find(pps->second.sps);
    if (found == m_sps.end())
        return std::nullopt;
    const Sps& sps = found->second;
    const Pps& p = pps->second;
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
        if (p.bottomFieldPicOrder && !s.field)
            f.se();
    } else if (sps.pocType == 1 && !sps.deltaPicOrderAlwaysZero) {
        f.se();
        if (p.bottomFieldPicOrder && !s.field)
            f.se();
    }
    s.pocEnd = f.position();
    if (p.redundantPicCnt)
        f.ue();
    if (s.type == SliceB)
        f.u(1); // direct prediction
    unsigned refs[2] = { p.refIdxL0, p.refIdxL1 };
    if (s.type == SliceP || s.type == SliceSp || s.type == SliceB) {
        if (f.u(1)) {
            refs[0] = f.ue() + 1;
            if (s.type == SliceB)
                refs[1] = f.ue() + 1;
        }
    }
    s.lists = s.type == SliceB ? 2 : (s.type == SliceI || s.type == SliceSi ? 0 : 1);
    s.listsAt = f.position();
    for (int list = 0; list < s.lists && f.ok(); ++list) {
        if (!(s.reordered[list] = f.u(1) != 0))
            continue;
        for (;;) {
            const unsigned idc = f.ue();
            if (!f.ok() || idc == 3)
                break;
            if (idc > 2 || s.reorder[list].size() > 64)
                return std::nullopt; // the multiview kinds are not ours to read
            s.reorder[list].emplace_back(idc, f.ue());
        }
    }
    s.listsEnd = f.position();
    const int lists = s.lists;
    if ((p.weightedPred && (s.type == SliceP || s.type == SliceSp)) || (p.weightedBipred == 1 && s.type == SliceB)) {
        f.ue();
        if (sps.chromaArrayType() != 0)
            f.ue();
        for (int list = 0; list < lists && f.ok(); ++list) {
            for (unsigned i = 0; i < refs[list] && i < 32 && f.ok(); ++i) {
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
    s.markingAt = f.position();
    if (s.refIdc != 0) {
        if (s.idr) {
            f.u(2);
        } else if ((s.adaptive = f.u(1) != 0)) {
            for (;;) {
                Mmco m;
                m.op = f.ue();
                if (!f.ok() || m.op == 0)
                    break;
                if (m.op > 6 || s.mmco.size() > 64)
                    return std::nullopt;
                if (m.op == 1 || m.op == 2 || m.op == 3 || m.op == 4)
                    m.a = f.ue();
                if (m.op == 3 || m.op == 6)
                    m.b = f.ue();
                s.mmco.push_back(m);
            }
        }
    }
    s.markingEnd = f.position();
    if (p.cabac && s.type != SliceI && s.type != SliceSi)
        f.ue();
    f.se(); // quantiser
    if (s.type == SliceSp || s.type == SliceSi) {
        if (s.type == SliceSp)
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

std::optional<Bytes> AvcRestart::rewrite(const Bytes& payload, const Slice& slice, const Renumbered& to) const
{
    const Pps& pps = m_pps.at(slice.pps);
    const Sps& sps = m_sps.at(pps.sps);
    BitWriter w;
    w.u(to.toIdr ? (payload[0] & 0x60u) | 5u : payload[0], 8);
    bool ok = w.copy(payload, 8, slice.frameNumAt);
    w.u(to.frameNum, static_cast<int>(sps.log2MaxFrameNum));
    ok = ok && w.copy(payload, slice.frameNumAt + sps.log2MaxFrameNum, slice.afterFieldAt);
    if (to.toIdr)
        w.ue(m_lastIdrPicId == 0 ? 1 : 0);
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
        if (to.toIdr) {
            w.u(0, 2); // prior pictures are output; the keyframe is a short-term reference
        } else if (slice.idr) {
            ok = ok && w.copy(payload, slice.markingAt, slice.markingEnd);
        } else {
            w.u(slice.adaptive ? 1 : 0, 1);
            for (const Mmco& m : slice.adaptive ? to.mmco : std::vector<Mmco> {}) {
                w.ue(m.op);
                if (m.op == 1 || m.op == 2 || m.op == 3 || m.op == 4)
                    w.ue(m.a);
                if (m.op == 3 || m.op == 6)
                    w.ue(m.b);
            }
            if (slice.adaptive)
                w.ue(0);
        }
    }
    ok = ok && w.copy(payload, slice.markingEnd, slice.dataAt);
    return ok ? withData(w, payload, slice) : std::nullopt;
}

std::optional<Bytes> AvcRestart::withData(BitWriter& w, const Bytes& payload, const Slice& slice) const
{
    if (m_pps.at(slice.pps).cabac) {
        // CABAC data starts on a byte: new alignment bits, then the data's bytes as they were.
        while (w.bits() % 8 != 0)
            w.u(1, 1);
        Bytes out = w.take();
        out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>((slice.dataAt + 7) / 8), payload.end());
        return escape(out);
    }
    const auto stop = bitsBeforeStop(payload);
    if (!stop || *stop < slice.dataAt || !w.copy(payload, slice.dataAt, *stop))
        return std::nullopt;
    w.u(1, 1);
    while (w.bits() % 8 != 0)
        w.u(0, 1);
    return escape(w.take());
}

std::optional<AvcRestart::Renumbered> AvcRestart::relist(const Slice& slice, const Sps& sps, unsigned ours) const
{
    const std::int64_t frames = std::int64_t { 1 } << sps.log2MaxFrameNum;
    Renumbered to;
    to.frameNum = ours;
    for (int list = 0; list < slice.lists; ++list) {
        std::int64_t theirs = slice.frameNum; // each list's prediction, by the source's numbers and ours
        std::int64_t predicted = ours;
        for (const auto& [idc, number] : slice.reorder[list]) {
            if (idc == 2) {
                to.reorder[list].emplace_back(idc, number); // a long-term picture keeps its number
                continue;
            }
            theirs += idc == 0 ? -(std::int64_t { number } + 1) : std::int64_t { number } + 1;
            theirs = (theirs % frames + frames) % frames;
            const auto held = m_session->shortRefs.find(static_cast<unsigned>(theirs));
            if (held == m_session->shortRefs.end())
                return std::nullopt;
            // Always counted down, which wraps round to any number.
            std::int64_t down = ((predicted - held->second) % frames + frames) % frames;
            if (down == 0)
                down = frames;
            to.reorder[list].emplace_back(0u, static_cast<unsigned>(down - 1));
            predicted = held->second;
        }
    }
    return to;
}

std::vector<AvcRestart::Mmco> AvcRestart::mark(const Slice& slice, const Sps& sps, unsigned ours)
{
    Session& held = *m_session;
    const std::int64_t frames = std::int64_t { 1 } << sps.log2MaxFrameNum;
    const auto age = [&](unsigned n) { return n <= ours ? std::int64_t { n } : std::int64_t { n } - frames; };
    const auto erase = [](std::vector<unsigned>& list, unsigned value) {
        list.erase(std::remove(list.begin(), list.end(), value), list.end());
    };
    std::vector<Mmco> kept;
    bool toLong = false;
    if (slice.refIdc != 0 && !slice.adaptive
        && held.shortRefs.size() + held.longRefs.size() >= std::max(1u, sps.maxRefFrames) && !held.shortRefs.empty()) {
        // The sliding window lets go of the reference decoded first.
        held.shortRefs.erase(std::min_element(held.shortRefs.begin(), held.shortRefs.end(),
            [&](const auto& a, const auto& b) { return age(a.second) < age(b.second); }));
    }
    for (Mmco m : slice.adaptive ? slice.mmco : std::vector<Mmco> {}) {
        switch (m.op) {
        case 1:
        case 3: {
            const std::int64_t theirs = std::int64_t { slice.frameNum } - (std::int64_t { m.a } + 1);
            const auto target = held.shortRefs.find(static_cast<unsigned>((theirs % frames + frames) % frames));
            if (target == held.shortRefs.end())
                continue; // names a picture from before the keyframe
            m.a = static_cast<unsigned>(ours - age(target->second) - 1);
            held.shortRefs.erase(target);
            if (m.op == 3) {
                erase(held.longRefs, m.b);
                held.longRefs.push_back(m.b);
            }
            break;
        }
        case 2:
            if (std::find(held.longRefs.begin(), held.longRefs.end(), m.a) == held.longRefs.end())
                continue;
            erase(held.longRefs, m.a);
            break;
        case 4:
            held.longRefs.erase(std::remove_if(held.longRefs.begin(), held.longRefs.end(),
                                    [&](unsigned index) { return index + 1 > m.a; }),
                held.longRefs.end());
            break;
        case 5:
            held.shortRefs.clear();
            held.longRefs.clear();
            break;
        case 6:
            erase(held.longRefs, m.b);
            held.longRefs.push_back(m.b);
            toLong = true;
            break;
        default:
            break;
        }
        kept.push_back(m);
    }
    if (slice.refIdc != 0) {
        if (!toLong)
            held.shortRefs[slice.frameNum] = ours;
        held.lastRef = ours;
    }
    return kept;
}

bool AvcRestart::canRestart(const std::uint8_t* data, std::size_t size)
{
    bool any = false;
    for (const Bytes& unit : units(data, size, true)) {
        if (unitType(unit) == 7 || unitType(unit) == 8)
            learn(unit);
        if (!isSlice(unit))
            continue;
        const auto slice = parse(unescape(unit));
        if (!slice || slice->refIdc == 0 || (slice->type != SliceI && slice->type != SliceSi))
            return false;
        const Sps& sps = m_sps.at(m_pps.at(slice->pps).sps);
        // Order counts of type 1 follow the frame numbers through a cycle that a new count would shift.
        // Where gaps in frame numbers are allowed, they may hold places in the reference lists. Where
        // pictures may be coded as fields, a field pair shares its number and the lists count fields: left
        // as they are.
        if (sps.pocType == 1 || sps.gapsAllowed || !sps.frameMbsOnly)
            return false;
        any = true;
    }
    return any;
}

std::optional<bool> AvcRestart::canStartAfresh(const std::uint8_t* data, std::size_t size)
{
    const std::optional<bool> idr = avcStartsAfresh(data, size, m_lengthSize);
    const bool made = canRestart(data, size); // learns the sets either way
    return idr ? std::optional(*idr || made) : std::nullopt;
}

bool AvcRestart::changes(const std::uint8_t* head, std::size_t size, bool key)
{
    std::optional<Slice> first;
    for (const Bytes& unit : units(head, size, true)) {
        if (unitType(unit) == 7 || unitType(unit) == 8)
            learn(unit);
        if (isSlice(unit)) {
            first = parse(unescape(unit));
            break;
        }
    }
    if (!first)
        return true; // picture() decides from the whole
    const unsigned sps = m_pps.at(first->pps).sps;
    if (!first->idr && (m_session || (key && m_lastSps != sps)))
        return true;
    m_lastSps = sps;
    if (first->idr) {
        m_session.reset();
        m_lastIdrPicId = first->idrPicId;
    }
    return false;
}

std::optional<Bytes> AvcRestart::picture(const std::uint8_t* data, std::size_t size, bool key)
{
    if (!changes(data, size, key))
        return std::nullopt;
    std::vector<Bytes> list = units(data, size);
    std::optional<Slice> first;
    for (const Bytes& unit : list) {
        if (!first && isSlice(unit))
            first = parse(unescape(unit));
    }
    if (!first) {
        m_session.reset(); // a picture this class cannot read: what follows is left alone
        m_lastSps.reset();
        return std::nullopt;
    }
    const unsigned sps = m_pps.at(first->pps).sps;
    const bool afresh = key && !first->idr && m_lastSps != sps;
    m_lastSps = sps;
    if (afresh) {
        m_session.reset();
        if (!canRestart(data, size))
            return std::nullopt;
        m_session = Session {};
    }
    if (!m_session)
        return std::nullopt;
    const Sps& params = m_sps.at(sps);
    const unsigned ours = afresh ? 0 : (m_session->lastRef + 1) & ((1u << params.log2MaxFrameNum) - 1);
    std::vector<std::pair<Slice, Bytes>> slices;
    for (const Bytes& unit : list) {
        if (!isSlice(unit))
            continue;
        Bytes payload = unescape(unit);
        auto slice = parse(payload);
        if (!slice || slice->frameNum != first->frameNum) {
            m_session.reset();
            return std::nullopt;
        }
        slices.emplace_back(std::move(*slice), std::move(payload));
    }
    std::vector<Renumbered> renumbered;
    for (const auto& [slice, payload] : slices) {
        auto to = afresh ? std::optional(Renumbered { 0, true, {}, {} }) : relist(slice, params, ours);
        if (!to) {
            m_session.reset();
            return std::nullopt;
        }
        renumbered.push_back(std::move(*to));
    }
    std::vector<Mmco> mmco;
    if (afresh) {
        m_session->shortRefs = { { first->frameNum, 0u } };
        m_session->lastRef = 0;
    } else {
        mmco = mark(*first, params, ours);
    }
    const bool resets = std::any_of(mmco.begin(), mmco.end(), [](const Mmco& m) { return m.op == 5; });
    std::vector<Bytes> out;
    if (afresh && m_lengthSize == 0
        && std::none_of(list.begin(), list.end(), [](const Bytes& u) { return unitType(u) == 7; })) {
        const Pps& set = m_pps.at(first->pps);
        const bool delimited = unitType(list.front()) == 9; // the access unit delimiter stays first
        list.insert(list.begin() + (delimited ? 1 : 0), { m_sps.at(set.sps).unit, set.unit });
    }
    std::size_t next = 0;
    for (const Bytes& unit : list) {
        if (!isSlice(unit)) {
            out.push_back(unit);
            continue;
        }
        Renumbered& to = renumbered[next];
        to.mmco = mmco;
        auto changed = rewrite(slices[next].second, slices[next].first, to);
        ++next;
        if (!changed) {
            m_session.reset();
            return std::nullopt;
        }
        out.push_back(std::move(*changed));
    }
    if (afresh)
        m_lastIdrPicId = m_lastIdrPicId == 0 ? 1 : 0;
    if (resets)
        m_session.reset(); // its frame numbers start over by themselves after it
    Bytes joined = join(out);
    if (joined.size() == size && std::equal(joined.begin(), joined.end(), data))
        return std::nullopt;
    return joined;
}

std::optional<Bytes> AvcRestart::withPictureOrder(const Bytes& unit, unsigned lsb, unsigned log2MaxPocLsb) const
{
    if (!isSlice(unit))
        return unit;
    const Bytes payload = unescape(unit);
    const auto slice = parse(payload);
    if (!slice)
        return std::nullopt;
    const Pps& pps = m_pps.at(slice->pps);
    if (m_sps.at(pps.sps).pocType != 2 || log2MaxPocLsb < 4 || log2MaxPocLsb > 16)
        return std::nullopt;
    BitWriter w;
    if (!w.copy(payload, 0, slice->pocAt))
        return std::nullopt;
    w.u(lsb & ((1u << log2MaxPocLsb) - 1), static_cast<int>(log2MaxPocLsb));
    if (pps.bottomFieldPicOrder && !slice->field)
        w.se(0);
    if (!w.copy(payload, slice->pocEnd, slice->dataAt))
        return std::nullopt;
    return withData(w, payload, *slice);
}

} // namespace quorvane::splitter
