// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// H.264 parameter sets: two units (an SPS and a PPS, or two SPSs), each read as an SPS and a PPS. An SPS written
// again must read as the same set, and so must one matched to the other.
#include "splitter/bitstream/avcslices.h"
#include "splitter/bitstream/avcsps.h"
#include "splitter/bitstream/parametersets.h"

#include "fuzzinput.h"

#include <cstdlib>

using namespace quorvane::splitter;

namespace {

void roundTrip(const AvcSps& sps)
{
    const auto again = readAvcSps(writeAvcSps(sps));
    if (!again || !(*again == sps))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    const Bytes first = in.part();
    const Bytes second = in.rest();
    std::optional<AvcSps> sets[2];
    int i = 0;
    for (const Bytes* unit : { &first, &second }) {
        avcParameterSetId(*unit);
        readAvcPps(*unit);
        sets[i] = readAvcSps(*unit);
        if (sets[i])
            roundTrip(*sets[i]);
        ++i;
    }
    if (sets[0] && sets[1]) {
        if (const auto matched = matchAvcSps(*sets[0], *sets[1]))
            roundTrip(*matched);
    }
    return 0;
}
