// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// An H.264 stream header ("avcC"), read and written again: the record written must read as the same one.
#include "splitter/bitstream/configrecords.h"
#include "splitter/bitstream/nalunits.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int length = static_cast<int>(std::min<std::size_t>(size, INT32_MAX));
    unitFraming(NalCodec::Avc, data, length);
    const auto config = readAvcC(data, length);
    if (!config)
        return 0;
    const Bytes written = writeAvcC(*config);
    const auto again = readAvcC(written.data(), static_cast<int>(written.size()));
    if (!again || again->start != config->start || again->sps != config->sps || again->pps != config->pps
        || again->rest != config->rest)
        std::abort();
    return 0;
}
