// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/plan/cutplan.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/routing/routedstream.h"
#include "splitter/writing/piecewriter.h"
#include "splitter/writing/reservoirpreroll.h"

#include <deque>
#include <memory>
#include <vector>

// What crosses a cut: a packet that lasts past it and that both pieces share (cutsharing.h), the frames a
// piece's sound starts with from the piece before (MP4, Matroska, MP3), and a subtitle picture that still
// shows. It keeps its state in the distributor's streams.
namespace quorvane::splitter {

class CutCrossing {
public:
    CutCrossing(
        AVFormatContext* in, const MediaLayout& layout, std::vector<RoutedStream>& streams, const StreamClock& clock);

    // What piece `piece` starts with from the one before, to be written once it is open; `span` learns what
    // of it a decoder skips. In the second pass (`onlyOne`) a Matroska piece gets nothing of the kind.
    std::deque<Packet> opening(int piece, PieceSpan& span, bool onlyOne);
    // A packet about to be written: what later pieces may start with.
    void seen(const AVPacket* packet);
    // A packet that lasts past the cut after `piece` and that the pieces can share: shortened to the cut,
    // with what the next piece gets returned.
    Packet splitAtCut(int piece, AVPacket* packet, const SplitPlan& plan) const;
    // The frame before `first` of a stream whose pieces start a frame early (overlapsFrameBefore), for the
    // piece `first` is the first frame of: null where there is none, or the piece has it already.
    Packet frameBefore(int piece, const AVPacket* first);
    // The frame written (or, in the second pass, passed), for frameBefore.
    void rememberFrame(const AVPacket* packet);

private:
    // The frames of the piece before that the piece `span` opens starts with (JoinPreroll).
    void framesBefore(PieceSpan& span, std::deque<Packet>& into);

    AVFormatContext* m_in;
    const MediaLayout& m_layout;
    std::vector<RoutedStream>& m_streams;
    const StreamClock& m_clock;
    // MP3 pieces start with a few frames of the piece before.
    std::unique_ptr<ReservoirPreroll> m_preroll;
};

} // namespace quorvane::splitter
