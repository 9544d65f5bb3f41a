// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How far each sample of an MP4-family track shows after it is decoded, read from the index alone.
namespace quorvane::splitter {

struct CompositionOffsets {
    std::vector<std::int64_t> offsets; // per sample, in the track's own time scale; all 0 without a table
    std::int64_t decodeShift = 0; // mp4::decodeShift()
    std::int64_t lastDuration = 0; // of the last sample, from the "stts" table
};

// The composition offsets of the track with `trackId` (its "ctts" table). Reads only the "moov" box.
// nullopt when the file is fragmented or its index cannot be read this way. Where the tables count more samples
// than `listed` (as many as libavformat's index lists), no offsets are listed: a table's few bytes can count
// millions.
std::optional<CompositionOffsets> readCompositionOffsets(const std::string& path, int trackId, std::int64_t listed);

// The same from the bytes of a "moov" box's payload (what follows its 8-byte header).
std::optional<CompositionOffsets> compositionOffsetsInMoov(
    const std::vector<unsigned char>& moov, int trackId, std::int64_t listed = 100'000'000);

} // namespace quorvane::splitter
