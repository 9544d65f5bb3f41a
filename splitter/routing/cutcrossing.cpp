// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/routing/cutcrossing.h"

#include "splitter/media/codecpolicy.h"
#include "splitter/media/containerfacts.h"
#include "splitter/writing/cutsharing.h"

#include <string>

namespace quorvane::splitter {

namespace {

Packet copyOf(const AVPacket* packet)
{
    Packet copy = newPacket();
    if (av_packet_ref(copy.get(), packet) < 0)
        throw std::bad_alloc();
    return copy;
}

} // namespace

CutCrossing::CutCrossing(
    AVFormatContext* in, const MediaLayout& layout, std::vector<RoutedStream>& streams, const StreamClock& clock)
    : m_in(in)
    , m_layout(layout)
    , m_streams(streams)
    , m_clock(clock)
{
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const AVStream* st = in->streams[s];
        m_streams[s].startsEarly = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && sharedAtCuts(st, layout.format)
            && overlapsFrameBefore(st->codecpar->codec_id);
    }
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const AVStream* st = in->streams[s];
        if (containerFacts(layout.format).joinsFramesBefore && layout.streams[s].output >= 0
            && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && framesBeforeAPiece(st->codecpar->codec_id))
            m_streams[s].join = std::make_unique<JoinPreroll>(st, sharedAtCuts(st, layout.format));
    }
    const AVStream* ref = in->streams[layout.ref];
    if (containerFacts(layout.format).encoderDelayHidesFrames && borrowsFromFramesBefore(ref->codecpar->codec_id)
        && ref->codecpar->sample_rate > 0)
        m_preroll = std::make_unique<ReservoirPreroll>(ref);
}

std::deque<Packet> CutCrossing::opening(int piece, PieceSpan& span, bool onlyOne)
{
    std::deque<Packet> frames;
    if (piece > 0 && m_preroll)
        frames = m_preroll->take(span.prerollSamples);
    if (piece > 0 && !onlyOne)
        framesBefore(span, frames);
    return frames;
}

void CutCrossing::framesBefore(PieceSpan& span, std::deque<Packet>& into)
{
    span.preSkip.assign(m_streams.size(), -1);
    for (std::size_t s = 0; s < m_streams.size(); ++s) {
        if (!m_streams[s].join)
            continue;
        const AVCodecParameters* par = m_streams[s].stream->codecpar;
        const std::int64_t cut = m_clock.toStream(static_cast<int>(s), span.start);
        JoinPreroll::Start start = m_streams[s].join->take(cut);
        if (!start.found)
            continue; // the stream starts in this piece, with the source's own start
        if (skipsSamplesAtStart(par->codec_id)) {
            // Decoded from before the cut, and skipped up to it; the frame that crosses it follows.
            span.preSkip[s] = start.samples;
        } else {
            // Decoded before the piece's first frame but not heard: the first frame a decoder is given gives no
            // sound of its own (Vorbis). It is shown at the piece's start, as no Matroska block may come before
            // it, and keeps its own decoding time, which orders it.
            for (Packet& frame : start.frames)
                frame->pts = cut;
        }
        for (Packet& frame : start.frames)
            into.push_back(std::move(frame));
    }
}

void CutCrossing::seen(const AVPacket* packet)
{
    if (m_preroll && packet->stream_index == m_layout.ref)
        m_preroll->remember(packet);
    RoutedStream& stream = m_streams[static_cast<std::size_t>(packet->stream_index)];
    if (const std::optional<bool> shows = showsPicture(stream.stream->codecpar->codec_id, packet)) {
        stream.showing.reset();
        if (*shows)
            stream.showing = copyOf(packet);
    }
    if (stream.join)
        stream.join->remember(packet);
}

Packet CutCrossing::splitAtCut(int piece, AVPacket* packet, const SplitPlan& plan) const
{
    const AVStream* st = m_in->streams[packet->stream_index];
    if (piece + 1 >= static_cast<int>(plan.pieces.size()) || !sharedAtCuts(st, m_layout.format))
        return {};
    return quorvane::splitter::splitAtCut(packet, st,
        m_clock.toStream(packet->stream_index, plan.pieces[static_cast<std::size_t>(piece) + 1].start),
        m_layout.format);
}

Packet CutCrossing::frameBefore(int piece, const AVPacket* first)
{
    RoutedStream& stream = m_streams[static_cast<std::size_t>(first->stream_index)];
    const Packet& last = stream.lastFrame;
    if (!stream.startsEarly || piece <= 0 || stream.earlyIn >= piece || !last || last->pts == AV_NOPTS_VALUE
        || first->pts == AV_NOPTS_VALUE || last->duration <= 0 || last->pts + last->duration != first->pts)
        return {};
    stream.earlyIn = piece;
    return copyOf(last.get());
}

void CutCrossing::rememberFrame(const AVPacket* packet)
{
    RoutedStream& stream = m_streams[static_cast<std::size_t>(packet->stream_index)];
    if (stream.startsEarly)
        stream.lastFrame = copyOf(packet);
}

} // namespace quorvane::splitter
