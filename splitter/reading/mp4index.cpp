// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/mp4index.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace quorvane::splitter {

using namespace mp4;

namespace {

constexpr std::int64_t bigCount = std::int64_t(1) << 31;

std::uint32_t big32(const Bytes& data, std::size_t at) { return static_cast<std::uint32_t>(readBig(&data[at], 4)); }

// A table box's entries: where they start, how many, each `entrySize` bytes after a `header`.
struct Table {
    std::size_t entries = 0;
    std::uint32_t count = 0;
    bool present = false;
};

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

} // namespace

struct Mp4Index::Track {
    int id = 0;
    std::int64_t scale = 0;
    std::int64_t mdhdDuration = 0;
    Table stts, ctts, stss, stsc, chunks, sizes;
    std::uint32_t size = 0; // of every sample, where the sizes table gives one for all
    bool co64 = false;
    std::size_t sdtp = 0;
    std::uint32_t sdtpCount = 0;
    bool edited = false;
    std::int64_t emptyEdit = 0; // in the movie's ticks
    std::int64_t editMedia = 0;
    std::int64_t editDuration = 0; // in the movie's ticks

    // Once bound to a stream:
    int stream = -1;
    bool audio = false;
    bool video = false;
    bool aac = false;
    bool vorbis = false;
    bool skipped = false; // a stream the reader reads past (a chapter track)
    std::int64_t dtsShift = 0; // against negative composition offsets
    std::int64_t empty = 0; // the edits in the track's ticks
    std::int64_t media = 0;
    std::int64_t editEnd = 0;
    std::int64_t offset = 0; // added to the tables' decoding times
    std::int64_t kept = 0; // samples the reader gives
    std::int64_t skip = 0;
    std::int64_t duration = 0; // the stream's, as the reader has it
    std::int64_t lastDelta = 0;
    std::uint64_t bytes = 0;
    bool cut = false; // its tables cut short for libavformat
    std::vector<std::int64_t> runSample; // per time-to-sample entry: its first sample and decoding time
    std::vector<std::int64_t> runDts;
};

namespace {

using Track = Mp4Index::Track;

// One sample as the tables have it.
struct Raw {
    std::int64_t pos = 0;
    int size = 0;
    std::int64_t dts = 0; // from 0, before any edit
    std::int64_t delta = 0; // until the next sample
    std::int64_t composition = 0;
    std::int64_t chunkEnd = 0;
    bool key = false;
    bool disposable = false;
};

// Steps through a track's tables sample by sample, as libavformat builds its index from them.
class Cursor {
public:
    Cursor(const Bytes& data, const Track& track)
        : m_data(data)
        , m_track(track)
        , m_keyOffset(track.stss.count > 0 && big32(data, track.stss.entries) > 0 ? 1 : 0)
    {
    }

