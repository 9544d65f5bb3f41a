// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>

// Timestamps as a careful muxer user keeps them: within one stream, decoding times strictly increase and
// nothing is shown before it is decoded. Joined recordings and broadcast captures break both.
namespace quorvane::splitter {

class TimestampMender {
public:
    struct Times {
        std::optional<std::int64_t> dts;
        std::optional<std::int64_t> pts;
    };

    // The times to write for the stream's next packet; counts each packet whose own times were wrong.
    Times mend(Times times);
    int mended() const { return m_mended; }

private:
    std::optional<std::int64_t> m_lastDts;
    std::optional<std::int64_t> m_lastGivenDts;
    int m_mended = 0;
};

} // namespace quorvane::splitter
