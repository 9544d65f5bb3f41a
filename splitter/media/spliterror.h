// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/contract/exitcodes.h"

#include <string>

namespace quorvane::splitter {

// A failure that ends the split: the exit status (exitcodes.h) and the one line that says why.
struct SplitError {
    int exitCode;
    std::string message;
};

// FFmpeg's words for an error code.
std::string avError(int code);

// The exit status for a piece that cannot be written: CannotWrite when the system refused the write (no
// space, no permission, a read-only or failing disk, a name or file too large, a folder in the way), Failed
// for anything else.
int writeExitCode(int averror);

// Throws the SplitError for a piece that cannot be written, naming the piece. The disk's refusals are
// CannotWrite; a muxer refusing the streams when a piece is set up means pieces of this kind cannot be made
// (Unsupported); a muxer refusing packets means the file's data is damaged (NotMedia). `settingUp` is true
// for the first case.
[[noreturn]] void failWriting(const std::string& piece, int averror, bool settingUp = false);

// Throws the SplitError for a piece's file that the system would not create, write or name.
[[noreturn]] void failFile(const std::string& piece, int averror);

} // namespace quorvane::splitter