    Raw next()
    {
        const Track& t = m_track;
        while (m_left == 0) {
            m_offset = t.co64 ? static_cast<std::int64_t>(readBig(&m_data[t.chunks.entries + m_chunk * 8], 8))
                              : big32(m_data, t.chunks.entries + m_chunk * 4);
            while (m_stsc + 1 < t.stsc.count && m_chunk + 1 == big32(m_data, t.stsc.entries + (m_stsc + 1) * 12))
                ++m_stsc;
            m_left = big32(m_data, t.stsc.entries + m_stsc * 12 + 4);
            ++m_chunk;
            m_chunkEnd = m_offset;
            for (std::uint32_t i = 0; i < m_left && m_sample + i < t.sizes.count; ++i)
                m_chunkEnd
                    += t.size ? t.size : big32(m_data, t.sizes.entries + static_cast<std::size_t>(m_sample + i) * 4);
        }
        Raw raw;
        raw.pos = m_offset;
        raw.size = static_cast<int>(
            t.size ? t.size : big32(m_data, t.sizes.entries + static_cast<std::size_t>(m_sample) * 4));
        raw.dts = m_dts;
        raw.chunkEnd = m_chunkEnd;
        raw.delta = big32(m_data, t.stts.entries + m_stts * 8 + 4);
        while (m_ctts < t.ctts.count && big32(m_data, t.ctts.entries + m_ctts * 8) == 0)
            ++m_ctts; // an empty run
        if (m_ctts < t.ctts.count) {
            raw.composition = static_cast<std::int32_t>(big32(m_data, t.ctts.entries + m_ctts * 8 + 4));
            if (++m_cttsTaken == big32(m_data, t.ctts.entries + m_ctts * 8)) {
                ++m_ctts;
                m_cttsTaken = 0;
            }
        }
        if (!t.stss.present) {
            raw.key = true;
        } else if (t.stss.count == 0) {
            raw.key = t.audio || m_sample == 0;
        } else if (m_sample + m_keyOffset == big32(m_data, t.stss.entries + m_stss * 4)) {
            raw.key = true;
            if (m_stss + 1 < t.stss.count)
                ++m_stss;
        }
        if (static_cast<std::uint32_t>(m_sample) < t.sdtpCount)
            raw.disposable = (m_data[t.sdtp + static_cast<std::size_t>(m_sample)] >> 2 & 3) == 2;
        m_offset += raw.size;
        m_dts += raw.delta;
        --m_left;
        ++m_sample;
        if (m_stts + 1 < t.stts.count && ++m_sttsTaken == big32(m_data, t.stts.entries + m_stts * 8)) {
            m_sttsTaken = 0;
            ++m_stts;
        }
        return raw;
    }

private:
    const Bytes& m_data;
    const Track& m_track;
    std::uint32_t m_keyOffset;
    std::int64_t m_sample = 0;
    std::uint32_t m_chunk = 0;
    std::uint32_t m_left = 0;
    std::uint32_t m_stsc = 0;
    std::int64_t m_offset = 0;
    std::int64_t m_chunkEnd = 0;
    std::uint32_t m_stts = 0;
    std::uint32_t m_sttsTaken = 0;
    std::int64_t m_dts = 0;
    std::uint32_t m_ctts = 0;
    std::uint32_t m_cttsTaken = 0;
    std::uint32_t m_stss = 0;
};

// Whether the edit drops `raw` (it lies outside it), and how far a sample the edit starts inside is cut
// into: the reader keeps such an audio sample and has the decoder skip its start.
struct Edited {
    bool discard = false;
    std::int64_t cutInto = 0;
};

Edited edit(const Track& t, const Raw& raw, bool last)
{
    if (!t.edited)
        return {};
    const std::int64_t shown = raw.dts + raw.composition;
    if (shown >= t.media && shown < t.editEnd)
        return {};
    const std::int64_t length = last ? t.editEnd - t.media : raw.delta;
    if (t.audio && !t.vorbis && shown < t.media && shown + length > t.media)
        return { false, t.media - shown };
    return { true, 0 };
}

bool parseTrack(const Bytes& data, const Box& trakBox, Track& t)
{
    const auto trak = inside(data, &trakBox);
    if (!trak || !find(*trak, "tkhd"))
        return false;
    const auto id = trackIdOf(data, *find(*trak, "tkhd"));
    const auto mdia = inside(data, find(*trak, "mdia"));
    const auto minf = mdia ? inside(data, find(*mdia, "minf")) : std::nullopt;
    const auto stbl = minf ? inside(data, find(*minf, "stbl")) : std::nullopt;
    const Box* mdhd = mdia ? find(*mdia, "mdhd") : nullptr;
    if (!id || !stbl || !mdhd || mdhd->size < 24)
        return false;
    t.id = *id;
    const bool long_ = data[mdhd->payload] == 1;
    if (long_ && mdhd->size < 36)
        return false;
    t.scale = big32(data, mdhd->payload + (long_ ? 20 : 12));
    t.mdhdDuration
        = long_ ? static_cast<std::int64_t>(readBig(&data[mdhd->payload + 24], 8)) : big32(data, mdhd->payload + 16);
    if (t.scale <= 0)
        return false;

    // Media in this file only, one sample description, nothing encrypted.
    const auto dinf = inside(data, find(*minf, "dinf"));
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
    const Box* stsd = find(*stbl, "stsd");
    if (!stsd || stsd->size < 16 || big32(data, stsd->payload + 4) != 1)
        return false;
    if (std::memcmp(&data[stsd->payload + 12], "enc", 3) == 0)
        return false;
    for (const char* unfollowed : { "stz2", "stps", "senc", "saiz", "saio", "stsh", "padb" }) {
        if (find(*stbl, unfollowed))
            return false;
    }
    for (const Box& box : *stbl) {
        // Sample groups that make keyframes.
        if (box.is("sbgp") && box.size >= 8
            && (std::memcmp(&data[box.payload + 4], "rap ", 4) == 0
                || std::memcmp(&data[box.payload + 4], "sync", 4) == 0))
            return false;
    }

    const auto stts = tableOf(data, find(*stbl, "stts"), 8, 8);
    const auto ctts = tableOf(data, find(*stbl, "ctts"), 8, 8);
    const auto stss = tableOf(data, find(*stbl, "stss"), 8, 4);
    const auto stsc = tableOf(data, find(*stbl, "stsc"), 8, 12);
    const Box* stszBox = find(*stbl, "stsz");
    t.co64 = find(*stbl, "co64") != nullptr;
    const auto chunks = tableOf(data, find(*stbl, t.co64 ? "co64" : "stco"), 8, t.co64 ? 8 : 4);
    if (!stts || !ctts || !stss || !stsc || !chunks || !stszBox || stszBox->size < 12)
        return false;
    // A size for all samples of sound is raw audio, which the reader takes a chunk at a time.
    const Box* hdlr = find(*mdia, "hdlr");
    if (!hdlr || hdlr->size < 12)
        return false;
    t.size = big32(data, stszBox->payload + 4);
    if (t.size != 0 && std::memcmp(&data[hdlr->payload + 8], "soun", 4) == 0)
        return false;
    const auto sizes
        = t.size ? std::optional(Table { 0, big32(data, stszBox->payload + 8), true }) : tableOf(data, stszBox, 12, 4);
    if (!sizes)
        return false;
    t.stts = *stts;
    t.ctts = *ctts;
    t.stss = *stss;
    t.stsc = *stsc;
    t.chunks = *chunks;
    t.sizes = *sizes;
    if (const Box* sdtp = find(*stbl, "sdtp"); sdtp && sdtp->size >= 4) {
        t.sdtp = sdtp->payload + 4;
        t.sdtpCount = static_cast<std::uint32_t>(sdtp->size - 4);
    }

    // Tables the reader takes as they are: counts that add up, no step backwards in time.
    const std::uint32_t samples = t.sizes.count;
    if (samples > 0 && (t.stts.count == 0 || t.stsc.count == 0 || t.chunks.count == 0))
        return false;
    std::int64_t timed = 0;
    for (std::uint32_t e = 0; e < t.stts.count; ++e) {
        const std::uint32_t count = big32(data, t.stts.entries + e * 8);
        const std::uint32_t delta = big32(data, t.stts.entries + e * 8 + 4);
        // A sample that takes no time has the reader guess its length, unless it is the last.
        if (count == 0 || count >= bigCount || delta >= bigCount || (delta == 0 && (e + 1 < t.stts.count || count > 1)))
            return false;
        timed += count;
    }
    if (timed != samples)
        return false;
    if (t.ctts.present) {
        std::int64_t offsets = 0;
        for (std::uint32_t e = 0; e < t.ctts.count; ++e) {
            const std::uint32_t count = big32(data, t.ctts.entries + e * 8);
            const auto offset = static_cast<std::int32_t>(big32(data, t.ctts.entries + e * 8 + 4));
            if (count >= bigCount || offset <= -(1 << 28) || offset >= (1 << 28))
                return false;
            offsets += count;
        }
        if (offsets < samples)
            return false;
    }
    std::uint32_t previous = 0;
    std::int64_t inChunks = 0;
    for (std::uint32_t e = 0; e < t.stsc.count; ++e) {
        const std::uint32_t first = big32(data, t.stsc.entries + e * 12);
        const std::uint32_t count = big32(data, t.stsc.entries + e * 12 + 4);
        const std::uint32_t next
            = e + 1 < t.stsc.count ? big32(data, t.stsc.entries + (e + 1) * 12) : t.chunks.count + 1;
        if (first <= previous || first > t.chunks.count || count == 0 || count >= bigCount
            || big32(data, t.stsc.entries + e * 12 + 8) != 1 || next <= first)
            return false;
        inChunks += static_cast<std::int64_t>(next - first) * count;
        previous = first;
    }
    if (samples > 0 && inChunks != samples)
        return false;

    // At most one edit, after an empty one.
    if (const auto edts = inside(data, find(*trak, "edts"))) {
        if (const Box* elst = find(*edts, "elst"); elst && elst->size >= 8) {
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
        }
    }
    return true;
}

void putBig(Bytes& out, std::uint64_t value, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A box of `type` around `payload`.
void putBox(Bytes& out, const char* type, const Bytes& payload)
{
    putBig(out, payload.size() + 8, 4);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
}

// Run-length entries (count, value) of `table` covering the first `keep` samples.
Bytes shortRuns(const Bytes& data, const Box& box, std::uint32_t keep)
{
    Bytes out(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
        data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8));
    std::uint32_t entries = 0;
    std::uint32_t covered = 0;
    const std::uint32_t count = big32(data, box.payload + 4);
    for (std::uint32_t e = 0; e < count && covered < keep; ++e) {
        const std::uint32_t n = std::min(big32(data, box.payload + 8 + e * 8), keep - covered);
        putBig(out, n, 4);
        putBig(out, big32(data, box.payload + 8 + e * 8 + 4), 4);
        covered += n;
        ++entries;
    }
    AV_WB32(&out[4], entries);
    return out;
}

// The sample tables of an "stbl" box, each cut after the chunk that holds sample `keep`: a chunk holding
// more samples than the sizes table lists would stop the reader's index short.
Bytes shortTables(const Bytes& data, const Box& stblBox, std::uint32_t keep)
{
    const auto stbl = inside(data, &stblBox);
    const Box* stsc = find(*stbl, "stsc");
    const bool co64 = find(*stbl, "co64") != nullptr;
    const Box* chunks = find(*stbl, co64 ? "co64" : "stco");
    std::uint32_t chunkCount = 0;
    std::uint32_t stscEntries = 0;
    const std::uint32_t allChunks = big32(data, chunks->payload + 4);
    const std::uint32_t stscCount = big32(data, stsc->payload + 4);
    const std::uint32_t samples = big32(data, find(*stbl, "stsz")->payload + 8);
    std::uint64_t covered = 0;
    while (chunkCount < allChunks && covered < keep) {
        while (stscEntries < stscCount && big32(data, stsc->payload + 8 + stscEntries * 12) <= chunkCount + 1)
            ++stscEntries;
        covered += big32(data, stsc->payload + 8 + (stscEntries - 1) * 12 + 4);
        ++chunkCount;
    }
    keep = static_cast<std::uint32_t>(std::min<std::uint64_t>(covered, samples));
    Bytes out;
    for (const Box& box : *stbl) {
        Bytes payload;
        const auto whole = [&] {
            return Bytes(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + box.size));
        };
        if (box.is("stsz")) {
            const bool each = big32(data, box.payload + 4) == 0;
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 12 + (each ? std::size_t(keep) * 4 : 0)));
            AV_WB32(&payload[8], keep);
        } else if (box.is("stts") || box.is("ctts")) {
            payload = shortRuns(data, box, keep);
        } else if (box.is("stss")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8));
            std::uint32_t n = 0;
            const std::uint32_t count = big32(data, box.payload + 4);
            while (n < count && big32(data, box.payload + 8 + n * 4) <= keep)
                putBig(payload, big32(data, box.payload + 8 + n++ * 4), 4);
            AV_WB32(&payload[4], n);
        } else if (&box == chunks) {
            const std::size_t entry = co64 ? 8 : 4;
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8 + chunkCount * entry));
            AV_WB32(&payload[4], chunkCount);
        } else if (box.is("stsc")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + 8 + stscEntries * 12));
            AV_WB32(&payload[4], stscEntries);
        } else if (box.is("sdtp")) {
            payload.assign(data.begin() + static_cast<std::ptrdiff_t>(box.payload),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + std::min<std::size_t>(box.size, 4 + keep)));
        } else {
            payload = whole();
        }
        putBox(out, box.type, payload);
    }
    return out;
}

