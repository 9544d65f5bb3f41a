// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/timestampmender.h"

#include <algorithm>

namespace quorvane::splitter {

TimestampMender::Times TimestampMender::mend(Times times)
{
    const Times given = times;
    // A packet without a decoding time (Matroska gives none to the first pictures of a stream with
    // B-frames) is decoded right after the last one; the first at its presentation. Taking its
    // presentation time would push the decoding times of the pictures after it past their own
    // presentation, and mending those would move them on screen.
    if (!times.dts)
        times.dts = m_lastDts ? *m_lastDts + 1 : times.pts.value_or(0);
    if (m_lastDts && *times.dts <= *m_lastDts)
        times.dts = *m_lastDts + 1;
    if (!times.pts || *times.pts < *times.dts)
        times.pts = times.dts;
    m_lastDts = times.dts;
    // Counted: what the file itself got wrong (a time that steps back, a packet with no time at all, a
    // picture shown before it is decoded), not the decoding times filled in or moved along after it.
    const bool steppedBack = given.dts && m_lastGivenDts && *given.dts <= *m_lastGivenDts;
    if (steppedBack || (!given.dts && !given.pts) || (given.pts && *given.pts != *times.pts))
        ++m_mended;
    if (given.dts)
        m_lastGivenDts = given.dts;
    return times;
}

} // namespace quorvane::splitter
