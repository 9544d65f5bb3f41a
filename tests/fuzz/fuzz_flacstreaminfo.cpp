// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// A FLAC piece's STREAMINFO and frame numbers: the source's STREAMINFO (34 bytes), then packets, each after a
// byte that says whether a new piece starts there and two bytes of its duration in samples.
#include "splitter/writing/flacstreaminfo.h"

#include "fuzzinput.h"

#include <cstdlib>
#include <cstring>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t infoSize = FlacStreamInfo::size;
    if (size < infoSize)
        return 0;
    // The sample rate, 20 bits from byte 10; the tool takes it from the stream, which FFmpeg reads from here.
    const int sampleRate = data[10] << 12 | data[11] << 4 | data[12] >> 4;
    if (sampleRate == 0)
        return 0;
    FlacStreamInfo info(data);
    quorvane::test::FuzzInput in(data + infoSize, size - infoSize);
    while (!in.empty()) {
        if (in.byte() & 1)
            info.restart();
        const int high = in.byte();
        const int duration = high << 8 | in.byte();
        const std::vector<std::uint8_t> frame = in.part();
        Packet packet = newPacket();
        if (av_new_packet(packet.get(), static_cast<int>(frame.size())) < 0)
            std::abort();
        if (!frame.empty())
            std::memcpy(packet->data, frame.data(), frame.size());
        packet->duration = duration;
        info.mark(packet.get(), AVRational { 1, sampleRate }, sampleRate);
        std::size_t sideSize = 0;
        if (!av_packet_get_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, &sideSize) || sideSize != infoSize)
            std::abort();
    }
    return 0;
}
