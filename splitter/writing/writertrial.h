// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

// Pieces may leave their media bytes in the source (InPlaceReader) and have them copied in afterwards
// (PayloadRuns) only where the MP4 writer hands each packet's bytes on as they were given: in one write, from
// the packet's own memory, before av_write_frame returns. That is how the writer's code has it in the releases
// read so far, but nothing promises it, so it is tried on the library that is running, rather than assumed
// from a version number.
namespace quorvane::splitter {

// Whether the MP4 writer, given a small file's packets with its index reserved in front as a piece has it,
// wrote every packet's bytes as given. Tried once per run, in memory.
bool mp4WriterWritesPacketsAsGiven();

} // namespace quorvane::splitter
