// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/timestampmender.h"

#include <algorithm>

namespace quorvane::splitter {

TimestampMender::Times TimestampMender::mend(Times times)
{
    const Times given = times;
    if (!times.dts) // a packet without a decoding time is decoded where it is shown, or right after the last
        times.dts = times.pts ? (m_lastDts ? std::max(*times.pts, *m_lastDts + 1) : *times.pts)
                              : (m_lastDts ? *m_lastDts + 1 : 0);
    if (m_lastDts && *times.dts <= *m_lastDts)
        times.dts = *m_lastDts + 1;
    if (!times.pts || *times.pts < *times.dts)
        times.pts = times.dts;
    m_lastDts = times.dts;
    if (times.dts != given.dts || times.pts != given.pts)
        ++m_mended;
    return times;
}

} // namespace quorvane::splitter
