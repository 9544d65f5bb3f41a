// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/writing/piecesetup.h"

// What a piece's muxer is told for the container it writes (ContainerFacts), before its header is written.
namespace quorvane::splitter {

struct MuxerSetup {
    Dictionary options;
    int maxDelay = -1; // microseconds, where the container's clock must start before the first decoding time
    bool readBack = false; // the muxer reads the piece back once written, to move its index to the front
    bool arrivalStamps = false; // 192-byte TS packets: ArrivalStamps goes between the muxer and the file
};

// The setup of the piece `span` of `in`. Returns 0, or an AVERROR.
int muxerSetup(const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span, MuxerSetup& setup);

} // namespace quorvane::splitter
