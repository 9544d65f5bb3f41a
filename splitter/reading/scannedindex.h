// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/reading/sampleindex.h"

#include <functional>
#include <memory>

// For a file whose index does not list every sample (Matroska, MPEG-TS): one made by reading it once, for a
// plan that needs every picture's times before the pieces are written (exact pieces, and cuts at open
// groups' keyframes).
namespace quorvane::splitter {

// Whether the first groups of pictures of stream `stream` are open (a keyframe after the first has leading
// pictures), from reading the start of `in`: the caller opens the file again.
bool opensWithOpenGroups(AVFormatContext* in, int stream);

// Reads `in` to its end, calling `progress` with the bytes read so far; the caller opens the file again to
// split it. nullptr when the file could not be read through.
std::unique_ptr<SampleIndex> scanSamples(AVFormatContext* in, const std::function<void(std::int64_t)>& progress);

} // namespace quorvane::splitter
