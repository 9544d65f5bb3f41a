// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdio>
#include <string>

namespace quorvane::splitter {

// Exit statuses of quorvane-split; every failure has its own, none is 0.
enum ExitCode : int {
    Success = 0,
    Failed = 70, // anything unforeseen
    Usage = 64, // bad arguments
    NotMedia = 65, // the input holds no readable video or audio
    CannotOpen = 66, // the input cannot be opened (missing, no permission)
    CutShort = 68, // the input ends early: pieces were written as far as it could be read
    Unsupported = 69, // pieces of this kind of file cannot be written
    CannotWrite = 73, // a piece cannot be written (permissions, disk full)
};

enum class UnreadForTest { AsUsual, Fill, Spoil };

struct SplitRequest {
    std::string input; // as given; the pieces go beside it
    double seconds = 0;
    bool stats = false; // print counts of pieces and moov fallbacks
    std::FILE* progress = nullptr; // where progress lines go; none when null

    // For the tests: the room reserved for each MP4 index (0: the tool's own estimate), and stopping until
    // SIGUSR1 once piece number holdForTest (from 1; 0: never) is open, so the tool can be ended by a signal
    // or its folder changed while it writes.
    long long moovReserveForTest = 0;
    int holdForTest = 0;
    // MP4 pieces' media bytes copied by the kernel (PayloadRuns), and by copy_file_range where it can; the
    // tests compare with both off.
    bool copyPayload = true;
    bool copyPayloadEverywhere = false; // also where the file system would copy rather than share
    bool kernelCopy = true;
    // What becomes of video bytes left in the source (InPlaceReader): Fill reads them in before the muxer
    // gets them, Spoil hands the muxer a copy of the unfilled buffer, as a muxer that converts them would
    // make, which the writer must catch and write the piece again from bytes read.
    UnreadForTest unreadForTest = UnreadForTest::AsUsual;
};

// Cuts the input into pieces. Warnings and the one failure line go to `err`; returns the exit status.
int splitFile(const SplitRequest& request, std::FILE* err);

} // namespace quorvane::splitter
