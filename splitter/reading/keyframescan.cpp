// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/keyframescan.h"

#include <algorithm>
#include <optional>

namespace quorvane::splitter {

namespace {

std::int64_t toRef(const AVFormatContext* in, const MediaLayout& layout, std::int64_t time, int stream)
{
    return av_rescale_q(time, in->streams[stream]->time_base, layout.refBase);
}

} // namespace

std::int64_t indexDuration(const KeyframeScan& scan, const AVPacket* packet)
{
    if (!scan.samples || packet->dts == AV_NOPTS_VALUE)
        return 0;
    return scan.samples->videoDuration(packet->stream_index, packet->dts);
}

std::optional<KeyframeScan> scanIndex(const AVFormatContext* in, const MediaLayout& layout, const SampleIndex& samples)
{
    const AVStream* ref = in->streams[layout.ref];
    KeyframeScan scan;
    scan.samples = &samples;
    scan.referencePackets = samples.count(layout.ref);
    std::vector<std::int64_t> shown;
    std::vector<bool> key;
    std::vector<std::int64_t> keyPts;
    std::vector<std::int64_t> keyDts;
    shown.reserve(static_cast<std::size_t>(scan.referencePackets));
    samples.forEach(layout.ref, [&](const IndexedSample& sample) {
        if (sample.discard)
            return;
        shown.push_back(sample.pts);
        key.push_back(sample.key);
        if (!sample.key)
            return;
        keyPts.push_back(toRef(in, layout, sample.pts, layout.ref));
        keyDts.push_back(toRef(in, layout, sample.dts, layout.ref));
    });
    scan.keys = startingKeyframes(shown, key, keyPts, keyDts);
    if (scan.keys.pts.empty())
        return std::nullopt;

    scan.start = in->start_time != AV_NOPTS_VALUE ? av_rescale_q(in->start_time, AV_TIME_BASE_Q, layout.refBase)
                                                  : scan.keys.pts.front();
    scan.firstShown = ref->start_time != AV_NOPTS_VALUE ? ref->start_time : scan.keys.pts.front();
    scan.start = std::min(scan.start, scan.firstShown);
    scan.end = scan.start;
    if (in->duration != AV_NOPTS_VALUE)
        scan.end = scan.start + av_rescale_q(in->duration, AV_TIME_BASE_Q, layout.refBase);
    // The file's own duration is not enough: where libavformat was shown part of the index, FFmpeg 7 takes it
    // from what it was shown, FFmpeg 5 from the movie header. The streams' ends as the whole index has them
    // say the same on both.
    for (unsigned s = 0; s < std::min<unsigned>(in->nb_streams, static_cast<unsigned>(layout.streams.size())); ++s) {
        const AVStream* st = in->streams[s];
        const AVMediaType type = st->codecpar->codec_type;
        const std::int64_t duration = durationOf(layout, st);
        const StreamSlot& slot = layout.streams[s];
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || slot.cover || slot.output < 0
            || duration == AV_NOPTS_VALUE || st->start_time == AV_NOPTS_VALUE)
            continue;
        scan.end = std::max(scan.end, toRef(in, layout, st->start_time + duration, static_cast<int>(s)));
    }
    return scan;
}

} // namespace quorvane::splitter
