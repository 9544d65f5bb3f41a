// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// H.264 pictures restarted at a keyframe: a stream header ("avcC", or Annex B units), then pictures in
// decoding order, each after a byte that says whether it is a keyframe and which of the calls the tool makes
// it is given to.
#include "splitter/bitstream/avcrestart.h"

#include "fuzzinput.h"

#include <algorithm>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    const Bytes header = in.part();
    AvcRestart restart(header.data(), static_cast<int>(header.size()));
    while (!in.empty()) {
        const std::uint8_t flags = in.byte();
        const Bytes picture = in.part();
        const bool key = (flags & 1) != 0;
        if (flags & 2)
            restart.canStartAfresh(picture.data(), picture.size());
        if (flags & 4)
            restart.withPictureOrder(
                picture, static_cast<unsigned>(flags >> 4), 4u + static_cast<unsigned>(flags >> 4));
        if (flags & 8) {
            // Told from the picture's first bytes only.
            if (!restart.changes(picture.data(), std::min<std::size_t>(picture.size(), 64), key))
                continue;
        }
        if (restart.wants(key))
            restart.picture(picture.data(), picture.size(), key);
    }
    return 0;
}
