// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/keyframerestarts.h"

#include "splitter/media/unreadpacket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace quorvane::splitter {

namespace {

// `packet` with other bytes, no longer the source's. Returns 0, or an AVERROR.
int replaceBytes(Packet& packet, const Bytes& bytes)
{
    Packet changed = newPacket();
    if (bytes.size() > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE
        || av_new_packet(changed.get(), static_cast<int>(bytes.size())) < 0
        || av_packet_copy_props(changed.get(), packet.get()) < 0)
        return AVERROR(ENOMEM);
    std::copy(bytes.begin(), bytes.end(), changed->data);
    changed->stream_index = packet->stream_index;
    changed->pos = -1; // not the source's bytes any more
    av_buffer_unref(&changed->opaque_ref);
    packet = std::move(changed);
    return 0;
}

} // namespace

KeyframeRestarts::KeyframeRestarts(const AVFormatContext* in, const MediaLayout& layout, int piece)
    : m_avc(layout.streams.size())
    , m_hevc(layout.streams.size())
{
    // The streams of the layout: not those found since, which no piece has.
    for (unsigned s = 0; s < static_cast<unsigned>(layout.streams.size()); ++s) {
        const AVCodecParameters* par = in->streams[s]->codecpar;
        if (layout.streams[s].output < 0 || layout.streams[s].cover)
            continue;
        const auto header = codecHeaderOf(layout, in->streams[s]);
        if (par->codec_id == AV_CODEC_ID_H264)
            m_avc[s] = std::make_unique<AvcRestart>(header.data(), static_cast<int>(header.size()));
        // In MP4 players go by its index, which lists a CRA picture as a keyframe.
        if (par->codec_id == AV_CODEC_ID_HEVC && containerFacts(layout.format).keyframesMustBeIdr)
            m_hevc[s] = std::make_unique<HevcRestart>(header.data(), static_cast<int>(header.size()), piece > 0);
    }
}

int KeyframeRestarts::restart(Packet& packet)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    if (AvcRestart* pictures = m_avc[s].get()) {
        if (const int result = restartAvc(*pictures, packet); result < 0)
            return result;
    }
    if (HevcRestart* pictures = m_hevc[s].get())
        return restartHevc(*pictures, packet);
    return 0;
}

int KeyframeRestarts::restartAvc(AvcRestart& pictures, Packet& packet)
{
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (!pictures.wants(key))
        return 0;
    if (isUnread(packet.get())) {
        // Most keyframes start afresh as they are, which their first bytes tell: the rest stays unread.
        std::array<std::uint8_t, 4096> head {};
        const int got = readHead(packet.get(), head.data(), static_cast<int>(head.size()));
        if (got < 0)
            return got;
        if (!pictures.changes(head.data(), static_cast<std::size_t>(got), key))
            return 0;
        if (const int filled = fillUnread(packet.get()); filled < 0)
            return filled;
    }
    std::optional<Bytes> bytes;
    try {
        bytes = pictures.picture(packet->data, static_cast<std::size_t>(packet->size), key);
    } catch (const std::bad_alloc&) {
        return AVERROR(ENOMEM);
    }
    return bytes ? replaceBytes(packet, *bytes) : 0;
}

int KeyframeRestarts::restartHevc(HevcRestart& pictures, Packet& packet)
{
    if (!pictures.wants((packet->flags & AV_PKT_FLAG_KEY) != 0))
        return 0;
    std::optional<Bytes> bytes;
    try {
        bytes = pictures.picture(packet->data, static_cast<std::size_t>(packet->size));
    } catch (const std::bad_alloc&) {
        return AVERROR(ENOMEM);
    }
    return bytes ? replaceBytes(packet, *bytes) : 0;
}

} // namespace quorvane::splitter
