// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The MP3 frames a piece starts with to fill its decoder's bit reservoir: a stream's time base and sample rate,
// then frames, each after a byte that says whether a piece starts before it and four bytes of its duration, as
// a container's index may give them.
#include "splitter/writing/reservoirpreroll.h"

#include "fuzzinput.h"

#include <cstdlib>
#include <cstring>

using namespace quorvane::splitter;

namespace {

struct ContextFree {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

std::uint32_t four(quorvane::test::FuzzInput& in)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | in.byte();
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    const std::unique_ptr<AVFormatContext, ContextFree> context(avformat_alloc_context());
    AVStream* st = context ? avformat_new_stream(context.get(), nullptr) : nullptr;
    if (!st)
        std::abort();
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = AV_CODEC_ID_MP3;
    st->codecpar->sample_rate = static_cast<int>(four(in) & 0x7ffff) + 1;
    st->time_base = AVRational { 1, static_cast<int>(four(in) % 0x7fffffff) + 1 };
    ReservoirPreroll preroll(st);
    while (!in.empty()) {
        const std::uint8_t flags = in.byte();
        const auto duration = static_cast<std::int64_t>(four(in) & 0x7fffffff);
        const std::vector<std::uint8_t> frame = in.part();
        if (flags & 1) {
            int samples = 0;
            const std::deque<Packet> frames = preroll.take(samples);
            if (frames.empty() ? samples != 0 : samples < 0)
                std::abort();
        }
        Packet packet = newPacket();
        if (av_new_packet(packet.get(), static_cast<int>(frame.size())) < 0)
            std::abort();
        if (!frame.empty())
            std::memcpy(packet->data, frame.data(), frame.size());
        packet->duration = duration;
        preroll.remember(packet.get());
    }
    return 0;
}
