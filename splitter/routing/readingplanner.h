// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/keyframecutter.h"
#include "splitter/plan/packetrouter.h"
#include "splitter/routing/routedstream.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// For files without an index of their keyframes: the plan is made while reading (KeyframeCutter). The
// deciding stream's packets since the last keyframe that may still become a cut wait here (at most about a
// group of pictures) until it is known which piece they go to.
namespace quorvane::splitter {

class ReadingPlanner {
public:
    // Cuts found go to `plan` and `router`; `heldBytes` counts what waits anywhere in the distributor.
    ReadingPlanner(std::int64_t firstShown, const PieceLength& length, SplitPlan& plan, PacketRouter& router,
        const StreamClock& clock, std::int64_t& heldBytes);

    // Keyframes passed over because their group needs the one before (an open GOP).
    int openKeyframes() const { return m_cutter.openKeyframes(); }
    // The keyframe that may still become a cut, if any.
    std::optional<KeyframeCutter::Cut> possibleCut() const { return m_cutter.possibleCut(); }

    // A packet of the deciding stream: it waits, and may decide cuts.
    void hold(Packet packet);
    // The input has ended, its streams shown until `end`: the last cuts are made.
    void finish(std::int64_t end);
    // The next packet that waited and whose piece is known now, in reading order; null when none is.
    Packet released();

private:
    void applyCuts(const std::vector<KeyframeCutter::Cut>& cuts);
    // After the cutter changed: what may be released, and what the router holds back.
    void settle();

    KeyframeCutter m_cutter;
    SplitPlan& m_plan;
    PacketRouter& m_router;
    const StreamClock& m_clock;
    std::int64_t& m_heldBytes;
    std::deque<Packet> m_held;
    std::optional<KeyframeCutter::Cut> m_possibleCut;
};

} // namespace quorvane::splitter
