// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/mp4tables.h"

#include <algorithm>
#include <cstring>

namespace quorvane::splitter::mp4 {

namespace {

constexpr std::int64_t bigCount = std::int64_t(1) << 31;

// The track's time scale and duration ("mdhd").
bool readMediaHeader(const Bytes& data, const Trak& trak, SampleTables& t)
{
    const Box* mdhd = find(*trak.mdia, "mdhd");
    if (!mdhd || mdhd->size < 24)
        return false;
    const bool wide = data[mdhd->payload] == 1;
    if (wide && mdhd->size < 36)
        return false;
    t.scale = big32(data, mdhd->payload + (wide ? 20 : 12));
    t.mdhdDuration
        = wide ? static_cast<std::int64_t>(readBig(&data[mdhd->payload + 24], 8)) : big32(data, mdhd->payload + 16);
    return t.scale > 0;
}

// Whether `boxes` hold at most one box of each of `types`.
bool once(const std::vector<Box>& boxes, std::initializer_list<const char*> types)
{
    for (const char* type : types) {
        if (std::count_if(boxes.begin(), boxes.end(), [&](const Box& box) { return box.is(type); }) > 1)
            return false;
    }
    return true;
}

// Media in this file only, one sample description, nothing encrypted, no table the index does not follow.
bool followed(const Bytes& data, const Trak& trak)
{
    // One of each box the index reads: the shortened moov cuts every one of them, as the index read the first.
    if (!once(trak.boxes, { "mdia" }) || !once(*trak.mdia, { "minf" }) || !once(*trak.minf, { "stbl" })
        || !once(*trak.stbl, { "stsd", "stts", "ctts", "stss", "stsc", "stsz", "stco", "co64", "sdtp" }))
        return false;
    const auto dinf = inside(data, find(*trak.minf, "dinf"));
    const auto dref = dinf ? std::optional(find(*dinf, "dref")) : std::nullopt;
    if (dref && *dref) {
        const auto entries = children(data, (*dref)->payload + 8, (*dref)->payload + (*dref)->size);
        if ((*dref)->size < 8 || !entries)
            return false;
        for (const Box& entry : *entries) {
            if (entry.size < 4 || !(data[entry.payload + 3] & 1))
                return false;
        }
    }
    const std::vector<Box>& stbl = *trak.stbl;
    const Box* stsd = find(stbl, "stsd");
    if (!stsd || stsd->size < 16 || big32(data, stsd->payload + 4) != 1)
        return false;
    if (std::memcmp(&data[stsd->payload + 12], "enc", 3) == 0)
        return false;
    for (const char* unfollowed : { "stz2", "stps", "senc", "saiz", "saio", "stsh", "padb" }) {
        if (find(stbl, unfollowed))
            return false;
    }
    for (const Box& box : stbl) {
        // Sample groups that make keyframes.
        if (box.is("sbgp") && box.size >= 8
            && (std::memcmp(&data[box.payload + 4], "rap ", 4) == 0
                || std::memcmp(&data[box.payload + 4], "sync", 4) == 0))
            return false;
    }
    return true;
}

bool readTables(const Bytes& data, const Trak& trak, SampleTables& t)
{
    const std::vector<Box>& stbl = *trak.stbl;
    const auto stts = tableOf(data, find(stbl, "stts"), 8, 8);
    const auto ctts = tableOf(data, find(stbl, "ctts"), 8, 8);
    const auto stss = tableOf(data, find(stbl, "stss"), 8, 4);
    const auto stsc = tableOf(data, find(stbl, "stsc"), 8, 12);
    const Box* stsz = find(stbl, "stsz");
    t.co64 = find(stbl, "co64") != nullptr;
    const auto chunks = tableOf(data, find(stbl, t.co64 ? "co64" : "stco"), 8, t.co64 ? 8 : 4);
    if (!stts || !ctts || !stss || !stsc || !chunks || !stsz || stsz->size < 12)
        return false;
    // A size for all samples of sound is raw audio, which the reader takes a chunk at a time.
    const Box* hdlr = find(*trak.mdia, "hdlr");
    if (!hdlr || hdlr->size < 12)
        return false;
    t.size = big32(data, stsz->payload + 4);
    if (t.size != 0 && std::memcmp(&data[hdlr->payload + 8], "soun", 4) == 0)
        return false;
    const auto sizes
        = t.size ? std::optional(Table { 0, big32(data, stsz->payload + 8), true }) : tableOf(data, stsz, 12, 4);
    if (!sizes)
        return false;
    t.stts = *stts;
    t.ctts = *ctts;
    t.stss = *stss;
    t.stsc = *stsc;
    t.chunks = *chunks;
    t.sizes = *sizes;
    if (const Box* sdtp = find(stbl, "sdtp"); sdtp && sdtp->size >= 4) {
        t.sdtp = sdtp->payload + 4;
        t.sdtpCount = static_cast<std::uint32_t>(sdtp->size - 4);
    }
    return true;
}

// Tables the reader takes as they are: counts that add up, no step backwards in time.
bool timesAddUp(const Bytes& data, const SampleTables& t)
{
    const std::uint32_t samples = t.sizes.count;
    if (samples > 0 && (t.stts.count == 0 || t.stsc.count == 0 || t.chunks.count == 0))
        return false;
    std::int64_t timed = 0;
    std::int64_t duration = 0;
    for (std::uint32_t e = 0; e < t.stts.count; ++e) {
        const std::uint32_t count = big32(data, t.stts.entries + e * 8);
        const std::uint32_t delta = big32(data, t.stts.entries + e * 8 + 4);
        // A sample that takes no time has the reader guess its length, unless it is the last.
        if (count == 0 || count >= bigCount || delta >= bigCount || (delta == 0 && (e + 1 < t.stts.count || count > 1)))
            return false;
        timed += count;
        duration += std::int64_t { count } * delta;
        if (duration > longestTime)
            return false;
    }
    if (timed != samples)
        return false;
    if (!t.ctts.present)
        return true;
    std::int64_t offsets = 0;
    for (std::uint32_t e = 0; e < t.ctts.count; ++e) {
        const std::uint32_t count = big32(data, t.ctts.entries + e * 8);
        const std::int32_t offset = compositionOffset(data, t.ctts, e);
        if (count >= bigCount || offset <= -(1 << 28) || offset >= (1 << 28))
            return false;
        offsets += count;
    }
    return offsets >= samples;
}

bool chunksAddUp(const Bytes& data, const SampleTables& t)
{
    std::uint32_t previous = 0;
    std::int64_t inChunks = 0;
    for (std::uint32_t e = 0; e < t.stsc.count; ++e) {
        const std::uint32_t first = big32(data, t.stsc.entries + e * 12);
        const std::uint32_t count = big32(data, t.stsc.entries + e * 12 + 4);
        const std::uint32_t next
            = e + 1 < t.stsc.count ? big32(data, t.stsc.entries + (e + 1) * 12) : t.chunks.count + 1;
        // The first entry starts at chunk 1: every chunk has a count of samples.
        if ((e == 0 && first != 1) || first <= previous || first > t.chunks.count || count == 0 || count >= bigCount
            || big32(data, t.stsc.entries + e * 12 + 8) != 1 || next <= first)
            return false;
        inChunks += static_cast<std::int64_t>(next - first) * count;
        previous = first;
    }
    return t.sizes.count == 0 || inChunks == t.sizes.count;
}

// At most one edit, after an empty one.
bool readEdits(const Bytes& data, const Trak& trak, SampleTables& t)
{
    const auto edts = inside(data, find(trak.boxes, "edts"));
    const Box* elst = edts ? find(*edts, "elst") : nullptr;
    if (!elst || elst->size < 8)
        return true;
    const bool wide = data[elst->payload] == 1;
    const std::size_t entrySize = wide ? 20 : 12;
    const std::uint32_t count = big32(data, elst->payload + 4);
    if (count > (elst->size - 8) / entrySize)
        return false;
    for (std::uint32_t e = 0; e < count; ++e) {
        const std::size_t at = elst->payload + 8 + e * entrySize;
        const auto duration = static_cast<std::int64_t>(readBig(&data[at], wide ? 8 : 4));
        const std::int64_t media = wide ? static_cast<std::int64_t>(readBig(&data[at + 8], 8))
                                        : static_cast<std::int32_t>(big32(data, at + 4));
        const std::uint32_t rate = big32(data, at + (wide ? 16 : 8));
        if (e == 0 && media == -1 && count > 1) {
            t.emptyEdit = duration;
        } else if (e == count - 1 && media >= 0 && rate == 0x10000 && duration >= 0) {
            t.edited = true;
            t.editMedia = media;
            t.editDuration = duration;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

std::uint32_t big32(const Bytes& data, std::size_t at) { return static_cast<std::uint32_t>(readBig(&data[at], 4)); }

std::optional<Table> tableOf(const Bytes& data, const Box* box, std::size_t header, std::size_t entrySize)
{
    if (!box)
        return Table {};
    if (box->size < header)
        return std::nullopt;
    const std::uint32_t count = big32(data, box->payload + header - 4);
    if (count > (box->size - header) / entrySize)
        return std::nullopt;
    return Table { box->payload + header, count, true };
}

std::optional<Trak> walkTrak(const Bytes& data, const Box& trakBox)
{
    auto boxes = inside(data, &trakBox);
    const Box* tkhd = boxes ? find(*boxes, "tkhd") : nullptr;
    const auto id = tkhd ? trackIdOf(data, *tkhd) : std::nullopt;
    if (!id)
        return std::nullopt;
    Trak trak { *id, std::move(*boxes), {}, {}, {} };
    trak.mdia = inside(data, find(trak.boxes, "mdia"));
    if (trak.mdia)
        trak.minf = inside(data, find(*trak.mdia, "minf"));
    if (trak.minf)
        trak.stbl = inside(data, find(*trak.minf, "stbl"));
    return trak;
}

std::optional<Trak> findTrak(const Bytes& moov, int trackId)
{
    const auto top = children(moov, 0, moov.size());
    if (!top || find(*top, "mvex"))
        return std::nullopt;
    for (const Box& box : *top) {
        if (!box.is("trak"))
            continue;
        if (auto trak = walkTrak(moov, box); trak && trak->id == trackId)
            return trak;
    }
    return std::nullopt;
}

std::int32_t compositionOffset(const Bytes& data, const Table& ctts, std::uint32_t e)
{
    return static_cast<std::int32_t>(big32(data, ctts.entries + static_cast<std::size_t>(e) * 8 + 4));
}

std::int64_t decodeShift(const Bytes& data, const Table& ctts)
{
    std::int64_t shift = 0;
    for (std::uint32_t e = 0; e + 2 < ctts.count; ++e)
        shift = std::max(shift, -std::int64_t { compositionOffset(data, ctts, e) }); // -INT32_MIN too
    return shift;
}

std::optional<SampleTables> readSampleTables(const Bytes& data, const Trak& trak)
{
    SampleTables t;
    t.id = trak.id;
    if (!trak.stbl || !readMediaHeader(data, trak, t) || !followed(data, trak) || !readTables(data, trak, t)
        || !timesAddUp(data, t) || !chunksAddUp(data, t) || !readEdits(data, trak, t))
        return std::nullopt;
    return t;
}

} // namespace quorvane::splitter::mp4