// The boxes of [from, to) with every "stbl" inside shortened.
Bytes shortened(const Bytes& data, std::size_t from, std::size_t to, std::uint32_t keep)
{
    Bytes out;
    const auto boxes = children(data, from, to);
    for (const Box& box : *boxes) {
        if (box.is("trak") || box.is("mdia") || box.is("minf")) {
            putBox(out, box.type, shortened(data, box.payload, box.payload + box.size, keep));
        } else if (box.is("stbl")) {
            putBox(out, box.type, shortTables(data, box, keep));
        } else {
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(box.at),
                data.begin() + static_cast<std::ptrdiff_t>(box.payload + box.size));
        }
    }
    return out;
}

} // namespace

namespace {

// The decoding time in the tables of sample `i`.
std::int64_t rawDts(const Bytes& data, const Track& t, std::int64_t i)
{
    const auto run = std::upper_bound(t.runSample.begin(), t.runSample.end(), i) - t.runSample.begin() - 1;
    const auto e = static_cast<std::size_t>(run);
    return t.runDts[e] + (i - t.runSample[e]) * big32(data, t.stts.entries + e * 8 + 4);
}

} // namespace

Mp4Index::~Mp4Index() = default;

std::unique_ptr<Mp4Index> Mp4Index::read(const std::string& path)
{
    auto moov = readMoov(path);
    if (!moov)
        return nullptr;
    std::unique_ptr<Mp4Index> index(new Mp4Index);
    index->m_moov = std::move(*moov);
    const Bytes& data = index->m_moov.payload;
    const auto top = children(data, 0, data.size());
    if (!top || find(*top, "mvex") || !find(*top, "mvhd"))
        return nullptr;
    const Box& mvhd = *find(*top, "mvhd");
    if (mvhd.size < 24)
        return nullptr;
    index->m_movieScale = big32(data, mvhd.payload + (data[mvhd.payload] == 1 ? 20 : 12));
    if (index->m_movieScale <= 0)
        return nullptr;
    for (const Box& box : *top) {
        if (!box.is("trak"))
            continue;
        auto track = std::make_unique<Track>();
        if (!parseTrack(data, box, *track))
            return nullptr;
        for (const auto& other : index->m_tracks) {
            if (other->id == track->id)
                return nullptr;
        }
        index->m_tracks.push_back(std::move(track));
    }
    return index->m_tracks.empty() ? nullptr : std::move(index);
}

