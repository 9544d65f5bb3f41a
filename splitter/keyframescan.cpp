// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/keyframescan.h"

#include "splitter/compositionoffsets.h"

#include <algorithm>
#include <optional>

namespace quorvane::splitter {

namespace {

std::int64_t toRef(const AVFormatContext* in, const MediaLayout& layout, std::int64_t time, int stream)
{
    return av_rescale_q(time, in->streams[stream]->time_base, layout.refBase);
}

bool indexListsEverySample(const AVFormatContext* in, const MediaLayout& layout)
{
    const std::string demuxer = in->iformat->name;
    return demuxer.find("mp4") != std::string::npos && demuxer.find("mov") != std::string::npos
        && avformat_index_get_entries_count(in->streams[layout.ref]) > 0;
}

} // namespace

std::int64_t indexDuration(const KeyframeScan& scan, const AVPacket* packet)
{
    const auto stream = static_cast<std::size_t>(packet->stream_index);
    if (stream >= scan.videoDts.size() || packet->dts == AV_NOPTS_VALUE)
        return 0;
    const std::vector<std::int64_t>& dts = scan.videoDts[stream];
    auto at = std::lower_bound(dts.begin(), dts.end(), packet->dts);
    if (at == dts.end() || *at != packet->dts)
        return 0;
    at = std::upper_bound(at, dts.end(), packet->dts);
    return at == dts.end() ? scan.videoLastDuration[stream] : *at - packet->dts;
}

// The MP4 family's index holds every sample of every track: no pass over the media data is needed. The
// index gives decoding times; presentation times add each sample's own composition offset, read from the
// track's table, since it varies from frame to frame in files with B-frames and a varying frame rate.
std::optional<KeyframeScan> scanIndex(
    AVFormatContext* in, const MediaLayout& layout, const std::string& path, bool openCuts)
{
    if (!indexListsEverySample(in, layout))
        return std::nullopt;
    AVStream* ref = in->streams[layout.ref];
    const int count = avformat_index_get_entries_count(ref);
    const auto composition = readCompositionOffsets(path, ref->id);
    if (!composition || composition->offsets.size() != static_cast<std::size_t>(count))
        return std::nullopt; // an index rebuilt by an edit list, or a fragmented file: read the packets
    const std::vector<std::int64_t>& offsets = composition->offsets;

    KeyframeScan scan;
    scan.times.assign(in->nb_streams, {});
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        const int entries = avformat_index_get_entries_count(st);
        auto& times = scan.times[s];
        times.reserve(static_cast<std::size_t>(entries));
        for (int e = 0; e < entries; ++e)
            times.push_back(toRef(in, layout, avformat_index_get_entry(st, e)->timestamp, static_cast<int>(s)));
        std::sort(times.begin(), times.end());
    }
    scan.referencePackets = count;
    scan.videoDts.assign(in->nb_streams, {});
    scan.videoLastDuration.assign(in->nb_streams, 0);
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (static_cast<int>(s) == layout.ref) {
            scan.videoLastDuration[s] = composition->lastDuration;
        } else if (const auto other = readCompositionOffsets(path, st->id)) {
            scan.videoLastDuration[s] = other->lastDuration;
        }
        auto& dts = scan.videoDts[s];
        const int entries = avformat_index_get_entries_count(st);
        dts.reserve(static_cast<std::size_t>(entries));
        for (int e = 0; e < entries; ++e)
            dts.push_back(avformat_index_get_entry(st, e)->timestamp);
        std::sort(dts.begin(), dts.end());
    }

    // The demuxer shows each sample at its index time plus its own offset plus the track's decoding shift.
    std::vector<std::int64_t> shown;
    std::vector<bool> key;
    std::vector<std::int64_t> keyPts;
    std::vector<std::int64_t> keyDts;
    for (int e = 0; e < count; ++e) {
        const AVIndexEntry* entry = avformat_index_get_entry(ref, e);
        if (entry->flags & AVINDEX_DISCARD_FRAME)
            continue;
        const std::int64_t pts = entry->timestamp + composition->decodeShift + offsets[static_cast<std::size_t>(e)];
        shown.push_back(pts);
        key.push_back((entry->flags & AVINDEX_KEYFRAME) != 0);
        if (!key.back())
            continue;
        keyPts.push_back(toRef(in, layout, pts, layout.ref));
        keyDts.push_back(toRef(in, layout, entry->timestamp, layout.ref));
    }
    scan.keys = startingKeyframes(shown, key, keyPts, keyDts, openCuts);
    if (scan.keys.pts.empty())
        return std::nullopt;

    scan.start = in->start_time != AV_NOPTS_VALUE ? av_rescale_q(in->start_time, AV_TIME_BASE_Q, layout.refBase)
                                                  : scan.keys.pts.front();
    scan.firstShown = ref->start_time != AV_NOPTS_VALUE ? ref->start_time : scan.keys.pts.front();
    scan.start = std::min(scan.start, scan.firstShown);
    scan.end = scan.start;
    if (in->duration != AV_NOPTS_VALUE)
        scan.end = scan.start + av_rescale_q(in->duration, AV_TIME_BASE_Q, layout.refBase);
    if (ref->duration != AV_NOPTS_VALUE && ref->start_time != AV_NOPTS_VALUE)
        scan.end = std::max(scan.end, ref->start_time + ref->duration);
    return scan;
}

} // namespace quorvane::splitter
