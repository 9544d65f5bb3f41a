// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/keyframecutter.h"

namespace quorvane::splitter {

KeyframeCutter::KeyframeCutter(std::int64_t start, std::int64_t length)
    : m_length(length)
{
    m_pieces.push_back({ start, start, false });
}

void KeyframeCutter::cut(const Cut& at, std::vector<Cut>& cuts)
{
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
    if (pts - from <= m_length) {
        m_candidate = Cut { pts, dts };
        return cuts;
    }
    // Past the length: the last candidate is where this piece ends.
    if (m_candidate) {
        cut(*m_candidate, cuts);
        m_candidate.reset();
        from = m_pieces.back().start;
        if (pts - from <= m_length) {
            m_candidate = Cut { pts, dts };
            return cuts;
        }
    }
    // No keyframe within the length: the piece ends at this one, longer than asked.
    m_pieces.back().longerThanAsked = true;
    cut({ pts, dts }, cuts);
    return cuts;
}

std::vector<KeyframeCutter::Cut> KeyframeCutter::finish(std::int64_t end)
{
    std::vector<Cut> cuts;
    if (m_candidate && end - m_pieces.back().start > m_length)
        cut(*m_candidate, cuts);
    m_candidate.reset();
    m_pieces.back().end = std::max(end, m_pieces.back().start);
    if (end - m_pieces.back().start > m_length)
        m_pieces.back().longerThanAsked = true;
    return cuts;
}

std::optional<KeyframeCutter::Cut> KeyframeCutter::settleNow()
{
    if (!m_candidate)
        return std::nullopt;
    std::vector<Cut> cuts;
    cut(*m_candidate, cuts);
    m_candidate.reset();
    return cuts.front();
}

} // namespace quorvane::splitter
