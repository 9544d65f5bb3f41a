// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/cutplan.h"
#include "splitter/inputprobe.h"
#include "splitter/signalcleanup.h"
#include "splitter/splitter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#ifndef QUORVANE_VERSION
#define QUORVANE_VERSION "unknown"
#endif

namespace {

const char* const usageLine = "usage: quorvane-split [--stats] [--progress] -split <seconds> <file>\n";

void printHelp()
{
    std::fputs(usageLine, stdout);
    std::fputs("\nCuts <file> into consecutive pieces of at most <seconds> each (a positive number, such as 60\n"
               "or 2.5), without re-encoding. The pieces are written beside the file, named after it with a\n"
               "number before the extension: clip.mp4 gives clip_001.mp4, clip_002.mp4, and so on. Each\n"
               "piece starts at a keyframe; every stream is copied.\n",
        stdout);
    std::fputs("\n--progress writes lines \"progress <bytes read> <bytes total> <pieces written> <pieces planned>\"\n"
               "to standard output while the file is split, at most about ten a second, and one when it is\n"
               "complete (bytes read equal to bytes total), after one line \"piece <number> <seconds>\" for each\n"
               "piece written. A total or plan not known yet is 0; a plan made while reading may grow.\n"
               "Nothing else is written to standard output.\n",
        stdout);
    std::printf("\nPieces are written in the input's own container: %s.\n", quorvane::splitter::writtenContainers());
    std::fputs("\nExit status: 0 every piece written; 64 usage; 65 not a video or audio file, or damaged;\n"
               "66 the file cannot be opened; 68 the file ends early (pieces written as far as it could be\n"
               "read); 69 pieces of this kind of file cannot be written; 73 a piece cannot be written (no\n"
               "space, no permission, a read-only disk); 70 any other failure.\n",
        stdout);
}

int usageError(const char* why)
{
    std::fprintf(stderr, "quorvane-split: %s\n%s", why, usageLine);
    return quorvane::splitter::Usage;
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace quorvane::splitter;
    try {
        int arg = 1;
        if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
            printHelp();
            return Success;
        }
        if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
            std::printf("quorvane-split %s\n", QUORVANE_VERSION);
            return Success;
        }
        SplitRequest request;
        for (; arg < argc; ++arg) { // options before -split, in any order
            if (std::strcmp(argv[arg], "--stats") == 0)
                request.stats = true;
            else if (std::strcmp(argv[arg], "--progress") == 0)
                request.progress = stdout;
            else
                break;
        }
        if (argc - arg != 3 || std::strcmp(argv[arg], "-split") != 0)
            return usageError("expected -split, a length in seconds and one file");
        const auto seconds = parseSeconds(argv[arg + 1]);
        if (!seconds)
            return usageError(
                (std::string("the length must be a number of seconds above 0, not \"") + argv[arg + 1] + "\"").c_str());
        request.seconds = *seconds;
        // The file is always the last argument, so a name that begins with "-" is still a file.
        request.input = argv[arg + 2];
        if (request.input.empty())
            return usageError("the file name is empty");
        // Hooks for the tests, which cannot reach inside the tool otherwise.
        if (const char* reserve = std::getenv("QUORVANE_SPLIT_MOOV_SIZE_FOR_TEST"))
            request.moovReserveForTest = std::max(8LL, std::strtoll(reserve, nullptr, 10));
        if (const char* hold = std::getenv("QUORVANE_SPLIT_HOLD_FOR_TEST"))
            request.holdForTest = std::max(1, std::atoi(hold));
        request.copyPayload = std::getenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST") == nullptr;
        request.kernelCopy = std::getenv("QUORVANE_SPLIT_NO_KERNEL_COPY_FOR_TEST") == nullptr;
        request.copyPayloadEverywhere = std::getenv("QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST") != nullptr;
        if (const char* unread = std::getenv("QUORVANE_SPLIT_UNREAD_FOR_TEST"))
            request.unreadForTest = std::strcmp(unread, "fill") == 0 ? UnreadForTest::Fill
                : std::strcmp(unread, "spoil") == 0                  ? UnreadForTest::Spoil
                                                                     : UnreadForTest::AsUsual;
        installSignalCleanup();
        return splitFile(request, stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-split: %s\n", e.what());
    } catch (...) {
        std::fputs("quorvane-split: unexpected failure\n", stderr);
    }
    return Failed;
}
