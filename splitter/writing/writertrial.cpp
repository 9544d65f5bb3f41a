// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/writertrial.h"

#include "splitter/media/avhandles.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace quorvane::splitter {

namespace {

// The writer's output, kept in memory, and the packet whose bytes it should be handing on.
struct TrialOutput {
    std::vector<std::uint8_t> bytes;
    std::int64_t pos = 0;
    const std::uint8_t* expected = nullptr;
    int expectedSize = 0;
    bool handedOn = false;
};

int writeTrial(void* opaque, WrittenBytes data, int size)
{
    auto* out = static_cast<TrialOutput*>(opaque);
    if (data == out->expected && size == out->expectedSize)
        out->handedOn = true;
    const auto end = static_cast<std::size_t>(out->pos) + static_cast<std::size_t>(size);
    if (out->bytes.size() < end)
        out->bytes.resize(end);
    std::copy(data, data + size, out->bytes.begin() + out->pos);
    out->pos += size;
    return size;
}

std::int64_t seekTrial(void* opaque, std::int64_t offset, int whence)
{
    auto* out = static_cast<TrialOutput*>(opaque);
    const std::int64_t to = seekTarget(offset, whence, out->pos, static_cast<std::int64_t>(out->bytes.size()));
    if (to < 0 || (whence & AVSEEK_SIZE))
        return to;
    out->pos = to;
    return to;
}

bool tryWriter()
{
    // MP3 frames: a codec the MP4 writer takes with no header of its own and never converts.
    constexpr int frames = 8;
    constexpr int frameBytes = 417;
    TrialOutput written;
    IoContext io = newIoContext(1 << 12, &written, nullptr, writeTrial, seekTrial);
    io->seekable = AVIO_SEEKABLE_NORMAL;
    io->direct = 1; // as a piece's writing end is, while its media bytes are left in the source
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr) < 0)
        return false;
    OutputContext out(raw);
    AVStream* stream = avformat_new_stream(out.get(), nullptr);
    if (!stream)
        return false;
    stream->time_base = AVRational { 1, 44100 };
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_MP3;
    par->sample_rate = 44100;
    par->frame_size = 1152;
    av_channel_layout_default(&par->ch_layout, 2);

    out->pb = io.get();
    out->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "moov_size", 4096, 0);
    const int opened = avformat_write_header(out.get(), &options);
    av_dict_free(&options);
    if (opened < 0)
        return false;
    bool asGiven = true;
    for (int i = 0; i < frames && asGiven; ++i) {
        Packet packet = newPacket();
        if (av_new_packet(packet.get(), frameBytes) < 0)
            return false;
        std::memset(packet->data, 0x55 + i, frameBytes);
        packet->pts = packet->dts = std::int64_t(i) * 1152;
        packet->duration = 1152;
        packet->stream_index = 0;
        packet->flags = AV_PKT_FLAG_KEY;
        written.expected = packet->data;
        written.expectedSize = packet->size;
        written.handedOn = false;
        asGiven = av_write_frame(out.get(), packet.get()) >= 0 && written.handedOn;
    }
    written.expected = nullptr;
    return av_write_trailer(out.get()) >= 0 && asGiven && out->pb->error == 0;
}

} // namespace

bool mp4WriterWritesPacketsAsGiven()
{
    static const bool asGiven = [] {
        try {
            return tryWriter();
        } catch (const std::bad_alloc&) {
            return false;
        }
    }();
    return asGiven;
}

} // namespace quorvane::splitter
