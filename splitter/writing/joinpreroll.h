// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/media/codecpolicy.h"

#include <cstdint>
#include <deque>

// The audio frames a Matroska piece starts with from the piece before, decoded there only so that its own
// first frame decodes as in the source (framesBeforeAPiece): the frame before (Vorbis), 80 ms (Opus). Where the piece
// before shares the frame that crosses the cut (an Opus frame, see cutsharing.h), the piece after gets that one as the
// rest of a shared frame, and the frames before it here.
namespace quorvane::splitter {

class JoinPreroll {
public:
    explicit JoinPreroll(const AVStream* stream, bool framesShared);

    // A frame of the stream as it goes into a piece, whole and at the source's times. Throws std::bad_alloc.
    void remember(const AVPacket* packet);

    struct Start {
        std::deque<Packet> frames; // whole, at the source's times, marks to skip or discard removed
        int samples = 0; // from the first frame's start to the cut, at sampleClock(); also what crosses the cut
        bool found = false; // a frame of the stream came before the cut
    };
    // What the piece starting at `cut` (in the stream's ticks) starts with; what was remembered is forgotten.
    // Throws std::bad_alloc.
    Start take(std::int64_t cut);

private:
    const AVStream* m_stream;
    bool m_shared;
    FramesBefore m_wanted; // at least one frame
    std::deque<Packet> m_recent;
};

} // namespace quorvane::splitter
