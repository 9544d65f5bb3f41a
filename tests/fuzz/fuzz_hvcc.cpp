// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// An HEVC stream header ("hvcC"), read and written again: the record written must read as the same one.
#include "splitter/bitstream/configrecords.h"
#include "splitter/bitstream/nalunits.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int length = static_cast<int>(std::min<std::size_t>(size, INT32_MAX));
    unitFraming(NalCodec::Hevc, data, length);
    const auto config = readHvcC(data, length);
    if (!config)
        return 0;
    const Bytes written = writeHvcC(*config);
    const auto again = readHvcC(written.data(), static_cast<int>(written.size()));
    if (!again || again->start != config->start || again->arrays.size() != config->arrays.size())
        std::abort();
    for (std::size_t a = 0; a < config->arrays.size(); ++a) {
        if (again->arrays[a].head != config->arrays[a].head || again->arrays[a].units != config->arrays[a].units)
            std::abort();
    }
    return 0;
}
