// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

// What libavformat's writers do with what they are given, where releases differ or nothing promises it: tried on
// the library that is running, rather than assumed from a version number.
//
// Pieces may leave their media bytes in the source (InPlaceReader) and have them copied in afterwards
// (PayloadRuns) only where the MP4 writer hands each packet's bytes on as they were given: in one write, from
// the packet's own memory, before av_write_frame returns.
namespace quorvane::splitter {

// Whether the MP4 writer, given a small file's packets with its index reserved in front as a piece has it,
// wrote every packet's bytes as given. Tried once per run, in memory.
bool mp4WriterWritesPacketsAsGiven();

// Whether the Matroska writer puts a track's blocks later by its CodecDelay (an Opus track's pre-skip) by
// itself, as FFmpeg 7.1's writer does, or leaves that to whoever gives it the packets, as FFmpeg 5.1's does.
// Tried once per run, in memory, and read back; false where the trial cannot tell.
bool matroskaWriterMovesBlocksByCodecDelay();

} // namespace quorvane::splitter