std::int64_t Mp4Index::moovAt() const { return m_moov.at; }

std::int64_t Mp4Index::moovSize() const { return m_moov.size; }

Bytes Mp4Index::shortMoov(std::uint32_t keep)
{
    bool longer = false;
    for (const auto& track : m_tracks) {
        // Cut after the chunk that holds sample `keep` (see shortTables).
        Cursor cursor(m_moov.payload, *track);
        std::int64_t chunkEnd = -1;
        track->cut = false;
        for (std::uint32_t i = 0; i < track->sizes.count && !track->cut; ++i) {
            const Raw raw = cursor.next();
            track->cut = i >= keep && raw.chunkEnd != chunkEnd;
            chunkEnd = raw.chunkEnd;
        }
        longer = longer || track->cut;
    }
    if (!longer)
        return {};
    Bytes moov;
    putBox(moov, "moov", shortened(m_moov.payload, 0, m_moov.payload.size(), keep));
    const std::int64_t room = m_moov.size - static_cast<std::int64_t>(moov.size());
    if (room < 8 || room > UINT32_MAX)
        return {};
    // The free box's header; what it holds reads as zeros (ShortenedMoov).
    putBig(moov, static_cast<std::uint64_t>(room), 4);
    moov.insert(moov.end(), { 'f', 'r', 'e', 'e' });
    return moov;
}

