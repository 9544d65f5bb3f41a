// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/contract/commandline.h"

#include "splitter/contract/exitcodes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quorvane::splitter {

const char* usageLine()
{
    return "usage: quorvane-split [--stats] [--progress] [--exact] -split <seconds> | -splits <size> | -parts <count> "
           "<file>\n";
}

void printHelp(std::FILE* out)
{
    std::fputs(usageLine(), out);
    std::fputs("\nCuts <file> into consecutive pieces of at most <seconds> each (a positive number, such as 60\n"
               "or 2.5), without re-encoding. The pieces are written beside the file, named after it with a\n"
               "number before the extension: clip.mp4 gives clip_001.mp4, clip_002.mp4, and so on. Each\n"
               "piece starts at a keyframe; every stream is copied.\n",
        out);
    std::fputs("\n-splits <size> makes pieces of at most <size> bytes each on disk, headers and index included, as\n"
               "few as that allows: <size> in kilobytes, or with a unit, 25M or 2G (units of 1024). Each piece\n"
               "ends at the last keyframe that keeps it within the size; where the pictures from one keyframe to\n"
               "the next alone are larger, that piece runs to the next keyframe, with a line saying so.\n"
               "-parts <count> makes <count> pieces of equal length, each cut at the keyframe nearest its share\n"
               "of the file. A file without an index of every sample (Matroska, MPEG-TS, MP3) is read through once\n"
               "first for either.\n",
        out);
    std::fputs("\n--exact makes every piece but the last the length asked, to within a frame, wherever the\n"
               "keyframes fall: the pictures from a cut up to the next keyframe are encoded again (H.264 and\n"
               "HEVC in MP4, MOV, M4V, 3GP, Matroska and MPEG-TS), and everything else is copied. Other files\n"
               "are cut at keyframes, as without it, with a line saying so. With -parts, the parts are equal to\n"
               "within a frame; with -splits, each piece ends at the last picture that keeps it within the size.\n",
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

std::optional<std::int64_t> parseSize(const std::string& text)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    double unit = 1024.0;
    std::string number = text;
    switch (text.back()) {
    case 'K':
    case 'k':
        number.pop_back();
        break;
    case 'M':
    case 'm':
        number.pop_back();
        unit *= 1024.0;
        break;
    case 'G':
    case 'g':
        number.pop_back();
        unit *= 1024.0 * 1024.0;
        break;
    default:
        break;
    }
    const std::optional<double> value = parseSeconds(number);
    if (!value || *value * unit < 1.0 || *value * unit > 4.0e18)
        return std::nullopt;
    return static_cast<std::int64_t>(std::floor(*value * unit));
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
    const std::string measure = count - arg == 3 ? arguments[arg] : std::string();
    if (measure != "-split" && measure != "-splits" && measure != "-parts") {
        command.problem = "expected -split and a length in seconds, -splits and a size, or -parts and a count, then "
                          "one file";
        return command;
    }
    const std::string& value = arguments[arg + 1];
    if (measure == "-split") {
        const std::optional<double> seconds = parseSeconds(value);
        if (!seconds) {
            command.problem = "the length must be a number of seconds above 0, not \"" + value + "\"";
            return command;
        }
        command.request.seconds = *seconds;
    } else if (measure == "-splits") {
        const std::optional<std::int64_t> bytes = parseSize(value);
        if (!bytes) {
            command.problem = "the size must be a number of kilobytes above 0, or one with a unit such as 25M or 2G, "
                              "not \""
                + value + "\"";
            return command;
        }
        command.request.maxBytes = *bytes;
    } else {
        const bool digits = !value.empty() && value.size() <= 5
            && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        command.request.parts = digits ? std::stoi(value) : 0;
        if (command.request.parts < 1 || command.request.parts > maxParts) {
            command.problem = "the count of parts must be a whole number from 1 to " + std::to_string(maxParts)
                + ", not \"" + value + "\"";
            return command;
        }
    }
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
