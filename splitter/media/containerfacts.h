// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

// What the tool knows of the containers it writes pieces in, in one table beside the codec table: one row per
// kind of pieces written in a way of its own, each with its reason. Pieces of any other kind are written as
// libavformat writes them, and every fact is false for them.
namespace quorvane::splitter {

// What a piece weighs on disk beyond its packets' bytes, at most, for pieces of at most a size: what every piece
// has once, what each packet adds, and what the container repeats as time goes by. An MP4 piece's index is
// counted apart, from its samples.
struct PieceOverhead {
    std::int64_t perPiece = 64 * 1024;
    std::int64_t perPacket = 32;
    std::int64_t perSecond = 1024;
    // Media carried in fixed-size packets of so many bytes of payload each (MPEG-TS: 184), the last one of each
    // packet given padded; 0 for none.
    int payloadPerPacket = 0;
};

struct ContainerFacts {
    // A piece's index goes in front of its media: in room reserved for it (moov_size), or moved there once the
    // piece is written (faststart).
    bool indexInFront = false;
    // The writer takes packets in the order given and writes each sample's bytes as given, so a piece's media
    // bytes lie as in the source and can be copied from it by the kernel (PayloadRuns).
    bool mediaFromSource = false;
    // An edit list hides what a piece's sound starts with before its start: an audio frame that crosses a cut
    // goes whole into both pieces.
    bool editListHidesSamples = false;
    // A cover picture is kept as a picture of its own, outside the codec tables libavformat's query reads.
    bool keepsCoverPicture = false;
    // The writer keeps every attachment (a styled subtitle's fonts), though its codec tables list none.
    bool keepsAttachments = false;
    // A track's CodecDelay hides the samples a decoder skips at its start (Opus's pre-skip), and a block's
    // DiscardPadding the end of a frame cut short: a frame that crosses a cut can go into both pieces.
    bool codecDelayHidesSamples = false;
    // Nothing hides samples before a piece's first frame from every player: a piece's sound starts with whole
    // frames of the piece before only where its decoder needs them and no player hears them (JoinPreroll).
    bool joinsFramesBefore = false;
    // Some players take only IDR pictures for keyframes here (Firefox): an HEVC CRA picture that starts a piece,
    // or follows pictures encoded again, is made an IDR picture.
    bool keyframesMustBeIdr = false;
    // The LAME header's encoder delay hides a piece's first samples: a piece can start with the frames that
    // fill its decoder's bit reservoir (ReservoirPreroll).
    bool encoderDelayHidesFrames = false;
    // The header is the codec's STREAMINFO and each frame counts from the file's start: a piece gets a
    // STREAMINFO and frame numbers of its own (FlacStreamInfo).
    bool numbersFramesFromStart = false;
    // Fixed-size packets on a clock of their own, which must start before the first picture is decoded; 192-byte
    // packets carry arrival stamps (ArrivalStamps).
    bool transportStream = false;
    PieceOverhead overhead;
};

// The facts of the container `pieces` are written in.
const ContainerFacts& containerFacts(const AVOutputFormat* pieces);

} // namespace quorvane::splitter
