// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/keyframecutter.h"
#include "splitter/plan/packetrouter.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/sampleindex.h"
#include "splitter/writing/joinpreroll.h"
#include "splitter/writing/piecewriter.h"
#include "splitter/writing/reservoirpreroll.h"

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

    // For files without an index of their keyframes: the plan is made while reading (KeyframeCutter),
    // holding the packets since the last keyframe that may still become a cut (at most about a group of
    // pictures).
    void planWhileReading(std::int64_t firstShown, const PieceLength& length);
    const SplitPlan& plan() const { return m_plan; }
    // Keyframes passed over while reading because their group needs the one before (an open GOP).
    int openKeyframes() const { return m_cutter ? m_cutter->openKeyframes() : 0; }

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

    std::optional<std::int64_t> timeOf(const AVPacket* packet) const;
    std::optional<int> placeOf(const AVPacket* packet) const;
    void routeReference(Packet packet);
    void holdReference(Packet packet);
    void applyCuts(const std::vector<KeyframeCutter::Cut>& cuts);
    void releaseHeld();
    // The packet also shows its stream has passed into `piece`, so earlier pieces need nothing more of it.
    void route(int piece, Packet packet);
    // The latest end of a video or audio stream's packet so far, for where the file ends.
    void noteEnd(const AVPacket* packet);
    void drainPending(bool atEnd);
    bool currentCanClose() const;
    void closeCurrentAndOpenNext();
    void finishCurrent();
    // A packet that lasts past the cut after `piece` and that the pieces can share (cutsharing.h): shortened
    // to the cut, with what the next piece gets returned.
    Packet splitAtCut(int piece, AVPacket* packet) const;
    void queue(int piece, Packet packet);
    void writeNow(Packet packet);
    // The frames of the piece before that piece `piece` starts with (JoinPreroll), written once it is open.
    std::vector<std::deque<Packet>> framesBefore(int piece, PieceSpan& span);
    // The frame before `first` of a stream whose pieces start a frame early (overlapsFrameBefore), for the
    // piece `first` is the first frame of: null where there is none, or the piece has it already.
    Packet frameBefore(int piece, const AVPacket* first);
    void rememberFrame(const AVPacket* packet);

    AVFormatContext* m_in;
    const MediaLayout& m_layout;
    SplitPlan m_plan;
    const SampleIndex* m_samples;
    PieceWriter& m_writer;
    std::function<PieceSpan(int, const SplitPlan&)> m_span;
    std::function<void(int, const SplitPlan&)> m_rewrite;
    PacketRouter m_router;
    std::optional<int> m_only;
    int m_current = -1;
    std::vector<int> m_passed; // per input stream: the highest piece a packet of it went to
    std::vector<std::int64_t> m_received; // per input stream: packets read so far
    // Per input stream: a video stream besides the deciding one (a broadcast's second program), which each
    // piece starts at a keyframe of its own, and the piece its pictures go to now.
    std::vector<bool> m_ownKeyframes;
    std::vector<int> m_videoPiece;
    // Per input stream whose MP4 pieces' sound starts a frame early: the frame last written (in the second pass,
    // seen), and the last piece given its frame before.
    std::vector<bool> m_startsEarly;
    std::vector<Packet> m_lastFrame;
    std::vector<int> m_earlyIn;
    // Per input audio stream of Matroska pieces: the frames each piece starts with from the one before.
    std::vector<std::unique_ptr<JoinPreroll>> m_joins;
    // Per input stream: the bitmap subtitle picture written last, while it still shows (showsPicture).
    std::vector<Packet> m_showing;
    int m_lateLeftOut = 0;
    std::deque<Waiting> m_queue; // packets for pieces after the open one
    std::deque<Packet> m_pending; // packets waiting for the deciding stream to place them
    std::int64_t m_heldBytes = 0;
    std::int64_t m_refPackets = 0;
    std::optional<std::int64_t> m_lastShown;
    std::optional<std::int64_t> m_lastEnd; // of any stream's, as noteEnd has it

    // Planning while reading.
    std::unique_ptr<KeyframeCutter> m_cutter;
    std::deque<Packet> m_heldReference;
    // MP3 pieces start with a few frames of the piece before.
    std::unique_ptr<ReservoirPreroll> m_preroll;
};

} // namespace quorvane::splitter
