// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/testswitches.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quorvane::splitter {

TestSwitches TestSwitches::fromEnvironment()
{
    TestSwitches switches;
    if (const char* reserve = std::getenv("QUORVANE_SPLIT_MOOV_SIZE_FOR_TEST"))
        switches.moovReserve = std::max(8LL, std::strtoll(reserve, nullptr, 10));
    if (const char* hold = std::getenv("QUORVANE_SPLIT_HOLD_FOR_TEST"))
        switches.holdAt = std::max(1, std::atoi(hold));
    switches.copyPayload = std::getenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST") == nullptr;
    switches.kernelCopy = std::getenv("QUORVANE_SPLIT_NO_KERNEL_COPY_FOR_TEST") == nullptr;
    switches.copyPayloadEverywhere = std::getenv("QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST") != nullptr;
    if (const char* unread = std::getenv("QUORVANE_SPLIT_UNREAD_FOR_TEST"))
        switches.unread = std::strcmp(unread, "fill") == 0 ? UnreadForTest::Fill
            : std::strcmp(unread, "spoil") == 0            ? UnreadForTest::Spoil
                                                           : UnreadForTest::AsUsual;
    if (const char* probed = std::getenv("QUORVANE_SPLIT_PROBED_SAMPLES_FOR_TEST"))
        switches.probedSamples = static_cast<unsigned>(std::max(1, std::atoi(probed)));
    if (const char* less = std::getenv("QUORVANE_SPLIT_WEIGH_LESS_FOR_TEST"))
        switches.weighLess = std::max(0LL, std::strtoll(less, nullptr, 10));
    return switches;
}

} // namespace quorvane::splitter