bool Mp4Index::bind(AVFormatContext* in)
{
    m_in = in;
    const Bytes& data = m_moov.payload;
    std::size_t bound = 0;
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        const auto found
            = std::find_if(m_tracks.begin(), m_tracks.end(), [&](const auto& track) { return track->id == st->id; });
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        if (found == m_tracks.end() || (*found)->stream >= 0)
            return false;
        Track& t = **found;
        t.stream = static_cast<int>(s);
        ++bound;
        const AVCodecParameters* par = st->codecpar;
        t.audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
        t.video = par->codec_type == AVMEDIA_TYPE_VIDEO;
        t.aac = par->codec_id == AV_CODEC_ID_AAC;
        t.vorbis = par->codec_id == AV_CODEC_ID_VORBIS;
        t.skipped = st->discard == AVDISCARD_ALL;
        // Codecs whose packets the reader makes other than one a sample, or gives more than the sample.
        for (const AVCodecID odd : { AV_CODEC_ID_EIA_608, AV_CODEC_ID_DVVIDEO, AV_CODEC_ID_DVAUDIO })
            if (par->codec_id == odd)
                return false;
        if (t.video && par->bits_per_coded_sample > 0 && par->bits_per_coded_sample <= 8)
            return false; // a palette may come with the first packet
        if (t.ctts.present && !t.video)
            return false;

        for (std::uint32_t e = 0; e + 2 < t.ctts.count; ++e)
            t.dtsShift = std::max<std::int64_t>(
                t.dtsShift, -static_cast<std::int32_t>(big32(data, t.ctts.entries + e * 8 + 4)));
        if (t.edited) {
            t.empty = av_rescale(t.emptyEdit, t.scale, m_movieScale);
            t.media = t.editMedia;
            const std::int64_t length = av_rescale(t.editDuration, t.scale, m_movieScale);
            t.editEnd = t.media + (length > INT64_MAX - t.media ? 0 : length);
        }

        // Run through the samples as the reader arranges its index for the edit.
        const std::int64_t samples = t.sizes.count;
        Cursor cursor(data, t);
        bool started = !t.edited;
        bool keyAfterEdit = false;
        bool stopped = false;
        std::int64_t counter = t.empty - t.dtsShift;
        std::int64_t firstShown = -1;
        std::int64_t timed = 0;
        t.offset = -t.dtsShift;
        t.kept = t.edited ? 0 : samples;
        for (std::int64_t i = 0; i < samples; ++i) {
            const Raw raw = cursor.next();
            t.bytes += static_cast<std::uint64_t>(raw.size);
            timed += raw.delta;
            t.lastDelta = raw.delta;
            if (!t.edited || stopped)
                continue;
            const bool last = i + 1 == samples;
            const std::int64_t length = last ? t.editEnd - t.media : raw.delta;
            const std::int64_t shown = raw.dts + raw.composition;
            const Edited edited = edit(t, raw, last);
            if (edited.cutInto > 0) {
                t.skip += edited.cutInto;
                counter -= edited.cutInto;
            } else if (edited.discard && !started && t.audio && !t.vorbis) {
                t.skip += length;
            }
            if (!started && !edited.discard) {
                started = true;
                t.offset = counter - raw.dts;
            }
            if (!edited.discard && edited.cutInto == 0) {
                const std::int64_t pts = counter + raw.composition + t.dtsShift;
                firstShown = firstShown < 0 ? pts : std::min(firstShown, pts);
            }
            if (started)
                counter += length;
            t.kept = i + 1;
            if (shown + length >= t.editEnd && (raw.key || t.audio)) {
                if (t.ctts.present && !keyAfterEdit) {
                    keyAfterEdit = true;
                    continue;
                }
                stopped = true; // the rest is not read
            }
        }
        if (!started)
            return false;
        if (t.video && firstShown - t.empty > 0)
            t.offset -= firstShown - t.empty;
        // The stream's duration as the whole tables would leave it.
        t.duration = std::min<std::int64_t>(t.mdhdDuration, timed > 0 ? timed : t.mdhdDuration);
        if (t.edited)
            t.duration = std::min(t.duration, t.editEnd - t.media + t.empty);
        if (!t.aac)
            t.skip = 0;
        if (t.kept > 0 && t.video && t.lastDelta <= 0)
            return false;

        for (std::uint32_t e = 0, first = 0; e < t.stts.count; ++e) {
            t.runSample.push_back(first);
            first += big32(data, t.stts.entries + e * 8);
        }
        t.runDts.reserve(t.runSample.size());
        for (std::size_t e = 0, dts = 0; e < t.runSample.size(); ++e) {
            t.runDts.push_back(static_cast<std::int64_t>(dts));
            dts += static_cast<std::size_t>(big32(data, t.stts.entries + e * 8))
                * big32(data, t.stts.entries + e * 8 + 4);
        }

        // What libavformat listed of the shortened tables must be what we list.
        const int listed = avformat_index_get_entries_count(st);
        const bool whole = !t.cut;
        if (whole && listed != t.kept)
            return false;
        Cursor check(data, t);
        const std::int64_t compared = whole ? listed : std::max(0, listed - 1);
        for (std::int64_t i = 0; i < compared; ++i) {
            const Raw raw = check.next();
            const AVIndexEntry* entry = avformat_index_get_entry(st, static_cast<int>(i));
            const Edited edited = edit(t, raw, i + 1 == samples);
            const int flags = (raw.key ? AVINDEX_KEYFRAME : 0) | (edited.discard ? AVINDEX_DISCARD_FRAME : 0);
            if (entry->pos != raw.pos || entry->size != raw.size || entry->timestamp != raw.dts + t.offset
                || (entry->flags & (AVINDEX_KEYFRAME | AVINDEX_DISCARD_FRAME)) != flags)
                return false;
        }
        if (!whole && (listed < 2 || t.kept <= listed))
            return false;
        if (!t.video && t.kept > 0 && t.duration - (rawDts(data, t, t.kept - 1) + t.offset) <= 0)
            return false; // a last sample the reader would guess the length of

        // What libavformat found in the shortened tables, as the whole ones have it.
        st->nb_frames = samples;
        st->duration = t.duration;
        if (t.video && samples > 0 && timed > 0)
            av_reduce(&st->avg_frame_rate.num, &st->avg_frame_rate.den, t.scale * samples, timed, INT_MAX);
        const std::int64_t before = std::min<std::int64_t>(t.mdhdDuration, timed > 0 ? timed : t.mdhdDuration);
        if (before > 0)
            st->codecpar->bit_rate = static_cast<std::int64_t>(
                t.bytes * 8 * static_cast<std::uint64_t>(t.scale) / static_cast<std::uint64_t>(before));
    }
    return bound == m_tracks.size();
}

