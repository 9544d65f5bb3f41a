// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/reservoirpreroll.h"

#include "splitter/media/codecpolicy.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace quorvane::splitter {

ReservoirPreroll::ReservoirPreroll(const AVStream* stream)
    : m_timeBase(stream->time_base)
    , m_sampleRate(stream->codecpar->sample_rate)
    , m_borrowed(bytesBorrowedAtMost(stream->codecpar->codec_id))
{
}

void ReservoirPreroll::remember(const AVPacket* packet)
{
    Packet copy = newPacket();
    if (av_packet_ref(copy.get(), packet) < 0)
        throw std::bad_alloc();
    m_recent.push_back(std::move(copy));
    if (m_recent.size() > 16)
        m_recent.pop_front();
}

std::deque<Packet> ReservoirPreroll::take(int& samples)
{
    std::deque<Packet> frames;
    int bytes = 0;
    for (auto p = m_recent.rbegin(); p != m_recent.rend(); ++p) {
        frames.push_front(std::move(*p));
        if (frames.size() > 1)
            bytes += frames.front()->size;
        if (bytes > m_borrowed)
            break;
    }
    m_recent.clear();
    // The durations are the container's, which may say anything: each is held to what an int holds, and so
    // is their sum.
    std::int64_t total = 0;
    for (const Packet& p : frames)
        total += std::clamp<std::int64_t>(av_rescale_q(p->duration, m_timeBase, { 1, m_sampleRate }), 0, INT_MAX);
    samples = static_cast<int>(std::min<std::int64_t>(total, INT_MAX));
    // The MP3 writer takes the encoder delay from the first packet that says how much to skip: the first says
    // all of the frames before the piece, the others nothing.
    for (Packet& packet : frames) {
        const int skipped = &packet == &frames.front() ? samples : 0;
        std::size_t size = 0;
        std::uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
        if (!skip && skipped > 0)
            skip = av_packet_new_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, size = 10);
        if (skipped > 0 && !skip)
            throw std::bad_alloc();
        if (skip && size >= 10) {
            AV_WL32(skip, static_cast<std::uint32_t>(skipped));
            AV_WL32(skip + 4, 0);
            skip[8] = skip[9] = 0;
        }
    }
    return frames;
}

} // namespace quorvane::splitter
