// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/parametersets.h"
#include "splitter/media/avhandles.h"

#include <vector>

// The encoder of the pictures encoded again, set up as the source's pictures are: profile, level, bit depth,
// chroma format, colour description, aspect ratio and field order.
namespace quorvane::splitter {

// The encoder's name for the source's profile: nullptr for one it does not make, "" for one it takes from the
// pixel format.
const char* profileName(const AVCodecParameters* par);

// The encoder for pictures encoded again, its pictures referring to at most `refs` others. x264 numbers its
// parameter sets `parameterSetId`; x265 numbers them 0, and they are numbered again as they are given on.
// Null when there is none here.
CodecContext openEncoder(const AVStream* ref, int parameterSetId, double crf, int refs);

// The parameter sets of an encoder's header, without what else it says (x265 writes its settings there).
std::vector<Bytes> parameterSetsOf(const AVCodecContext* encoder);

} // namespace quorvane::splitter