struct Mp4Index::Reading {
    struct Place {
        const Track* track;
        Cursor cursor;
        std::int64_t i = 0;
        Raw raw;
    };
    std::vector<Place> places; // in the order of the streams
};

bool Mp4Index::next(Mp4Sample& sample)
{
    if (!m_reading) {
        m_reading = std::make_unique<Reading>();
        for (unsigned s = 0; s < m_in->nb_streams; ++s) {
            if (const Track* t = trackOf(static_cast<int>(s))) {
                m_reading->places.push_back({ t, Cursor(m_moov.payload, *t), 0, {} });
                if (t->kept > 0)
                    m_reading->places.back().raw = m_reading->places.back().cursor.next();
            }
        }
    }
    for (;;) {
        // As libavformat's reader picks: the sample decoded first, unless another decoded within a second
        // of it lies before it in the file.
        Reading::Place* best = nullptr;
        std::int64_t bestDts = INT64_MAX;
        for (Reading::Place& place : m_reading->places) {
            if (place.i >= place.track->kept)
                continue;
            const std::int64_t dts = av_rescale(place.raw.dts + place.track->offset, AV_TIME_BASE, place.track->scale);
            const std::uint64_t apart = bestDts > dts
                ? static_cast<std::uint64_t>(bestDts) - static_cast<std::uint64_t>(dts)
                : static_cast<std::uint64_t>(dts) - static_cast<std::uint64_t>(bestDts);
            if (!best || (apart <= AV_TIME_BASE && place.raw.pos < best->raw.pos)
                || (apart > AV_TIME_BASE && dts < bestDts)) {
                best = &place;
                bestDts = dts;
            }
        }
        if (!best)
            return false;
        const Track& t = *best->track;
        const Raw& raw = best->raw;
        const bool last = best->i + 1 == t.kept;
        sample.stream = t.stream;
        sample.pos = raw.pos;
        sample.size = raw.size;
        sample.chunkEnd = raw.chunkEnd;
        sample.dts = raw.dts + t.offset;
        sample.pts = t.ctts.present ? sample.dts + t.dtsShift + raw.composition : sample.dts;
        sample.duration = !last ? raw.delta : t.video ? t.lastDelta : t.duration - sample.dts;
        sample.flags = (raw.key ? AV_PKT_FLAG_KEY : 0) | (raw.disposable ? AV_PKT_FLAG_DISPOSABLE : 0)
            | (edit(t, raw, best->i + 1 == static_cast<std::int64_t>(t.sizes.count)).discard ? AV_PKT_FLAG_DISCARD : 0);
        sample.skipSamples = best->i == 0 ? static_cast<int>(t.skip) : 0;
        if (++best->i < t.kept)
            best->raw = best->cursor.next();
        if (!t.skipped)
            return true;
    }
}

