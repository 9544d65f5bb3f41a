// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/cutsharing.h"

#include "splitter/codecpolicy.h"
#include "splitter/inputprobe.h"

namespace quorvane::splitter {

bool sharedAtCuts(const AVStream* stream, const AVOutputFormat* pieces)
{
    return stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE
        || (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && isMovFamily(pieces));
}

Packet splitAtCut(AVPacket* packet, const AVStream* stream, std::int64_t cut)
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
    // skips, and the earlier one shows it up to the cut.
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
