// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/bitstream/parametersets.h"
#include "splitter/media/avhandles.h"
#include "splitter/plan/exactcuts.h"
#include "splitter/recoding/lumacomparison.h"

#include <cstdint>
#include <functional>
#include <vector>

// A stretch decoded and encoded again at one rate, each picture decoded again to be compared with the source's.
namespace quorvane::splitter {

// One way of encoding the stretch again, and how it came out.
struct EncodedStretch {
    double crf = 0;
    std::vector<Packet> packets; // as the encoder gave them
    std::int64_t bytes = 0;
    LumaComparison quality;
};

class StretchEncoder {
public:
    // For the deciding stream `ref`: the encoder numbers its H.264 parameter sets `parameterSetId`, its pictures
    // refer to at most `refs` others, and its parameter sets must be `sets` whatever the rate.
    StretchEncoder(const AVStream* ref, int parameterSetId, int refs, const std::vector<Bytes>& sets);

    // Decodes `packets` (the stretch's, from the keyframe it decodes from) and encodes again at rate `crf` the
    // pictures of `stretch`, whose times `pts` holds by decoding index from its first. `onPicture`, if any, is
    // called after each. Throws SplitError.
    EncodedStretch encode(const RecodedStretch& stretch, const std::vector<Packet>& packets,
        const std::vector<std::int64_t>& pts, double crf, const std::function<void()>& onPicture) const;

private:
    const AVStream* m_ref;
    int m_parameterSetId;
    int m_refs;
    const std::vector<Bytes>& m_sets;
};

} // namespace quorvane::splitter
