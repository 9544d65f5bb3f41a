// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

// Owners for every libav handle the tool holds, so no path out of a function leaks one.
namespace quorvane::splitter {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputContext = std::unique_ptr<AVFormatContext, InputCloser>;

// An output context with the file it writes, if it opened one itself (a writer's own file is the writer's).
struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb && !(context->flags & AVFMT_FLAG_CUSTOM_IO) && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContext = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

inline Packet newPacket()
{
    Packet packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

struct CodecFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecFree>;

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

// An I/O context of the tool's own, with its buffer.
struct IoContextFree {
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
using IoContext = std::unique_ptr<AVIOContext, IoContextFree>;

// The bytes a writing callback is given: FFmpeg 7 made them const.
#if LIBAVFORMAT_VERSION_MAJOR < 61
using WrittenBytes = std::uint8_t*;
#else
using WrittenBytes = const std::uint8_t*;
#endif
using WritePacket = int (*)(void*, WrittenBytes, int);

// An I/O context over the callbacks, with a buffer of `bufferSize`; `write` and `read` may be null.
inline IoContext newIoContext(int bufferSize, void* opaque, int (*read)(void*, std::uint8_t*, int), WritePacket write,
    std::int64_t (*seek)(void*, std::int64_t, int))
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(static_cast<std::size_t>(bufferSize)));
    if (!buffer)
        throw std::bad_alloc();
    AVIOContext* io = avio_alloc_context(buffer, bufferSize, write ? 1 : 0, opaque, read, write, seek);
    if (!io) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    return IoContext(io);
}

struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using Dictionary = std::unique_ptr<AVDictionary, DictionaryFree>;

// Where a seek of the tool's own AVIO ends (the reading end of an input, the writing end of a piece), from
// its place `pos` and its length `end`; AVSEEK_SIZE asks for the length. Negative for a place before the start.
inline std::int64_t seekTarget(std::int64_t offset, int whence, std::int64_t pos, std::int64_t end)
{
    if (whence & AVSEEK_SIZE)
        return end;
    whence &= ~AVSEEK_FORCE;
    const std::int64_t to = whence == SEEK_SET ? offset
        : whence == SEEK_CUR                   ? pos + offset
        : whence == SEEK_END                   ? end + offset
                                               : -1;
    return to < 0 ? AVERROR(EINVAL) : to;
}

} // namespace quorvane::splitter
