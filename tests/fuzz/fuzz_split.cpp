// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The whole tool on a file it is given, as a demuxer is fuzzed: the first byte picks the kind of file (the name
// decides the pieces' container) and how its pieces are measured, the rest is the file. It is split into 1 s
// pieces (or pieces of at most 8 KiB, or 3 parts) in a folder of its own, which is emptied after each run. Whatever
// the bytes, the tool must end with one of its exit statuses and leave nothing but whole pieces behind.
#include "splitter/contract/exitcodes.h"
#include "splitter/contract/testswitches.h"
#include "splitter/orchestrator/splitter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <system_error>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A folder of the process's own, removed when it ends.
struct Folder {
    fs::path path;
    Folder()
    {
        std::error_code error;
        path = fs::temp_directory_path(error) / ("quorvane-fuzz-split-" + std::to_string(::getpid()));
        fs::create_directories(path, error);
    }
    ~Folder()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
};

const fs::path& folder()
{
    static const Folder made;
    return made.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvane::splitter;
    static const char* const kinds[] = { "mp4", "m4a", "mov", "mkv", "webm", "ts", "m2ts", "mp3", "flac" };
    if (size < 1)
        return 0;
    const fs::path input = folder() / (std::string("in.") + kinds[data[0] % std::size(kinds)]);
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    SplitRequest request;
    request.input = input.string();
    // The first byte's kinds of file first, so that seeds below 9 keep their meaning.
    switch (data[0] / std::size(kinds) % 3) {
    case 1:
        request.maxBytes = 8 * 1024;
        break;
    case 2:
        request.parts = 3;
        break;
    default:
        request.seconds = 1;
        break;
    }
    static std::FILE* quiet = std::fopen("/dev/null", "w");
    const int status = splitFile(request, TestSwitches {}, quiet);
    bool known = false;
    for (const ExitCodeMeaning& meaning : exitCodeMeanings)
        known = known || meaning.code == status;
    if (!known)
        std::abort();
    std::error_code error;
    static const std::regex piece(R"(in_\d{3,}\.[a-z0-9]+)");
    bool strays = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder(), error)) {
        strays = strays || (entry.path() != input && !std::regex_match(entry.path().filename().string(), piece));
        fs::remove(entry.path(), error);
    }
    if (strays)
        std::abort();
    return 0;
}
