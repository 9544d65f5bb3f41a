// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// HEVC pictures restarted at a CRA keyframe: a byte that says whether the first picture starts afresh, a
// stream header ("hvcC", or Annex B units), then pictures in decoding order, each after a byte that says
// whether it is a keyframe.
#include "splitter/bitstream/hevcrestart.h"

#include "fuzzinput.h"

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    const bool startAfresh = (in.byte() & 1) != 0;
    const Bytes header = in.part();
    HevcRestart restart(header.data(), static_cast<int>(header.size()), startAfresh);
    while (!in.empty()) {
        const bool key = (in.byte() & 1) != 0;
        const Bytes picture = in.part();
        if (restart.wants(key))
            restart.picture(picture.data(), picture.size());
    }
    return 0;
}
