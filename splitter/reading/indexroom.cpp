// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/indexroom.h"

#include <algorithm>
#include <cmath>

namespace quorvane::splitter {

std::int64_t moovReservation(const std::vector<std::int64_t>& samples, std::int64_t extra)
{
    // Per sample at most: size (4), time to sample (8), composition offset (8), sync sample (4), sample
    // dependency (1), sample group (8), and, when every sample is its own chunk, chunk offset (8) and sample
    // to chunk (12). The fixed boxes of a track take well under a KiB besides its codec header.
    constexpr std::int64_t perSample = 53;
    constexpr std::int64_t perTrack = 1024;
    std::int64_t total = 4096 + 2 * extra;
    for (const std::int64_t n : samples)
        total += perTrack + perSample * n;
    return total;
}

std::int64_t indexRoomFromIndex(const MediaLayout& layout, const SampleIndex& samples, const PlannedPiece& piece)
{
    // The samples of every track from a little before the piece to a little after.
    const std::int64_t margin = av_rescale_q(1, AVRational { 1, 1 }, layout.refBase);
    std::vector<std::int64_t> counts;
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        if (layout.streams[s].output < 0)
            continue;
        const int stream = static_cast<int>(s);
        counts.push_back(samples.samplesBefore(stream, piece.end + margin + 1, layout.refBase)
            - samples.samplesBefore(stream, piece.start - margin, layout.refBase));
    }
    return moovReservation(counts, layout.headerBytes);
}

std::int64_t indexRoomFromRates(const AVFormatContext* in, const MediaLayout& layout, double seconds)
{
    seconds += 2.0;
    std::vector<std::int64_t> samples;
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        if (layout.streams[s].output < 0)
            continue;
        const AVStream* st = in->streams[s];
        const AVCodecParameters* par = st->codecpar;
        double rate = 2.0; // subtitles and data: a few events a second at most
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            const AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            rate = r.num > 0 && r.den > 0 ? av_q2d(r) * 1.25 : 120.0;
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            rate = par->sample_rate > 0
                ? par->sample_rate / static_cast<double>(par->frame_size > 0 ? par->frame_size : 256)
                : 200.0;
        }
        samples.push_back(static_cast<std::int64_t>(std::ceil(std::min(rate, 1000.0) * seconds)));
    }
    return moovReservation(samples, layout.headerBytes);
}

} // namespace quorvane::splitter
