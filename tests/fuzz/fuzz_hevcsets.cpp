// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// HEVC parameter sets: a byte of new numbers, then two units (a VPS, SPS or PPS each, or a slice), each read
// for its fields, its numbers and its picture buffer. A set known by other numbers must read with them, and
// one set's buffer matched to the other's must read again.
#include "splitter/bitstream/hevcsets.h"
#include "splitter/bitstream/parametersets.h"

#include "fuzzinput.h"

#include <cstdlib>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::test::FuzzInput in(data, size);
    const std::uint8_t numbers = in.byte();
    const Bytes first = in.part();
    const Bytes second = in.rest();
    const unsigned id = numbers & 15u;
    const unsigned referred = static_cast<unsigned>(numbers >> 4);
    for (const Bytes* unit : { &first, &second }) {
        readHevcSpsFields(*unit);
        readHevcPpsFields(*unit);
        hevcSpsProfile(*unit);
        hevcBuffer(*unit);
        const auto had = hevcParameterSetId(*unit);
        if (const auto renumbered = renumberHevcParameterSet(*unit, id, referred)) {
            if (!had || hevcParameterSetId(*renumbered) != id)
                std::abort();
        }
        renumberHevcSlice(*unit, id + referred);
    }
    if (const auto matched = matchHevcBuffer(first, second)) {
        if (!hevcBuffer(*matched))
            std::abort();
    }
    return 0;
}
