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
    // list every player honours at a track's start, and covers of their own.
    { { "mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v" },
        { .indexInFront = true, .mediaFromSource = true, .editListHidesSamples = true, .keepsCoverPicture = true } },
    // Matroska has no edit list; its CodecDelay and DiscardPadding are honoured for Opus. Firefox plays HEVC
    // in it, taking only IDR pictures for keyframes.
    { { "matroska" },
        { .keepsAttachments = true,
            .codecDelayHidesSamples = true,
            .joinsFramesBefore = true,
            .keyframesMustBeIdr = true } },
    // WebM is Matroska with fewer codecs, and its writer refuses attachments.
    { { "webm" }, { .codecDelayHidesSamples = true, .joinsFramesBefore = true, .keyframesMustBeIdr = true } },
    // MPEG-TS: a player's buffer needs the clock to start before the first picture is decoded; camcorders'
    // M2TS adds a four-byte arrival stamp to each packet.
    { { "mpegts" }, { .transportStream = true } },
    // An MP3 file's LAME header says how many samples to skip at its start.
    { { "mp3" }, { .encoderDelayHidesFrames = true } },
    // A FLAC file's STREAMINFO counts its samples, and readers time each frame by its number.
    { { "flac" }, { .numbersFramesFromStart = true } },
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
