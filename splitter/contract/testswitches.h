// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

// Ways for the tests to reach inside the tool, which they cannot otherwise: set in the environment, read once
// by main and handed to the steps they concern. Left unset, the tool does what it does for everyone.
namespace quorvane::splitter {

// What becomes of media bytes left in the source (InPlaceReader): Fill reads them in before the muxer gets
// them; Spoil hands the muxer a copy of the unfilled buffer, as a muxer that converts them would make, which
// the writer must catch and write the piece again from bytes read.
enum class UnreadForTest { AsUsual, Fill, Spoil };

struct TestSwitches {
    // The room reserved for each MP4 index; 0: the tool's own estimate.
    long long moovReserve = 0;
    // Once piece number holdAt (from 1) is open, the tool says "holding" on standard error and waits for
    // SIGUSR1, so that it can be ended by a signal or its folder changed while it writes; 0: never.
    int holdAt = 0;
    // MP4 pieces' media bytes copied from the source rather than written (PayloadRuns); copied where the file
    // system would copy rather than share them too; copied by the kernel rather than read and written.
    bool copyPayload = true;
    bool copyPayloadEverywhere = false;
    bool kernelCopy = true;
    UnreadForTest unread = UnreadForTest::AsUsual;
    // How many samples of each track libavformat is shown of an MP4 index read by the tool itself (Mp4Index);
    // 0: the tool's own choice.
    unsigned probedSamples = 0;
    // Bytes left out of every weight of a piece of at most a size, so that pieces come out larger than planned.
    long long weighLess = 0;

    static TestSwitches fromEnvironment();
};

} // namespace quorvane::splitter
