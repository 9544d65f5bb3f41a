// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/mp4index.h"

#include "splitter/reading/mp4track.h"
#include "splitter/reading/shortenedmoov.h"

#include <algorithm>

namespace quorvane::splitter {

using namespace mp4;

Mp4Index::~Mp4Index() = default;

std::unique_ptr<Mp4Index> Mp4Index::read(const std::string& path)
{
    auto moov = readMoov(path);
    return moov ? fromMoov(std::move(*moov)) : nullptr;
}

std::unique_ptr<Mp4Index> Mp4Index::fromMoov(Moov moov)
{
    std::unique_ptr<Mp4Index> index(new Mp4Index);
    index->m_moov = std::move(moov);
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
        const auto trak = walkTrak(data, box);
        auto tables = trak ? readSampleTables(data, *trak) : std::nullopt;
        if (!tables)
            return nullptr;
        // Samples of one size are counted, not listed: no more than the file can hold, or stepping through them
        // all would take minutes.
        const auto fileSize = static_cast<std::uint64_t>(index->m_moov.fileSize);
        if (tables->size != 0 && index->m_moov.fileSize >= 0
            && std::uint64_t { tables->size } * tables->sizes.count > fileSize)
            return nullptr;
        for (const auto& other : index->m_tracks) {
            if (other->id == tables->id)
                return nullptr;
        }
        auto track = std::make_unique<Mp4Track>();
        static_cast<SampleTables&>(*track) = std::move(*tables);
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
        // Cut after the chunk that holds sample `keep` (mp4::shortenedMoov).
        SampleCursor cursor = track->cursor(m_moov.payload);
        std::int64_t chunkEnd = -1;
        track->cut = false;
        for (std::uint32_t i = 0; i < track->sizes.count && !track->cut; ++i) {
            const RawSample raw = cursor.next();
            track->cut = i >= keep && raw.chunkEnd != chunkEnd;
            chunkEnd = raw.chunkEnd;
        }
        longer = longer || track->cut;
    }
    return longer ? shortenedMoov(m_moov, keep) : Bytes {};
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
        Mp4Track& t = **found;
        t.stream = static_cast<int>(s);
        ++bound;
        // What libavformat listed of the shortened tables must be what we list.
        if (!modelReading(data, t, st, m_movieScale) || !listsAsModelled(data, t, st))
            return false;

        t.declared = wholeTableValues(t, st);
        // The one value still given to the stream itself: libavformat's probing of the packets reads it (how many
        // make the seconds it probes), and so does the encoder of pictures made again.
        if (const auto rate = wholeFrameRate(t))
            st->avg_frame_rate = *rate;
    }
    return bound == m_tracks.size();
}

std::vector<DeclaredHeader> Mp4Index::declared() const
{
    std::vector<DeclaredHeader> headers(m_in ? m_in->nb_streams : 0);
    for (const auto& track : m_tracks) {
        if (track->stream >= 0)
            headers[static_cast<std::size_t>(track->stream)] = track->declared;
    }
    return headers;
}

struct Mp4Index::Reading {
    struct Place {
        const Mp4Track* track;
        SampleCursor cursor;
        std::int64_t i = 0;
        RawSample raw;
    };
    std::vector<Place> places; // in the order of the streams
};

bool Mp4Index::next(Mp4Sample& sample)
{
    if (!m_reading) {
        m_reading = std::make_unique<Reading>();
        for (unsigned s = 0; s < m_in->nb_streams; ++s) {
            if (const Mp4Track* t = trackOf(static_cast<int>(s))) {
                m_reading->places.push_back({ t, t->cursor(m_moov.payload), 0, {} });
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
        const Mp4Track& t = *best->track;
        const RawSample& raw = best->raw;
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

const Mp4Track* Mp4Index::trackOf(int stream) const
{
    for (const auto& track : m_tracks) {
        if (track->stream == stream)
            return track.get();
    }
    return nullptr;
}

std::int64_t Mp4Index::count(int stream) const
{
    const Mp4Track* t = trackOf(stream);
    return t ? t->kept : 0;
}

std::int64_t Mp4Index::samplesBefore(int stream, std::int64_t time, AVRational base) const
{
    const Mp4Track* t = trackOf(stream);
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
    const Mp4Track* t = trackOf(stream);
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
    const Mp4Track* t = trackOf(stream);
    if (!t)
        return;
    SampleCursor cursor = t->cursor(m_moov.payload);
    for (std::int64_t i = 0; i < t->kept; ++i) {
        const RawSample raw = cursor.next();
        const std::int64_t dts = raw.dts + t->offset;
        take({ dts, t->ctts.present ? dts + t->dtsShift + raw.composition : dts, raw.key,
            edit(*t, raw, i + 1 == static_cast<std::int64_t>(t->sizes.count)).discard, raw.pos, raw.size, {} });
    }
}

} // namespace quorvane::splitter
