// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/avhandles.h"
#include "splitter/inputprobe.h"
#include "splitter/piecefile.h"
#include "splitter/splitter.h"
#include "splitter/timestampmender.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Writes one piece at a time beside the input, through a PieceFile, so a piece either exists whole or not
// at all.
namespace quorvane::splitter {

struct PieceSpan {
    int number = 0; // 0 for the first piece
    std::int64_t start = 0; // where the piece starts showing, in the deciding stream's ticks
    std::int64_t end = 0; // where the next one starts (or the file ends); unknownEnd while reading decides
    static constexpr std::int64_t unknownEnd = INT64_MAX;
    std::int64_t moovReserve = 0; // MP4 family: room for the index in front; 0 to write it in a second pass
    // MP3 pieces after the first: how many samples of frames from the piece before come first, decoded only
    // to fill the decoder's bit reservoir and skipped (the LAME header's encoder delay says so).
    int prerollSamples = -1; // -1: the source's own delay (the first piece)
};

class PieceWriter {
public:
    // `firstShown`: where the source's pictures start, which its timecode names.
    PieceWriter(AVFormatContext* in, const MediaLayout& layout, std::string inputPath, std::int64_t firstShown);
    ~PieceWriter();

    // The writer stops once piece `number` (from 0) is open, saying so on `say`, until SIGUSR1, so tests
    // can end the tool by a signal or change its folder while it writes.
    void holdWhenOpening(int number, std::FILE* say)
    {
        m_holdAt = number;
        m_hold = say;
    }

    // MP4 pieces with their index in front get their media bytes from the source by the kernel (see
    // PayloadRuns) where the file system shares blocks or copies on its own, and wherever the source is
    // read in place (InPlaceReader: the bytes are not in the tool to write); `always` also elsewhere (for
    // the tests), `fast` false never. `kernelCopy` false copies them by reading and writing instead.
    void copyPayload(bool fast, bool always, bool kernelCopy, bool readInPlace)
    {
        m_fastPayload = fast;
        m_fastAlways = always;
        m_kernelCopy = kernelCopy;
        m_readInPlace = readInPlace;
    }

    void unreadForTest(UnreadForTest what) { m_unreadForTest = what; }
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
    // On a block-sharing file system, the first packets of a piece wait until the piece's long run of media
    // bytes shows, then the piece is opened again with room in front that puts that run at the same place
    // within a block as in the source.
    void holdForAlignment(Packet packet);
    void align();
    void addStreams();
    void addChapters();
    void addCovers();
    int mendedNow() const;
    // Removes the piece being written, leaving a finished one alone.
    void discardCurrent();

    AVFormatContext* m_in;
    const MediaLayout& m_layout;
    std::string m_inputPath;
    std::int64_t m_firstShown;
    PieceSpan m_span;
    OutputContext m_out;
    std::vector<TimestampMender> m_menders;
    std::unique_ptr<PieceFile> m_file;
    std::unique_ptr<PieceFile> m_finished; // its media bytes being copied in
    std::string m_final;
    std::FILE* m_hold = nullptr;
    int m_holdAt = 0;
    int m_written = 0;
    bool m_chaptersAdded = false;
    int m_mendedBefore = 0;
    bool m_fastPayload = true;
    bool m_fastAlways = false;
    // Sharing blocks needs the piece's bytes at the same offset within a block as in the source: the index's
    // room grows by what puts the first picture, where the piece's long run of media bytes starts, there.
    int m_blockSize = 0;
    bool m_aligned = true;
    std::vector<Packet> m_sentBeforeAlignment; // as given to write(), held until the piece is aligned
    std::int64_t m_heldBytes = 0;
    bool m_kernelCopy = true;
    bool m_readInPlace = false;
    // A packet left unread reached the piece other than as it came: the piece is written again.
    bool m_spoiled = false;
    int m_spoiledPieces = 0;
    UnreadForTest m_unreadForTest = UnreadForTest::AsUsual;
    int m_source = -1; // the input, read by the kernel's copies
    PayloadRuns::Copied m_copied;
};

} // namespace quorvane::splitter
