// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

// What quorvane-split promises whoever runs it: one exit status for each way a split can end, none of them 0
// but success. Each row gives the status its name, its number and its meaning; the help text, the man page
// (cmake/ManPage.cmake reads the rows, one to a line) and the program's words for a file's outcome come from
// here.
// clang-format off
#define QUORVANE_EXIT_CODES(X) \
    X(Success, 0, "Every piece was written.") \
    X(Usage, 64, "The command line was wrong.") \
    X(NotMedia, 65, "Not a video or audio file, or damaged so that no piece can be made from its data.") \
    X(CannotOpen, 66, "The file cannot be opened (missing, no permission).") \
    X(CutShort, 68, "The file ends early or cannot be read to its end; the pieces hold what could be read.") \
    X(Unsupported, 69, "Pieces of this kind of file cannot be written (a stream the container cannot hold).") \
    X(Failed, 70, "Any other failure.") \
    X(CannotWrite, 73, "A piece cannot be written (no space, no permission, a read-only disk).")
// clang-format on

namespace quorvane::splitter {

enum ExitCode : int {
#define QUORVANE_EXIT_CODE_NAME(name, number, meaning) name = number,
    QUORVANE_EXIT_CODES(QUORVANE_EXIT_CODE_NAME)
#undef QUORVANE_EXIT_CODE_NAME
};

struct ExitCodeMeaning {
    ExitCode code;
    const char* meaning;
};

inline constexpr ExitCodeMeaning exitCodeMeanings[] = {
#define QUORVANE_EXIT_CODE_ROW(name, number, meaning) { name, meaning },
    QUORVANE_EXIT_CODES(QUORVANE_EXIT_CODE_ROW)
#undef QUORVANE_EXIT_CODE_ROW
};

} // namespace quorvane::splitter
