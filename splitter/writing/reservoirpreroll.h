// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <deque>

// MP3 frames borrow bytes from the frames before them (the bit reservoir, bytesBorrowedAtMost()). Each piece after
// the first starts with enough frames of the piece before that its own first frame decodes whole; the LAME
// header's encoder delay tells the decoder to skip them, so the pieces played one after another give the
// source's samples.
namespace quorvane::splitter {

class ReservoirPreroll {
public:
    explicit ReservoirPreroll(const AVStream* stream);

    // A frame of the stream as it goes into a piece. Throws std::bad_alloc.
    void remember(const AVPacket* packet);
    // The frames the next piece starts with, marked to be skipped, and how many samples they hold in
    // `samples`; what was remembered is forgotten. Throws std::bad_alloc.
    std::deque<Packet> take(int& samples);

private:
    AVRational m_timeBase;
    int m_sampleRate;
    int m_borrowed; // bytes a frame may borrow at most
    std::deque<Packet> m_recent;
};

} // namespace quorvane::splitter
