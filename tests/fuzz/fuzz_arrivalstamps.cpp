// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The arrival stamps of 192-byte transport stream packets: what the writer writes, given in parts of the
// lengths the input says, stamped again on the way to a buffer. Every byte given must come out, once.
#include "splitter/writing/arrivalstamps.h"

#include "fuzzinput.h"

#include <cstdlib>

using namespace quorvane::splitter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    AVIOContext* out = nullptr;
    if (avio_open_dyn_buf(&out) < 0)
        std::abort();
    std::size_t given = 0;
    {
        ArrivalStamps stamps(out);
        quorvane::test::FuzzInput in(data, size);
        while (!in.empty()) {
            const std::vector<std::uint8_t> written = in.part();
            avio_write(stamps.io(), written.data(), static_cast<int>(written.size()));
            given += written.size();
        }
        if (stamps.finish() < 0)
            std::abort();
    }
    std::uint8_t* bytes = nullptr;
    const int length = avio_close_dyn_buf(out, &bytes);
    av_free(bytes);
    if (length < 0 || static_cast<std::size_t>(length) != given)
        std::abort();
    return 0;
}
