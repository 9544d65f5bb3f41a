// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/packetrouter.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/sampleindex.h"
#include "splitter/routing/cutcrossing.h"
#include "splitter/routing/readingplanner.h"
#include "splitter/routing/routedstream.h"
#include "splitter/writing/piecewriter.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Hands the input's packets, in the order they are read, to the pieces they belong to: a piece is closed
// once every dense stream has passed its end, and packets for later pieces wait until it is.
namespace quorvane::splitter {

class PieceDistributor {
public:
    // `span` gives what to open for a piece; `rewrite` writes a piece again when its index outgrew its room.
    // `samples`, where the file's index lists every sample: a piece stays open until the sparse streams too
    // have delivered what falls in it, wherever the file stores it.
    PieceDistributor(AVFormatContext* in, const MediaLayout& layout, SplitPlan plan, const SampleIndex* samples,
        PieceWriter& writer, std::function<PieceSpan(int, const SplitPlan&)> span,
        std::function<void(int, const SplitPlan&)> rewrite);
    // Its parts keep references to its clock and streams.
    PieceDistributor(const PieceDistributor&) = delete;
    PieceDistributor& operator=(const PieceDistributor&) = delete;

    // For files without an index of their keyframes: the plan is made while reading (KeyframeCutter),
    // holding the packets since the last keyframe that may still become a cut (at most about a group of
    // pictures).
    void planWhileReading(std::int64_t firstShown, const PieceLength& length);
    const SplitPlan& plan() const { return m_plan; }
    // Keyframes passed over while reading because their group needs the one before (an open GOP).
    int openKeyframes() const { return m_planner ? m_planner->openKeyframes() : 0; }

    // Only piece `piece` is written; packets of every other piece are dropped (the second pass).
    void writeOnly(int piece) { m_only = piece; }

    void begin(int piece);
    void take(Packet packet);
    // The input has ended: everything that waits is written and the open piece closed.
    void end();

    int referencePiece() const { return m_router.referencePiece(); }
    // Subtitle events read only after their piece was closed, too late to be placed.
    int lateEventsLeftOut() const { return m_lateLeftOut; }
    int currentPiece() const { return m_current; }
    std::int64_t referencePackets() const { return m_refPackets; }
    // The latest time the deciding stream has shown, in its ticks.
    std::optional<std::int64_t> lastShown() const { return m_lastShown; }

private:
    struct Waiting {
        int piece;
        Packet packet;
    };

    std::optional<int> placeOf(const AVPacket* packet) const;
    void routeReference(Packet packet);
    void releaseHeld();
    // The packet also shows its stream has passed into `piece`, so earlier pieces need nothing more of it.
    void route(int piece, Packet packet);
    // The second pass: this piece's packets, and the remainder of an event that began before it.
    void routeToOnly(int piece, Packet packet);
    // A packet for a piece after the open one waits, in the file's order within its piece.
    void waitForPiece(int piece, Packet packet);
    // The latest end of a video or audio stream's packet so far, for where the file ends.
    void noteEnd(const AVPacket* packet);
    void drainPending(bool atEnd);
    bool currentCanClose() const;
    void closeCurrentAndOpenNext();
    void finishCurrent();
    void queue(int piece, Packet packet);
    void writeNow(Packet packet);

    AVFormatContext* m_in;
    const MediaLayout& m_layout;
    SplitPlan m_plan;
    const SampleIndex* m_samples;
    PieceWriter& m_writer;
    std::function<PieceSpan(int, const SplitPlan&)> m_span;
    std::function<void(int, const SplitPlan&)> m_rewrite;
    PacketRouter m_router;
    StreamClock m_clock;
    std::vector<RoutedStream> m_streams; // per input stream
    CutCrossing m_crossing;
    std::optional<int> m_only;
    int m_current = -1;
    int m_lateLeftOut = 0;
    std::deque<Waiting> m_queue; // packets for pieces after the open one
    std::deque<Packet> m_pending; // packets waiting for the deciding stream to place them
    std::int64_t m_heldBytes = 0;
    std::int64_t m_refPackets = 0;
    std::optional<std::int64_t> m_lastShown;
    std::optional<std::int64_t> m_lastEnd; // of any stream's, as noteEnd has it
    std::unique_ptr<ReadingPlanner> m_planner;
};

} // namespace quorvane::splitter
