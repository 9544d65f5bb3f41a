// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/plan/cutplan.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/sampleindex.h"

#include <cstdint>
#include <vector>

// How much room an MP4 piece reserves in front for its index, so the index goes before the media in one pass.
namespace quorvane::splitter {

// Room for the moov box of a piece, enough for every track's sample tables; used to write moov first in
// one pass. `samples` holds the sample count of each track, `extra` the bytes of codec headers and tags.
std::int64_t moovReservation(const std::vector<std::int64_t>& samples, std::int64_t extra);

// From the samples the index lists, counted generously around the piece.
std::int64_t indexRoomFromIndex(const MediaLayout& layout, const SampleIndex& samples, const PlannedPiece& piece);

// Without an index: from each stream's rate over `seconds` and a little more. A piece that outgrows it (a long
// group of pictures) is written again with its index moved, as any piece would be.
std::int64_t indexRoomFromRates(const AVFormatContext* in, const MediaLayout& layout, double seconds);

} // namespace quorvane::splitter
