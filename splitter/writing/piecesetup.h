// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/reading/inputprobe.h"

#include <cstdint>
#include <vector>

// What a piece holds besides its packets, set up before they come: its streams with their parameters, tags
// and side data, a timecode that names where it starts, and the chapters that fall in it.
namespace quorvane::splitter {

struct PieceSpan {
    int number = 0; // 0 for the first piece
    std::int64_t start = 0; // where the piece starts showing, in the deciding stream's ticks
    std::int64_t end = 0; // where the next one starts (or the file ends); unknownEnd while reading decides
    static constexpr std::int64_t unknownEnd = INT64_MAX;
    std::int64_t moovReserve = 0; // MP4 family: room for the index in front; 0 to write it in a second pass
    // MP3 pieces after the first: how many samples of frames from the piece before come first, decoded only
    // to fill the decoder's bit reservoir and skipped (the LAME header's encoder delay says so).
    int prerollSamples = -1; // -1: the source's own delay (the first piece)
    // Matroska pieces, per input stream whose decoder skips samples at its start (Opus): how many this piece
    // skips, at sampleClock(), from the frames it starts with before its cut; -1 or none: the source's own.
    std::vector<int> preSkip {};
};

// The samples stream `index` of a Matroska piece skips at its start (its pre-skip, the track's CodecDelay), at
// sampleClock(); Matroska's block times run that much ahead of what is shown. 0 for other streams and writers.
int preSkipOf(const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span, unsigned index);

// The file's tags and the streams `layout` keeps, with their tags, and a timecode moved to where the piece
// starts (`firstShown`: where the source's pictures start, which its timecode names). Throws std::bad_alloc.
void addStreams(AVFormatContext* out, const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span,
    std::int64_t firstShown);

// The chapters that fall in the piece, rebased to its start and cut at its ends. Throws std::bad_alloc.
void addChapters(AVFormatContext* out, const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span);

} // namespace quorvane::splitter
