// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <array>
#include <cstdint>

// What makes a FLAC piece a file of its own. Its STREAMINFO: the source's, but with the piece's own count of
// samples and no MD5 (which FLAC reads as "not known"), since the piece holds only part of the source's
// samples; FFmpeg's FLAC writer writes the source's at the start and puts the last one a packet brought there
// at the end. And its frames' numbers: each frame's header counts frames (or samples) from the file's start,
// and readers take a frame's time from it, so a piece's frames are numbered again from 0, their checksums
// with them.
namespace quorvane::splitter {

class FlacStreamInfo {
public:
    static constexpr int size = 34;

    // `source`: the source's STREAMINFO (the stream's extradata), at least `size` bytes.
    explicit FlacStreamInfo(const std::uint8_t* source);

    // A new piece: no samples yet.
    void restart()
    {
        m_samples = 0;
        m_frames = 0;
    }
    // Numbers the frame in `packet` in the piece, counts its samples (its duration, in ticks of `timeBase`)
    // and gives it the piece's STREAMINFO so far. A packet that holds no frame header is left as it is.
    // Throws std::bad_alloc.
    void mark(AVPacket* packet, AVRational timeBase, int sampleRate);

private:
    void renumber(AVPacket* packet) const;

    std::array<std::uint8_t, size> m_info;
    std::int64_t m_samples = 0;
    std::int64_t m_frames = 0;
};

} // namespace quorvane::splitter
