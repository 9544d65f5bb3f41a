// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/commandline.h"

#include "splitter/contract/exitcodes.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quorvane::splitter {

const char* usageLine() { return "usage: quorvane-split [--stats] [--progress] [--exact] -split <seconds> <file>\n"; }

void printHelp(std::FILE* out)
{
    std::fputs(usageLine(), out);
    std::fputs("\nCuts <file> into consecutive pieces of at most <seconds> each (a positive number, such as 60\n"
               "or 2.5), without re-encoding. The pieces are written beside the file, named after it with a\n"
               "number before the extension: clip.mp4 gives clip_001.mp4, clip_002.mp4, and so on. Each\n"
               "piece starts at a keyframe; every stream is copied.\n",
        out);
    std::fputs("\n--exact makes every piece but the last the length asked, to within a frame, wherever the\n"
               "keyframes fall: the pictures from a cut up to the next keyframe are encoded again (H.264 and\n"
               "HEVC in MP4, MOV, M4V, 3GP, Matroska and MPEG-TS), and everything else is copied. Other files\n"
               "are cut at keyframes, as without it, with a line saying so.\n",
        out);
    std::fputs("\n--progress writes lines \"progress <bytes read> <bytes total> <pieces written> <pieces planned>\"\n"
               "to standard output while the file is split, at most about ten a second and whenever a piece\n"
               "is finished, and one when it is complete (bytes read equal to bytes total), after one line\n"
               "\"piece <number> <seconds>\" for each piece written (and, with --exact, \"recoded <cuts> <seconds>\"\n"
               "for the pictures encoded again, which then count in the bytes too). A total or plan not known yet\n"
               "is 0; a plan made while reading may grow. Nothing else is written to standard output.\n",
        out);
    std::fputs("\nPieces are written in the input's own container: MP4, MOV, M4V, M4A, 3GP, Matroska (MKV, MKA),\n"
               "WebM, MPEG-TS, MP3.\n",
        out);
    std::fputs("\nExit status:\n", out);
    for (const ExitCodeMeaning& row : exitCodeMeanings)
        std::fprintf(out, "%4d  %s\n", static_cast<int>(row.code), row.meaning);
}

std::optional<double> parseSeconds(const std::string& text)
{
    if (text.empty() || text.front() == ' ')
        return std::nullopt;
    char* rest = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &rest);
    if (errno != 0 || rest == text.c_str() || *rest != '\0' || !std::isfinite(value) || value <= 0.0)
        return std::nullopt;
    return value;
}

Command parseCommandLine(const std::vector<std::string>& arguments, std::FILE* progress)
{
    Command command;
    const std::size_t count = arguments.size();
    if (count == 2 && arguments[1] == "--help") {
        command.kind = Command::Help;
        return command;
    }
    if (count == 2 && arguments[1] == "--version") {
        command.kind = Command::Version;
        return command;
    }
    std::size_t arg = 1;
    for (; arg < count; ++arg) { // options before -split, in any order
        if (arguments[arg] == "--stats")
            command.request.stats = true;
        else if (arguments[arg] == "--exact")
            command.request.exact = true;
        else if (arguments[arg] == "--progress")
            command.request.progress = progress;
        else
            break;
    }
    if (count - arg != 3 || arguments[arg] != "-split") {
        command.problem = "expected -split, a length in seconds and one file";
        return command;
    }
    const std::optional<double> seconds = parseSeconds(arguments[arg + 1]);
    if (!seconds) {
        command.problem = "the length must be a number of seconds above 0, not \"" + arguments[arg + 1] + "\"";
        return command;
    }
    command.request.seconds = *seconds;
    // The file is always the last argument, so a name that begins with "-" is still a file.
    command.request.input = arguments[arg + 2];
    if (command.request.input.empty()) {
        command.problem = "the file name is empty";
        return command;
    }
    command.kind = Command::Split;
    return command;
}

} // namespace quorvane::splitter
