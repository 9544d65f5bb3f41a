// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/cutsharing.h"

#include "splitter/media/codecpolicy.h"
#include "splitter/media/containerfacts.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>

namespace quorvane::splitter {

bool sharedAtCuts(const AVStream* stream, const AVOutputFormat* pieces)
{
    const AVCodecParameters* par = stream->codecpar;
    const ContainerFacts& facts = containerFacts(pieces);
    return par->codec_type == AVMEDIA_TYPE_SUBTITLE
        || (par->codec_type == AVMEDIA_TYPE_AUDIO
            && (facts.editListHidesSamples || (facts.codecDelayHidesSamples && skipsSamplesAtStart(par->codec_id))));
}

int samplesBeforeCut(const AVPacket* packet, const AVStream* stream, std::int64_t cut)
{
    const int all = samplesIn(stream->codecpar, packet);
    const std::int64_t before
        = av_rescale_q(cut - packet->pts, stream->time_base, { 1, sampleClock(stream->codecpar) });
    return static_cast<int>(std::clamp<std::int64_t>(before, 0, all));
}

void dropSkipMarks(AVPacket* packet)
{
    // FFmpeg 5.1 has no call to remove one kind of side data.
    int kept = 0;
    for (int i = 0; i < packet->side_data_elems; ++i) {
        if (packet->side_data[i].type == AV_PKT_DATA_SKIP_SAMPLES)
            av_freep(&packet->side_data[i].data);
        else
            packet->side_data[kept++] = packet->side_data[i];
    }
    packet->side_data_elems = kept;
}

void markSkipped(AVPacket* packet, int start, int end)
{
    dropSkipMarks(packet);
    std::uint8_t* skip = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
    if (!skip)
        throw std::bad_alloc();
    AV_WL32(skip, static_cast<std::uint32_t>(start));
    AV_WL32(skip + 4, static_cast<std::uint32_t>(end));
    skip[8] = skip[9] = 0;
}

Packet splitAtCut(AVPacket* packet, const AVStream* stream, std::int64_t cut, const AVOutputFormat* pieces)
{
    if (packet->pts == AV_NOPTS_VALUE || packet->duration <= 0)
        return {};
    const std::int64_t endsAt = packet->pts + packet->duration;
    if (packet->pts >= cut || endsAt <= cut)
        return {};
    Packet rest = newPacket();
    if (av_packet_ref(rest.get(), packet) < 0)
        throw std::bad_alloc();
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        // An event that lasts past the cut ends there; its remainder opens the next piece, so no piece
        // outlasts its pictures and no event is lost. A DVD picture says itself when it stops.
        rest->pts = rest->dts = cut;
        rest->duration = endsAt - cut;
        const AVCodecID codec = stream->codecpar->codec_id;
        if (av_packet_make_writable(packet) < 0 || av_packet_make_writable(rest.get()) < 0)
            throw std::bad_alloc();
        const AVRational ticks { 1, 90000 };
        stopShowingAfter(codec, packet, av_rescale_q(cut - packet->pts, stream->time_base, ticks));
        stopShowingAfter(codec, rest.get(), av_rescale_q(rest->duration, stream->time_base, ticks));
    }
    // An audio frame is whole in both: the later piece starts it before its own start, which its edit list
    // (in Matroska its pre-skip) skips, and the earlier one shows it up to the cut.
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && containerFacts(pieces).codecDelayHidesSamples) {
        const int all = samplesIn(stream->codecpar, packet);
        markSkipped(packet, 0, all - samplesBeforeCut(packet, stream, cut));
    }
    packet->duration = cut - packet->pts;
    return rest;
}

Packet showAgainAt(const AVPacket* shown, const AVStream* stream, std::int64_t start)
{
    Packet copy = newPacket();
    if (av_packet_ref(copy.get(), shown) < 0 || av_packet_make_writable(copy.get()) < 0)
        throw std::bad_alloc();
    copy->pts = copy->dts = start;
    copy->duration = 0;
    copy->pos = -1;
    standAlone(stream->codecpar->codec_id, copy.get());
    return copy;
}

bool keepWhatShowsFrom(AVPacket* packet, std::int64_t start)
{
    if (packet->pts == AV_NOPTS_VALUE || packet->pts + packet->duration <= start)
        return false;
    packet->duration = packet->pts + packet->duration - start;
    packet->pts = packet->dts = start;
    return true;
}

} // namespace quorvane::splitter
