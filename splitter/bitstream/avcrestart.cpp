// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/avcrestart.h"

#include "splitter/bitstream/configrecords.h"
#include "splitter/bitstream/nalbits.h"

#include <algorithm>

namespace quorvane::splitter {

AvcRestart::AvcRestart(const std::uint8_t* header, int headerSize)
    : m_framing(unitFraming(NalCodec::Avc, header, headerSize))
{
    if (!m_framing || !header || headerSize <= 0)
        return;
    if (m_framing->startCodes()) {
        for (const Bytes& unit : annexBUnits(header, headerSize))
            m_slices.learn(unit);
    } else if (const auto config = readAvcC(header, headerSize)) {
        for (const Bytes& unit : config->sps)
            m_slices.learn(unit);
        for (const Bytes& unit : config->pps)
            m_slices.learn(unit);
    }
}

std::vector<Bytes> AvcRestart::units(const std::uint8_t* data, std::size_t size, bool partial) const
{
    // Where the header does not tell how units are parted, no picture is read.
    return m_framing ? sampleUnits(data, size, m_framing->lengthSize, partial) : std::vector<Bytes> {};
}

std::optional<AvcSlice> AvcRestart::firstSlice(const std::vector<Bytes>& list) const
{
    for (const Bytes& unit : list) {
        if (!isAvcSlice(unit))
            continue;
        if (auto slice = m_slices.read(unescape(unit)))
            return slice;
    }
    return std::nullopt;
}

std::optional<std::vector<std::pair<AvcSlice, Bytes>>> AvcRestart::slicesOf(
    const std::vector<Bytes>& list, const AvcSlice& first) const
{
    std::vector<std::pair<AvcSlice, Bytes>> slices;
    for (const Bytes& unit : list) {
        if (!isAvcSlice(unit))
            continue;
        Bytes payload = unescape(unit);
        auto slice = m_slices.read(payload);
        if (!slice || slice->frameNum != first.frameNum)
            return std::nullopt;
        slices.emplace_back(std::move(*slice), std::move(payload));
    }
    return slices;
}

std::optional<AvcSliceChange> AvcRestart::relist(const AvcSlice& slice, const AvcSps& sps, unsigned ours) const
{
    const std::int64_t frames = std::int64_t { 1 } << sps.log2MaxFrameNum;
    AvcSliceChange to;
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

std::vector<AvcMmco> AvcRestart::mark(const AvcSlice& slice, const AvcSps& sps, unsigned ours)
{
    Session& held = *m_session;
    const std::int64_t frames = std::int64_t { 1 } << sps.log2MaxFrameNum;
    const auto age = [&](unsigned n) { return n <= ours ? std::int64_t { n } : std::int64_t { n } - frames; };
    const auto erase = [](std::vector<unsigned>& list, unsigned value) {
        list.erase(std::remove(list.begin(), list.end(), value), list.end());
    };
    std::vector<AvcMmco> kept;
    bool toLong = false;
    if (slice.refIdc != 0 && !slice.adaptive
        && held.shortRefs.size() + held.longRefs.size() >= std::max(1u, sps.maxRefFrames) && !held.shortRefs.empty()) {
        // The sliding window lets go of the reference decoded first.
        held.shortRefs.erase(std::min_element(held.shortRefs.begin(), held.shortRefs.end(),
            [&](const auto& a, const auto& b) { return age(a.second) < age(b.second); }));
    }
    for (AvcMmco m : slice.adaptive ? slice.mmco : std::vector<AvcMmco> {}) {
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
        m_slices.learn(unit);
        if (!isAvcSlice(unit))
            continue;
        const auto slice = m_slices.read(unescape(unit));
        if (!slice || slice->refIdc == 0 || (slice->type != AvcSliceI && slice->type != AvcSliceSi))
            return false;
        const AvcSps& sps = m_slices.spsOf(*slice);
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
    const std::optional<bool> idr
        = m_framing ? avcStartsAfresh(data, size, m_framing->lengthSize) : std::optional<bool>();
    const bool made = canRestart(data, size); // learns the sets either way
    return idr ? std::optional(*idr || made) : std::nullopt;
}

bool AvcRestart::changes(const std::uint8_t* head, std::size_t size, bool key)
{
    std::optional<AvcSlice> first;
    for (const Bytes& unit : units(head, size, true)) {
        m_slices.learn(unit);
        if (isAvcSlice(unit)) {
            first = m_slices.read(unescape(unit));
            break;
        }
    }
    if (!first)
        return true; // picture() decides from the whole
    if (!first->idr && (m_session || (key && m_lastSps != first->sps)))
        return true;
    m_lastSps = first->sps;
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
    const std::optional<AvcSlice> first = firstSlice(list);
    if (!first) {
        m_session.reset(); // a picture this class cannot read: what follows is left alone
        m_lastSps.reset();
        return std::nullopt;
    }
    const bool afresh = key && !first->idr && m_lastSps != first->sps;
    m_lastSps = first->sps;
    if (afresh) {
        m_session.reset();
        if (!canRestart(data, size))
            return std::nullopt;
        m_session = Session {};
    }
    if (!m_session)
        return std::nullopt;
    const auto out = renumber(std::move(list), *first, afresh);
    if (!out) {
        m_session.reset();
        return std::nullopt;
    }
    Bytes joined = joinUnits(*out, m_framing->lengthSize);
    if (joined.size() == size && std::equal(joined.begin(), joined.end(), data))
        return std::nullopt;
    return joined;
}

std::optional<std::vector<Bytes>> AvcRestart::renumber(std::vector<Bytes> list, const AvcSlice& first, bool afresh)
{
    const AvcSlices::Sps& sps = m_slices.spsOf(first);
    const unsigned ours = afresh ? 0 : (m_session->lastRef + 1) & ((1u << sps.log2MaxFrameNum) - 1);
    const auto slices = slicesOf(list, first);
    if (!slices)
        return std::nullopt;
    std::vector<AvcSliceChange> changes;
    for (const auto& [slice, payload] : *slices) {
        auto to = afresh ? std::optional(AvcSliceChange { 0, true, m_lastIdrPicId == 0 ? 1u : 0u, {}, {} })
                         : relist(slice, sps, ours);
        if (!to)
            return std::nullopt;
        changes.push_back(std::move(*to));
    }
    std::vector<AvcMmco> mmco;
    if (afresh) {
        m_session->shortRefs = { { first.frameNum, 0u } };
        m_session->lastRef = 0;
    } else {
        mmco = mark(first, sps, ours);
    }
    const bool resets = std::any_of(mmco.begin(), mmco.end(), [](const AvcMmco& m) { return m.op == 5; });
    if (afresh && m_framing->startCodes()
        && std::none_of(list.begin(), list.end(), [](const Bytes& u) { return avcUnitType(u) == 7; })) {
        const bool delimited = avcUnitType(list.front()) == 9; // the access unit delimiter stays first
        list.insert(list.begin() + (delimited ? 1 : 0), { sps.unit, m_slices.ppsOf(first).unit });
    }
    std::size_t next = 0;
    for (Bytes& unit : list) {
        if (!isAvcSlice(unit))
            continue;
        AvcSliceChange& to = changes[next];
        to.mmco = mmco;
        auto changed = m_slices.write((*slices)[next].second, (*slices)[next].first, to);
        ++next;
        if (!changed)
            return std::nullopt;
        unit = std::move(*changed);
    }
    if (afresh)
        m_lastIdrPicId = m_lastIdrPicId == 0 ? 1 : 0;
    if (resets)
        m_session.reset(); // its frame numbers start over by themselves after it
    return list;
}

} // namespace quorvane::splitter
