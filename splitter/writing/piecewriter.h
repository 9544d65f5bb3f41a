// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/contract/testswitches.h"
#include "splitter/media/avhandles.h"
#include "splitter/plan/timestampmender.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/writing/arrivalstamps.h"
#include "splitter/writing/flacstreaminfo.h"
#include "splitter/writing/keyframerestarts.h"
#include "splitter/writing/piecefile.h"
#include "splitter/writing/piecesetup.h"
#include "splitter/writing/startalignment.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Writes one piece at a time beside the input, through a PieceFile, so a piece either exists whole or not
// at all.
namespace quorvane::splitter {

class PieceWriter {
public:
    // `firstShown`: where the source's pictures start, which its timecode names. `switches` say how MP4
    // pieces get their media bytes (see copyPayload below).
    PieceWriter(AVFormatContext* in, const MediaLayout& layout, std::string inputPath, std::int64_t firstShown,
        const TestSwitches& switches = {});
    ~PieceWriter();

    // MP4 pieces with their index in front get their media bytes from the source by the kernel (see
    // PayloadRuns) where the file system shares blocks or copies on its own, and wherever the source is read
    // in place (`readInPlace`: the bytes are not in the tool to write).
    void copyPayload(bool readInPlace) { m_readInPlace = readInPlace; }
    // Told once a piece (from 0) is open, and whenever a piece has its name.
    void onOpened(std::function<void(int)> opened) { m_opened = std::move(opened); }
    void onNamed(std::function<void()> named) { m_named = std::move(named); }

    // Pieces written again because a packet left unread did not reach them whole.
    int piecesSpoiled() const { return m_spoiledPieces; }

    void open(const PieceSpan& span);
    // `packet` in the input's stream numbering and times; rebased onto the piece's start.
    void write(Packet packet);
    // Where the piece ends, once known (a plan made while reading learns it only when the next piece begins).
    void setEnd(std::int64_t end) { m_span.end = end; }
    // False when the MP4 index outgrew its reserved room, or a packet left unread did not come out whole:
    // the piece is removed, to be written again from bytes read as usual. A finished piece's media bytes
    // are copied in while the next piece is written; it gets its name when that one finishes, or at
    // complete().
    bool finish();
    // Waits for the last finished piece and gives it its name. Throws SplitError.
    void complete();
    // Removes the piece being written, if any, after completing a finished one still being copied. Throws
    // SplitError when that one fails.
    void abandon();

    bool isOpen() const { return static_cast<bool>(m_out); }
    int piece() const { return m_span.number; }
    int piecesWritten() const { return m_written; }
    int timestampsMended() const { return m_mendedBefore + mendedNow(); }
    // Media bytes of the pieces written so far that the kernel copied, and that were read and written.
    const PayloadRuns::Copied& payloadCopied() const { return m_copied; }

private:
    // Hands a packet to the muxer: the MP4 writer takes packets in the order given (the source's, so a
    // piece's media bytes follow each other as in the source), the others interleave them.
    int send(AVPacket* packet, const AVStream* from);
    // The packets held for the piece's alignment (StartAlignment) are written, after the piece is opened again
    // with more room in front where they need it.
    void align();
    void startPayloadCopy(const PieceSpan& span);
    void writeHeader(const PieceSpan& span);
    void addCovers();
    int mendedNow() const;
    // Removes the piece being written, leaving a finished one alone.
    void discardCurrent();
    // Abandons the piece and throws the SplitError for `averror`.
    [[noreturn]] void fail(int averror, bool settingUp = false);

    AVFormatContext* m_in;
    const MediaLayout& m_layout;
    const ContainerFacts& m_container;
    std::string m_inputPath;
    std::int64_t m_firstShown;
    TestSwitches m_switches;
    PieceSpan m_span;
    OutputContext m_out;
    std::unique_ptr<FlacStreamInfo> m_flac; // for FLAC pieces
    std::unique_ptr<ArrivalStamps> m_stamps; // between the muxer and the file, for 192-byte TS pieces
    std::vector<TimestampMender> m_menders;
    // Each piece starts its H.264 and HEVC video afresh at its first keyframe, and again after pictures
    // encoded again with parameter sets of their own.
    std::unique_ptr<KeyframeRestarts> m_restarts;
    SystemFile m_source; // the input, read by the kernel's copies; outlives the pieces copying from it
    std::unique_ptr<PieceFile> m_file;
    std::unique_ptr<PieceFile> m_finished; // its media bytes being copied in
    std::string m_final;
    std::function<void(int)> m_opened;
    std::function<void()> m_named;
    int m_written = 0;
    bool m_chaptersAdded = false;
    int m_mendedBefore = 0;
    StartAlignment m_alignment;
    bool m_readInPlace = false;
    // A packet left unread reached the piece other than as it came: the piece is written again.
    bool m_spoiled = false;
    int m_spoiledPieces = 0;
    PayloadRuns::Copied m_copied;
};

} // namespace quorvane::splitter
