// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <cstdint>

// Packets that last across a cut and that the pieces on both sides share, each showing its part: a
// subtitle's event, in text or a picture, and in MP4 an audio frame, since MP4's edit lists say how much of a track's
// first and last sample is shown, so the pieces meet exactly. So does an Opus frame in Matroska: the piece before
// discards what follows the cut (DiscardPadding), the piece after skips what precedes it (its pre-skip).
namespace quorvane::splitter {

bool sharedAtCuts(const AVStream* stream, const AVOutputFormat* pieces);

// `packet` of `stream` starts before `cut` and lasts past it (in the stream's ticks): it is shortened to end
// there, and what the piece after the cut gets is returned. Null when it does not cross the cut. In Matroska
// pieces the shortened audio frame says how many of its samples to discard.
Packet splitAtCut(AVPacket* packet, const AVStream* stream, std::int64_t cut, const AVOutputFormat* pieces);

// How many of the samples of audio frame `packet` come before `cut` (in the stream's ticks), counted at
// sampleClock(): the same count on both sides of a cut.
int samplesBeforeCut(const AVPacket* packet, const AVStream* stream, std::int64_t cut);

// Marks `packet` to have `start` samples skipped and `end` discarded when decoded (the Matroska writer writes the
// latter as DiscardPadding); any such marks it had are replaced. Throws std::bad_alloc.
void markSkipped(AVPacket* packet, int start, int end);
// Removes such marks: a decoder takes a packet's marks as what to skip from there on, even where they say 0.
void dropSkipMarks(AVPacket* packet);

// A bitmap subtitle picture still showing where a piece starts, at `start` (in the stream's ticks), which
// shows until a later packet clears it (showsPicture): a copy for that piece, shown from its start.
Packet showAgainAt(const AVPacket* shown, const AVStream* stream, std::int64_t start);

// A text event read only after its piece was closed goes to the piece open now, which starts at `start` (in
// the stream's ticks): what still shows there, moved to start at `start`. False when it is over before.
bool keepWhatShowsFrom(AVPacket* packet, std::int64_t start);

} // namespace quorvane::splitter
