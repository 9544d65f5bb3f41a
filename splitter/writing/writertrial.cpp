// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/writertrial.h"

#include "splitter/media/avhandles.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
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

int readTrial(void* opaque, std::uint8_t* data, int size)
{
    auto* in = static_cast<TrialOutput*>(opaque);
    const std::int64_t left = static_cast<std::int64_t>(in->bytes.size()) - in->pos;
    if (left <= 0)
        return AVERROR_EOF;
    const int taken = static_cast<int>(std::min<std::int64_t>(left, size));
    std::copy_n(in->bytes.begin() + in->pos, taken, data);
    in->pos += taken;
    return taken;
}

// An Opus track whose decoder skips 80 ms at its start, one packet given at 1 s: read back at 1 s where the
// writer moved its block by the CodecDelay itself, at 0.92 s where it left that to the caller.
constexpr int trialSkip = 3840;
constexpr std::int64_t trialAt = 1000;

std::optional<bool> tryMatroskaWriter()
{
    TrialOutput file;
    {
        IoContext io = newIoContext(1 << 12, &file, nullptr, writeTrial, seekTrial);
        io->seekable = AVIO_SEEKABLE_NORMAL;
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, "matroska", nullptr) < 0)
            return std::nullopt;
        OutputContext out(raw);
        AVStream* stream = avformat_new_stream(out.get(), nullptr);
        if (!stream)
            return std::nullopt;
        stream->time_base = AVRational { 1, 1000 };
        AVCodecParameters* par = stream->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_OPUS;
        par->sample_rate = 48000;
        par->initial_padding = trialSkip;
        av_channel_layout_default(&par->ch_layout, 2);
        // An OpusHead: version 1, two channels, the pre-skip, 48 kHz, no gain, mapping family 0.
        const std::uint8_t head[19] = { 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, trialSkip & 0xff, trialSkip >> 8,
            0x80, 0xbb, 0, 0, 0, 0, 0 };
        par->extradata = static_cast<std::uint8_t*>(av_mallocz(sizeof head + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata)
            throw std::bad_alloc();
        std::memcpy(par->extradata, head, sizeof head);
        par->extradata_size = sizeof head;
        out->pb = io.get();
        out->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (avformat_write_header(out.get(), nullptr) < 0)
            return std::nullopt;
        Packet packet = newPacket();
        if (av_new_packet(packet.get(), 3) < 0)
            throw std::bad_alloc();
        packet->data[0] = 0xfc; // one 20 ms frame, silent
        packet->data[1] = packet->data[2] = 0xff;
        packet->pts = packet->dts = av_rescale_q(trialAt, { 1, 1000 }, stream->time_base);
        packet->duration = av_rescale_q(20, { 1, 1000 }, stream->time_base);
        packet->flags = AV_PKT_FLAG_KEY;
        if (av_write_frame(out.get(), packet.get()) < 0 || av_write_trailer(out.get()) < 0 || out->pb->error)
            return std::nullopt;
    }
    file.pos = 0;
    IoContext io = newIoContext(1 << 12, &file, readTrial, nullptr, seekTrial);
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, nullptr, av_find_input_format("matroska"), nullptr) < 0)
        return std::nullopt;
    InputContext in(raw);
    Packet packet = newPacket();
    if (av_read_frame(in.get(), packet.get()) < 0 || packet->pts == AV_NOPTS_VALUE)
        return std::nullopt;
    const std::int64_t at = av_rescale_q(packet->pts, in->streams[0]->time_base, { 1, 1000 });
    const std::int64_t skip = trialSkip / 48;
    if (at == trialAt)
        return true;
    if (at == trialAt - skip)
        return false;
    return std::nullopt;
}

} // namespace

bool matroskaWriterMovesBlocksByCodecDelay()
{
    static const bool moves = [] {
        try {
            return tryMatroskaWriter().value_or(false);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }();
    return moves;
}

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
