// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/muxersetup.h"

#include "splitter/writing/arrivalstamps.h"

namespace quorvane::splitter {

int muxerSetup(const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span, MuxerSetup& setup)
{
    const ContainerFacts& facts = containerFacts(layout.format);
    AVDictionary* set = nullptr;
    int result = 0;
    if (facts.indexInFront) {
        result = span.moovReserve > 0 ? av_dict_set_int(&set, "moov_size", span.moovReserve, 0)
                                      : av_dict_set(&set, "movflags", "+faststart", 0);
        setup.readBack = span.moovReserve <= 0;
    } else if (facts.transportStream) {
        // The TS writer takes 192-byte packets from the name alone (".m2ts" but not ".MTS", and not the
        // temporary name it is given): the pieces keep the source's size. It allows one program so.
        setup.arrivalStamps = layout.tsPacketSize == ArrivalStamps::packetSize && in->nb_programs <= 1;
        // As FFmpeg's own TS files: the clock starts 0.7 s before the first picture is decoded, which a
        // player's buffer needs (GStreamer's reader mistimes the first pictures of an HEVC stream whose clock
        // starts at its first decoding time), and every time moves on by twice that, so that the first packet
        // comes at 1.4 s (FFmpeg's reader does not show a DVB subtitle at 0).
        setup.maxDelay = 700000;
        result = av_dict_set_int(&set, "mpegts_m2ts_mode", setup.arrivalStamps ? 1 : 0, 0);
        // Each audio frame in a PES packet of its own, with its own time, as before: with that delay the writer
        // would gather frames for up to 0.35 s under the first one's time, and a reader counts the times of the
        // others on from it, which goes wrong where the source's times were mended.
        if (result >= 0)
            result = av_dict_set_int(&set, "pes_payload_size", 0, 0);
    }
    setup.options.reset(set);
    return result;
}

} // namespace quorvane::splitter
