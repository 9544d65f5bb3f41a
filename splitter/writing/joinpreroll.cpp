// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/joinpreroll.h"

#include "splitter/writing/cutsharing.h"

namespace quorvane::splitter {

JoinPreroll::JoinPreroll(const AVStream* stream, bool framesShared)
    : m_stream(stream)
    , m_shared(framesShared)
    , m_wanted(framesBeforeAPiece(stream->codecpar->codec_id).value_or(FramesBefore {}))
{
}

void JoinPreroll::remember(const AVPacket* packet)
{
    if (packet->pts == AV_NOPTS_VALUE)
        return;
    Packet copy = newPacket();
    if (av_packet_ref(copy.get(), packet) < 0)
        throw std::bad_alloc();
    m_recent.push_back(std::move(copy));
    // Opus's 80 ms are at most 32 frames of 2.5 ms.
    if (m_recent.size() > 48)
        m_recent.pop_front();
}

JoinPreroll::Start JoinPreroll::take(std::int64_t cut)
{
    Start start;
    std::deque<Packet> recent = std::move(m_recent);
    m_recent.clear();
    while (!recent.empty() && recent.back()->pts >= cut)
        recent.pop_back(); // a frame read after its piece closed, which went to this one
    if (recent.empty())
        return start;
    start.found = true;
    // A frame that crosses the cut, when shared, reaches this piece as the rest of that frame.
    const AVPacket* last = recent.back().get();
    if (m_shared && last->duration > 0 && last->pts + last->duration > cut) {
        start.samples = samplesBeforeCut(last, m_stream, cut);
        recent.pop_back();
    }
    while (!recent.empty() && (start.frames.empty() || start.samples < m_wanted.samples)) {
        Packet frame = std::move(recent.back());
        recent.pop_back();
        start.samples += samplesIn(m_stream->codecpar, frame.get());
        dropSkipMarks(frame.get());
        start.frames.push_front(std::move(frame));
    }
    return start;
}

} // namespace quorvane::splitter
