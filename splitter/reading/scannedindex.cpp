// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/scannedindex.h"

#include "splitter/bitstream/avcrestart.h"
#include "splitter/plan/leadingpictures.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace quorvane::splitter {

namespace {

class ScannedIndex final : public SampleIndex {
public:
    // Keeps nothing of `in`, which the caller opens again once it is read through.
    explicit ScannedIndex(const AVFormatContext* in)
        : m_streams(in->nb_streams)
    {
        for (unsigned i = 0; i < in->nb_streams; ++i) {
            const AVStream* st = in->streams[i];
            m_streams[i].timeBase = st->time_base;
            if (st->codecpar->codec_id == AV_CODEC_ID_H264)
                m_streams[i].pictures
                    = std::make_unique<AvcRestart>(st->codecpar->extradata, st->codecpar->extradata_size);
        }
    }

    void add(const AVPacket* packet)
    {
        // A stream found while the file is read (a transport stream's late programme) goes into no piece.
        if (static_cast<std::size_t>(packet->stream_index) >= m_streams.size())
            return;
        Stream& stream = m_streams[static_cast<std::size_t>(packet->stream_index)];
        // A picture the reader gives no decoding time (the first of a Matroska file's reordered ones) is
        // placed by its presentation time, as the pieces' router places it.
        const std::int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        IndexedSample sample { dts, packet->pts != AV_NOPTS_VALUE ? packet->pts : dts,
            (packet->flags & AV_PKT_FLAG_KEY) != 0, false, -1, packet->size, {} };
        // Its bytes are at hand now, and not at a place the index could give.
        if (sample.key && stream.pictures)
            sample.afresh = stream.pictures->canStartAfresh(packet->data, static_cast<std::size_t>(packet->size));
        stream.samples.push_back(sample);
        stream.ascending = stream.ascending && dts >= stream.latest;
        stream.latest = std::max(stream.latest, dts);
    }

    std::int64_t samplesBefore(int stream, std::int64_t time, AVRational base) const override
    {
        const Stream& s = m_streams[static_cast<std::size_t>(stream)];
        const std::int64_t t = av_rescale_q(time, base, s.timeBase);
        if (!s.ascending) // timestamps that step back (joined recordings): counted one by one
            return std::count_if(s.samples.begin(), s.samples.end(), [&](const IndexedSample& x) { return x.dts < t; });
        return std::lower_bound(s.samples.begin(), s.samples.end(), t, [](const IndexedSample& x, std::int64_t v) {
            return x.dts < v;
        }) - s.samples.begin();
    }
    // The reader gives these files' durations itself.
    std::int64_t videoDuration(int, std::int64_t) const override { return 0; }
    void forEach(int stream, const std::function<void(const IndexedSample&)>& take) const override
    {
        for (const IndexedSample& sample : m_streams[static_cast<std::size_t>(stream)].samples)
            take(sample);
    }
    std::int64_t count(int stream) const override
    {
        return static_cast<std::int64_t>(m_streams[static_cast<std::size_t>(stream)].samples.size());
    }

private:
    struct Stream {
        std::vector<IndexedSample> samples;
        std::int64_t latest = INT64_MIN;
        bool ascending = true;
        AVRational timeBase { 1, 1 };
        std::unique_ptr<AvcRestart> pictures; // H.264: which keyframes can start afresh
    };
    std::vector<Stream> m_streams;
};

} // namespace

bool opensWithOpenGroups(AVFormatContext* in, int stream)
{
    // Up to the third keyframe, so that the second one's leading pictures are read too: an encoder's first
    // group is closed, its second open where they all are.
    constexpr int keyframes = 3;
    constexpr int mostPackets = 4000;
    LeadingPictures group;
    int keys = 0;
    Packet packet = newPacket();
    for (int read = 0; read < mostPackets && av_read_frame(in, packet.get()) >= 0; ++read) {
        const bool isKey = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        const bool ours = packet->stream_index == stream && packet->pts != AV_NOPTS_VALUE;
        if (ours && isKey && ++keys == keyframes)
            break;
        if (ours)
            group.picture(packet->pts, isKey);
        av_packet_unref(packet.get());
    }
    return keys >= 2 && group.open(); // the second keyframe's group
}

std::unique_ptr<SampleIndex> scanSamples(AVFormatContext* in, const std::function<void(std::int64_t)>& progress)
{
    auto index = std::make_unique<ScannedIndex>(in);
    Packet packet = newPacket();
    int read = 0;
    while ((read = av_read_frame(in, packet.get())) >= 0) {
        index->add(packet.get());
        av_packet_unref(packet.get());
        if (progress && in->pb)
            progress(avio_tell(in->pb));
    }
    if (read != AVERROR_EOF)
        return nullptr;
    return index;
}

} // namespace quorvane::splitter