const Track* Mp4Index::trackOf(int stream) const
{
    for (const auto& track : m_tracks) {
        if (track->stream == stream)
            return track.get();
    }
    return nullptr;
}

std::int64_t Mp4Index::count(int stream) const
{
    const Track* t = trackOf(stream);
    return t ? t->kept : 0;
}

std::int64_t Mp4Index::samplesBefore(int stream, std::int64_t time, AVRational base) const
{
    const Track* t = trackOf(stream);
    if (!t)
        return 0;
    const AVRational own { 1, static_cast<int>(t->scale) };
    std::int64_t low = 0;
    std::int64_t high = t->kept;
    while (low < high) {
        const std::int64_t mid = low + (high - low) / 2;
        if (av_rescale_q(rawDts(m_moov.payload, *t, mid) + t->offset, own, base) < time)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

std::int64_t Mp4Index::videoDuration(int stream, std::int64_t dts) const
{
    const Track* t = trackOf(stream);
    if (!t || !t->video || t->kept == 0)
        return 0;
    const std::int64_t raw = dts - t->offset;
    const auto run = std::upper_bound(t->runDts.begin(), t->runDts.end(), raw) - t->runDts.begin() - 1;
    if (run < 0)
        return 0;
    const auto e = static_cast<std::size_t>(run);
    const std::int64_t delta = big32(m_moov.payload, t->stts.entries + e * 8 + 4);
    if (delta <= 0 || (raw - t->runDts[e]) % delta != 0)
        return 0;
    const std::int64_t i = t->runSample[e] + (raw - t->runDts[e]) / delta;
    if (i >= t->kept)
        return 0;
    return i + 1 == t->kept ? t->lastDelta : delta;
}

void Mp4Index::forEach(int stream, const std::function<void(const IndexedSample&)>& take) const
{
    const Track* t = trackOf(stream);
    if (!t)
        return;
    Cursor cursor(m_moov.payload, *t);
    for (std::int64_t i = 0; i < t->kept; ++i) {
        const Raw raw = cursor.next();
        const std::int64_t dts = raw.dts + t->offset;
        take({ dts, t->ctts.present ? dts + t->dtsShift + raw.composition : dts, raw.key,
            edit(*t, raw, i + 1 == static_cast<std::int64_t>(t->sizes.count)).discard, raw.pos, raw.size, {} });
    }
}

namespace {

int readShortened(void* opaque, std::uint8_t* buffer, int size)
{
    return static_cast<ShortenedMoov*>(opaque)->readIn(buffer, size);
}

std::int64_t seekShortened(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<ShortenedMoov*>(opaque)->seek(offset, whence);
}

} // namespace

ShortenedMoov::ShortenedMoov(const std::string& path, std::int64_t at, std::int64_t length, Bytes bytes)
    : m_file(SystemFile::openForReading(path))
    , m_at(at)
    , m_length(bytes.empty() ? 0 : length)
    , m_bytes(std::move(bytes))
{
    m_size = m_file.isOpen() ? m_file.regularFileSize() : -1;
    if (m_size >= m_at + m_length && m_length >= static_cast<std::int64_t>(m_bytes.size()))
        m_io = newIoContext(32 * 1024, this, readShortened, nullptr, seekShortened);
}

int ShortenedMoov::readIn(std::uint8_t* buffer, int size)
{
    if (m_pos >= m_size)
        return AVERROR_EOF;
    const std::int64_t given = m_at + static_cast<std::int64_t>(m_bytes.size());
    if (m_pos >= m_at && m_pos < m_at + m_length) {
        const int n = static_cast<int>(std::min<std::int64_t>(size, (m_pos < given ? given : m_at + m_length) - m_pos));
        if (m_pos < given)
            std::memcpy(buffer, m_bytes.data() + (m_pos - m_at), static_cast<std::size_t>(n));
        else
            std::memset(buffer, 0, static_cast<std::size_t>(n));
        m_pos += n;
        return n;
    }
    // Up to the replaced bytes, not into them.
    const std::int64_t limit = m_pos < m_at ? m_at - m_pos : size;
    const int got = m_file.readSome(buffer, static_cast<int>(std::min<std::int64_t>(size, limit)), m_pos);
    if (got > 0)
        m_pos += got;
    return got;
}

std::int64_t ShortenedMoov::seek(std::int64_t offset, int whence)
{
    const std::int64_t to = seekTarget(offset, whence, m_pos, m_size);
    if (to >= 0 && !(whence & AVSEEK_SIZE))
        m_pos = to;
    return to;
}

} // namespace quorvane::splitter
