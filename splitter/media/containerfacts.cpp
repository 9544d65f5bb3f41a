// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/media/containerfacts.h"

#include <array>
#include <cstring>

namespace quorvane::splitter {

namespace {

struct ContainerRow {
    std::array<const char*, 8> writers; // libavformat's names for the container's writers; the rest null
    ContainerFacts facts;
};

constexpr ContainerRow containers[] = {
    // MP4, QuickTime and their kin share one writer: an index the tool can reserve room for in front, an edit
    // list every player honours at a track's start, and covers of their own. Besides the index, a piece has
    // its ftyp and mdat headers, and its media bytes may start up to a block further on (StartAlignment).
    { { "mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v" },
        { .indexInFront = true,
            .mediaFromSource = true,
            .editListHidesSamples = true,
            .keepsCoverPicture = true,
            .overhead = { .perPiece = 5120, .perPacket = 0, .perSecond = 0 } } },
    // Matroska has no edit list; its CodecDelay and DiscardPadding are honoured for Opus. Firefox plays HEVC
    // in it, taking only IDR pictures for keyframes. A block's header takes at most 16 bytes, a cluster's and
    // its cue point's a few dozen, a cluster every keyframe at most.
    { { "matroska" },
        { .keepsAttachments = true,
            .codecDelayHidesSamples = true,
            .joinsFramesBefore = true,
            .keyframesMustBeIdr = true,
            .overhead = { .perPiece = 4096, .perPacket = 16, .perSecond = 256 } } },
    // WebM is Matroska with fewer codecs, and its writer refuses attachments.
    { { "webm" },
        { .codecDelayHidesSamples = true,
            .joinsFramesBefore = true,
            .keyframesMustBeIdr = true,
            .overhead = { .perPiece = 4096, .perPacket = 16, .perSecond = 256 } } },
    // MPEG-TS: a player's buffer needs the clock to start before the first picture is decoded; camcorders'
    // M2TS adds a four-byte arrival stamp to each packet. Each frame is a PES packet of its own: a header of
    // 19 bytes and a clock of 8, in packets carrying 184 bytes, the last one padded. The tables go out ten
    // times a second, the service twice.
    { { "mpegts" },
        { .transportStream = true,
            .overhead
            = { .perPiece = 4096, .perPacket = 27, .perSecond = (10 * 2 + 2) * 188, .payloadPerPacket = 184 } } },
    // An MP3 file's LAME header says how many samples to skip at its start: a frame of its own, besides the
    // tags at each end.
    { { "mp3" },
        { .encoderDelayHidesFrames = true, .overhead = { .perPiece = 5120, .perPacket = 0, .perSecond = 0 } } },
    // A FLAC file's STREAMINFO counts its samples, and readers time each frame by its number. Its writer pads
    // the header with 8 KiB.
    { { "flac" },
        { .numbersFramesFromStart = true, .overhead = { .perPiece = 12 * 1024, .perPacket = 0, .perSecond = 0 } } },
};

constexpr ContainerFacts none {};

} // namespace

const ContainerFacts& containerFacts(const AVOutputFormat* pieces)
{
    for (const ContainerRow& row : containers) {
        for (const char* name : row.writers) {
            if (name && std::strcmp(pieces->name, name) == 0)
                return row.facts;
        }
    }
    return none;
}

} // namespace quorvane::splitter
