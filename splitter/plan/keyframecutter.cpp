// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/keyframecutter.h"

namespace quorvane::splitter {

KeyframeCutter::KeyframeCutter(std::int64_t start, const PieceLength& length)
    : m_limits(length, start)
{
    m_pieces.push_back({ start, start, false });
}

void KeyframeCutter::cut(const Cut& at, bool forced, std::vector<Cut>& cuts)
{
    m_limits.cut(at.pts, forced);
    m_pieces.back().end = at.pts;
    m_pieces.push_back({ at.pts, at.pts, false });
    cuts.push_back(at);
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::keyframe(std::int64_t pts, std::int64_t dts)
{
    std::vector<Cut> cuts;
    std::int64_t from = m_pieces.back().start;
    if (pts <= from)
        return cuts;
    if (pts <= m_limits.latestEnd(from)) {
        m_candidate = Cut { pts, dts };
        return cuts;
    }
    // Past the length: the last candidate is where this piece ends.
    if (m_candidate) {
        cut(*m_candidate, false, cuts);
        m_candidate.reset();
        from = m_pieces.back().start;
        if (pts <= m_limits.latestEnd(from)) {
            m_candidate = Cut { pts, dts };
            return cuts;
        }
    }
    // No keyframe within the length: the piece ends at this one, longer than asked.
    m_pieces.back().longerThanAsked = true;
    cut({ pts, dts }, true, cuts);
    return cuts;
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::picture(std::int64_t pts, std::int64_t dts, bool key)
{
    std::vector<Cut> cuts = key ? verify() : std::vector<Cut> {};
    m_group.picture(pts, key);
    if (key)
        m_unverified = Cut { pts, dts };
    return cuts;
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::verify()
{
    // A keyframe is known to open a closed group once the next keyframe has come: no picture decoded after
    // it showed before it.
    if (!m_unverified)
        return {};
    const Cut key = *m_unverified;
    m_unverified.reset();
    if (m_group.open()) {
        ++m_openKeyframes;
        return {};
    }
    return keyframe(key.pts, key.dts);
}

std::optional<KeyframeCutter::Cut> KeyframeCutter::possibleCut() const
{
    std::optional<Cut> from = m_candidate;
    if (m_unverified && (!from || m_unverified->dts < from->dts))
        from = m_unverified;
    return from;
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::finish(std::int64_t end)
{
    std::vector<Cut> cuts = verify();
    if (m_candidate && !m_limits.restFits(m_pieces.back().start, end))
        cut(*m_candidate, false, cuts);
    m_candidate.reset();
    m_pieces.back().end = std::max(end, m_pieces.back().start);
    if (!m_limits.restFits(m_pieces.back().start, end))
        m_pieces.back().longerThanAsked = true;
    return cuts;
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::settleNow()
{
    std::vector<Cut> cuts = verify();
    if (m_candidate)
        cut(*m_candidate, false, cuts);
    m_candidate.reset();
    return cuts;
}

} // namespace quorvane::splitter
