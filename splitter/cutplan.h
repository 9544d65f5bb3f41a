// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the pieces are cut, worked out from times alone: no FFmpeg types here, so it is tested in-process.
namespace quorvane::splitter {

struct PlannedPiece {
    std::int64_t start = 0; // ticks
    std::int64_t end = 0;
    bool longerThanAsked = false; // no keyframe within the length after `start`
    // The piece starts at a keyframe whose leading pictures (decoded after it, shown before it) need the
    // piece before: those pictures, and the keyframe hidden by the edit list, end the piece before, and
    // this piece starts with the keyframe alone, so every picture shows once and decodes cleanly.
    bool openStart = false;
};

// Greedy cut: each piece ends at the last keyframe at or before its start plus `length`, so pieces are as
// long as allowed and as few as possible; the rest of the file becomes the last piece as soon as it fits in
// one length. Without a keyframe inside the length, the piece ends at the next keyframe (or the end).
// `keyframes` are ascending start times of the sync samples; `start` and `end` bound the whole file.
std::vector<PlannedPiece> planPieces(
    const std::vector<std::int64_t>& keyframes, std::int64_t start, std::int64_t end, std::int64_t length);

// Which keyframes a piece can start at: those whose group has no leading pictures (shown before the
// keyframe but decoded after it). Leading pictures of an open group of pictures refer to the group before,
// so a piece starting there loses them or shows them broken. `pts` holds the deciding stream's
// presentation times in decoding order, `key` its keyframe flags; the answer has one flag per keyframe.
std::vector<bool> cleanKeyframes(const std::vector<std::int64_t>& pts, const std::vector<bool>& key);

// The decoding time of the keyframe that starts each piece: `keyPts` ascending with `keyDts` beside it,
// as the planner saw them. Piece 0 gets its own start.
std::vector<std::int64_t> cutDecodingTimes(const std::vector<PlannedPiece>& pieces,
    const std::vector<std::int64_t>& keyPts, const std::vector<std::int64_t>& keyDts);

// The piece length in ticks of `num`/`den` seconds, at least one tick.
std::int64_t lengthInTicks(double seconds, int num, int den);

// "2.5" -> 2.5; nullopt for anything that is not a finite number above zero.
std::optional<double> parseSeconds(const std::string& text);

// clip.mp4 -> clip_001.mp4 beside it; Clip.MP4 -> Clip_001.MP4; 1000 and on take the digits they need.
std::string pieceFileName(const std::string& path, int number);

// Room for the moov box of a piece, enough for every track's sample tables; used to write moov first in
// one pass. `samples` holds the sample count of each track, `extra` the bytes of codec headers and tags.
std::int64_t moovReservation(const std::vector<std::int64_t>& samples, std::int64_t extra);

// 754.2 -> "0:12:34.2": how a time in a message reads.
std::string clockTime(double seconds);

} // namespace quorvane::splitter
