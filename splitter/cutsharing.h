// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/avhandles.h"

#include <cstdint>

// Packets that last across a cut and that the pieces on both sides share, each showing its part: a
// subtitle's event, in text or a picture, and in MP4 an audio frame, since MP4's edit lists say how much of a track's
// first and last sample is shown, so the pieces meet exactly.
namespace quorvane::splitter {

bool sharedAtCuts(const AVStream* stream, const AVOutputFormat* pieces);

// `packet` of `stream` starts before `cut` and lasts past it (in the stream's ticks): it is shortened to end
// there, and what the piece after the cut gets is returned. Null when it does not cross the cut.
Packet splitAtCut(AVPacket* packet, const AVStream* stream, std::int64_t cut);

// A bitmap subtitle picture still showing where a piece starts, at `start` (in the stream's ticks), which
// shows until a later packet clears it (showsPicture): a copy for that piece, shown from its start.
Packet showAgainAt(const AVPacket* shown, const AVStream* stream, std::int64_t start);

// A text event read only after its piece was closed goes to the piece open now, which starts at `start` (in
// the stream's ticks): what still shows there, moved to start at `start`. False when it is over before.
bool keepWhatShowsFrom(AVPacket* packet, std::int64_t start);

} // namespace quorvane::splitter
