// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/plan/packetrouter.h"

namespace quorvane::splitter {

PacketRouter::PacketRouter(std::vector<std::int64_t> cutDts, std::int64_t firstStart)
    : m_cutDts(std::move(cutDts))
    , m_start(m_cutDts.size())
{
    if (m_cutDts.empty()) {
        m_cutDts.push_back(firstStart);
        m_start.emplace_back();
    }
    m_start[0] = firstStart;
}

int PacketRouter::reference(std::optional<std::int64_t> dts, std::optional<std::int64_t> pts)
{
    const std::optional<std::int64_t> t = dts ? dts : pts;
    if (!t)
        return m_refPiece;
    while (m_refPiece + 1 < pieces() && *t >= m_cutDts[static_cast<std::size_t>(m_refPiece) + 1]) {
        ++m_refPiece;
        m_start[static_cast<std::size_t>(m_refPiece)] = pts ? *pts : *t;
    }
    return m_refPiece;
}

void PacketRouter::addCut(std::int64_t dts)
{
    m_cutDts.push_back(dts);
    m_start.emplace_back();
}

std::optional<int> PacketRouter::place(std::optional<std::int64_t> time) const
{
    if (!time)
        return m_refPiece;
    if (m_possibleCut && *time >= *m_possibleCut)
        return std::nullopt;
    // Presentation never precedes decoding, so a time before the next cut's decoding time is settled.
    if (m_refPiece + 1 < pieces() && *time >= m_cutDts[static_cast<std::size_t>(m_refPiece) + 1])
        return std::nullopt;
    int piece = m_refPiece;
    while (piece > 0 && *time < *m_start[static_cast<std::size_t>(piece)])
        --piece;
    return piece;
}

} // namespace quorvane::splitter
