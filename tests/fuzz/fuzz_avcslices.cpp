// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// H.264 slice headers: an SPS and a PPS learnt, then a slice read and written again with another frame number,
// made an IDR picture's or not, and given a picture order count. A slice written with its own header's values
// must read again with them.
#include "splitter/bitstream/avcslices.h"
#include "splitter/bitstream/nalbits.h"

#include "fuzzinput.h"

#include <cstdlib>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    AvcSlices slices;
    slices.learn(in.part());
    slices.learn(in.part());
    const std::uint8_t choice = in.byte();
    const Bytes unit = in.rest();
    const Bytes payload = unescape(unit);
    slices.withPictureOrder(unit, choice, 4u + (choice & 15u));
    const auto slice = slices.read(payload);
    if (!slice)
        return 0;

    AvcSliceChange same;
    same.frameNum = slice->frameNum;
    same.reorder[0] = slice->reorder[0];
    same.reorder[1] = slice->reorder[1];
    same.mmco = slice->mmco;
    if (const auto written = slices.write(payload, *slice, same)) {
        const auto again = slices.read(unescape(*written));
        if (!again || again->frameNum != slice->frameNum || again->type != slice->type || again->pps != slice->pps
            || again->mmco.size() != slice->mmco.size())
            std::abort();
    }

    AvcSliceChange other;
    other.frameNum = choice;
    other.toIdr = (choice & 1) != 0 && !slice->idr; // as restarting does: an IDR picture's stays one
    other.idrPicId = static_cast<unsigned>(choice >> 1);
    if (const auto written = slices.write(payload, *slice, other)) {
        const auto again = slices.read(unescape(*written));
        const unsigned frames = (1u << slices.spsOf(*slice).log2MaxFrameNum) - 1;
        if (!again || again->frameNum != (other.frameNum & frames) || (other.toIdr && !again->idr))
            std::abort();
    }
    return 0;
}
