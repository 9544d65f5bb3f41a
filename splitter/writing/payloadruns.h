// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/system/systemfile.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

// The media bytes of a piece, moved by the kernel instead of through the tool. The muxer still writes every
// box; a packet's bytes that it writes exactly as they came from the source are not written but noted as a
// run (where in the piece, where in the source, how long), and copied from the source once the piece is
// otherwise complete: by the kernel (copyInKernel), which shares whole blocks on copy-on-write file systems, else by
// reading and writing. Bytes the muxer changes on the way (a converted bitstream) are written as usual.
namespace quorvane::splitter {

class PayloadRuns {
public:
    struct Run {
        std::int64_t piece = 0; // offset in the piece
        std::int64_t source = 0; // offset in the source
        std::int64_t size = 0;
    };

    // `packet`'s bytes lie at packet->pos in the source and are about to reach the muxer. Holds a reference
    // to them until they are written or forgotten, so their memory cannot come back as another packet's.
    void expect(const AVPacket* packet);
    // The muxer is done with what it was given (it has written it, or kept a changed copy). False when a
    // packet whose bytes were never read in (InPlaceReader) did not come out as it went in: the piece then
    // holds whatever its unfilled buffer held.
    bool forgetExpected();
    // What the muxer writes at `pieceOffset`: true when it is an expected packet's bytes, now a run.
    bool take(const std::uint8_t* data, int size, std::int64_t pieceOffset);

    // How the runs' bytes went: by copy_file_range, or read and written.
    struct Copied {
        std::int64_t inKernel = 0;
        std::int64_t byReading = 0;
    };
    // Copies every run from `source` into `piece`; `kernelCopy` false forces reading and writing. With a
    // `blockSize`, a run that lies alike in both files' blocks is copied in two steps, up to a block boundary
    // and from it, so the file system can share its whole blocks. Returns 0 or a negative AVERROR;
    // AVERROR_EOF when the source ends before a run does.
    int copy(const SystemFile& source, SystemFile& piece, bool kernelCopy, int blockSize, Copied& copied) const;

private:
    struct Release {
        void operator()(AVBufferRef* ref) const { av_buffer_unref(&ref); }
    };
    struct Expected {
        int size = 0;
        std::int64_t pos = 0;
        bool unread = false;
        std::unique_ptr<AVBufferRef, Release> hold;
    };

    std::unordered_map<const std::uint8_t*, Expected> m_expected;
    std::vector<Run> m_runs;
};

} // namespace quorvane::splitter
