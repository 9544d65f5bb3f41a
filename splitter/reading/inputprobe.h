// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/media/containerfacts.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Opening the input and deciding what the pieces hold: the stream that decides the cuts, the container
// the pieces are written in, and which streams go into them.
namespace quorvane::splitter {

using Warn = std::function<void(const std::string&)>;

// What the pieces declare of an input stream where it differs from what libavformat's input holds; an unset
// value is the input's own.
struct DeclaredHeader {
    // The codec's header: the source's with the parameter sets of pictures encoded again beside its own
    // (Recoder::header()).
    std::vector<std::uint8_t> extradata;
    // An MP4's stream values as its whole tables give them, where libavformat was shown the tables cut short
    // (Mp4Index): `whole` stands wherever the input still holds what libavformat found in the short ones
    // (`found`), and not where its probing of the packets put a value of its own (a rate read from the frames).
    struct Values {
        std::int64_t duration = AV_NOPTS_VALUE; // in the stream's time base
        std::int64_t bitRate = 0;
    };
    bool fromWholeTables = false;
    Values whole;
    Values found;
};

struct StreamSlot {
    int output = -1; // index in each piece, -1 when left out
    bool sparse = false; // packets come seldom (subtitles, data, a cover): cuts do not wait for them
    bool cover = false; // an attached picture, which every piece gets a copy of
    DeclaredHeader declared;
};

struct MediaLayout {
    int ref = -1; // the first video stream, or else the first audio stream
    AVRational refBase { 1, 1 };
    const AVOutputFormat* format = nullptr;
    std::vector<StreamSlot> streams; // per input stream
    int outputs = 0;
    std::int64_t headerBytes = 0; // codec headers and tags, for sizing a piece's index
    std::int64_t refFrame = 0; // how long one frame of the deciding stream shows, in its ticks; 0 if unknown
    int tsPacketSize = 0; // a transport stream's packet size: 192 for camcorders' M2TS, else 188
};

// Opens `path` for reading and reads its stream parameters. Throws SplitError. With `io`, the file's bytes
// come from there; `beforeParameters` sees the streams as the container lists them, before libavformat
// reads packets for their parameters, and may refuse them: the result is then empty.
InputContext openInput(const std::string& path, AVIOContext* io = nullptr,
    const std::function<bool(AVFormatContext*)>& beforeParameters = {});

// Throws SplitError when the input holds nothing the tool can cut or write. `declared`: per input stream, what the
// pieces declare of it where the input differs; none for an input taken as it is.
MediaLayout probeLayout(
    AVFormatContext* in, const std::string& inputName, const Warn& warn, std::vector<DeclaredHeader> declared = {});

// Input stream `st`'s values as the pieces declare them (DeclaredHeader), for everything that reads them.
std::span<const std::uint8_t> codecHeaderOf(const MediaLayout& layout, const AVStream* st);
std::int64_t durationOf(const MediaLayout& layout, const AVStream* st);
std::int64_t bitRateOf(const MediaLayout& layout, const AVStream* st);

} // namespace quorvane::splitter
