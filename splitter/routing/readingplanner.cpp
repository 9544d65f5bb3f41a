// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/routing/readingplanner.h"

namespace quorvane::splitter {

ReadingPlanner::ReadingPlanner(std::int64_t firstShown, const PieceLength& length, SplitPlan& plan,
    PacketRouter& router, const StreamClock& clock, std::int64_t& heldBytes)
    : m_cutter(firstShown, length)
    , m_plan(plan)
    , m_router(router)
    , m_clock(clock)
    , m_heldBytes(heldBytes)
{
    m_plan.pieces = m_cutter.pieces();
    m_plan.cutDts = { m_plan.fileStart }; // as the router has it; each cut found is added to both
}

void ReadingPlanner::applyCuts(const std::vector<KeyframeCutter::Cut>& cuts)
{
    if (cuts.empty())
        return; // the plan changes only with a cut, but for its end
    for (const KeyframeCutter::Cut& cut : cuts) {
        m_router.addCut(cut.dts);
        m_plan.cutDts.push_back(cut.dts);
    }
    m_plan.pieces = m_cutter.pieces();
}

void ReadingPlanner::settle()
{
    m_possibleCut = m_cutter.possibleCut();
    m_router.setPossibleCut(m_possibleCut ? std::optional(m_possibleCut->dts) : std::nullopt);
}

void ReadingPlanner::hold(Packet packet)
{
    const std::optional<std::int64_t> dts = m_clock.decoded(packet.get());
    const std::optional<std::int64_t> pts = packet->pts != AV_NOPTS_VALUE ? m_clock.shown(packet.get()) : dts;
    if (dts && pts)
        applyCuts(m_cutter.picture(*pts, *dts, (packet->flags & AV_PKT_FLAG_KEY) != 0));
    m_heldBytes += packet->size;
    m_held.push_back(std::move(packet));
    if (m_heldBytes > heldMemoryCap) {
        // Too much waits: settle now, at the cost of a piece shorter than it might have been.
        applyCuts(m_cutter.settleNow());
    }
    settle();
}

void ReadingPlanner::finish(std::int64_t end)
{
    applyCuts(m_cutter.finish(end));
    m_plan.pieces = m_cutter.pieces();
    settle();
}

Packet ReadingPlanner::released()
{
    if (m_held.empty())
        return {};
    const std::optional<std::int64_t> t = m_clock.decoded(m_held.front().get());
    if (m_possibleCut && t && *t >= m_possibleCut->dts)
        return {};
    Packet packet = std::move(m_held.front());
    m_held.pop_front();
    m_heldBytes -= packet->size;
    return packet;
}

} // namespace quorvane::splitter
