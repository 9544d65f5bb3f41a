// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/writing/joinpreroll.h"

#include <cstdint>
#include <memory>
#include <optional>

// What the distributor keeps of each input stream, and the one place a stream's times become the plan's (the
// deciding stream's ticks) and back.
namespace quorvane::splitter {

// A stream that stops early must not hold every later packet in memory.
constexpr std::int64_t heldMemoryCap = 32 * 1024 * 1024;

struct RoutedStream {
    const AVStream* stream = nullptr;
    int passed = -1; // the highest piece a packet of it went to
    std::int64_t received = 0; // packets read so far
    // A video stream besides the deciding one (a broadcast's second program), which each piece starts at a
    // keyframe of its own, and the piece its pictures go to now.
    bool ownKeyframes = false;
    int videoPiece = 0;
    // MP4 pieces' sound that starts a frame early: the frame last written (in the second pass, seen), and the
    // last piece given its frame before.
    bool startsEarly = false;
    Packet lastFrame;
    int earlyIn = 0;
    // Matroska pieces' sound: the frames each piece starts with from the one before.
    std::unique_ptr<JoinPreroll> join;
    // The bitmap subtitle picture written last, while it still shows (showsPicture).
    Packet showing;
};

class StreamClock {
public:
    StreamClock(const AVFormatContext* in, AVRational planBase)
        : m_in(in)
        , m_planBase(planBase)
    {
    }

    AVRational planBase() const { return m_planBase; }
    std::int64_t toPlan(int stream, std::int64_t ticks) const
    {
        return av_rescale_q(ticks, m_in->streams[stream]->time_base, m_planBase);
    }
    std::int64_t toStream(int stream, std::int64_t planTicks) const
    {
        return av_rescale_q(planTicks, m_planBase, m_in->streams[stream]->time_base);
    }
    // When the packet is decoded, or shown where that is all it says.
    std::optional<std::int64_t> decoded(const AVPacket* packet) const
    {
        const std::int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (t == AV_NOPTS_VALUE)
            return std::nullopt;
        return toPlan(packet->stream_index, t);
    }
    std::optional<std::int64_t> shown(const AVPacket* packet) const
    {
        if (packet->pts == AV_NOPTS_VALUE)
            return std::nullopt;
        return toPlan(packet->stream_index, packet->pts);
    }
    // Only for a packet whose showing time is known.
    std::int64_t shownUntil(const AVPacket* packet) const
    {
        return toPlan(packet->stream_index, packet->pts + packet->duration);
    }

private:
    const AVFormatContext* m_in;
    AVRational m_planBase;
};

} // namespace quorvane::splitter
