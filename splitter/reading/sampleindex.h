// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the plan and the pieces ask of an index that lists every sample (the MP4 family's), answered from
// the index itself rather than from lists of our own beside it: a 20-hour recording has millions of samples.
namespace quorvane::splitter {

struct IndexedSample {
    std::int64_t dts = 0; // in the stream's own ticks, as the reader gives them
    std::int64_t pts = 0;
    bool key = false;
    bool discard = false; // decoded only to show what follows (before an edit's start)
    std::int64_t pos = -1; // where its bytes are in the file, where the index says
    std::int64_t size = 0;
    // For an H.264 keyframe, whether it can start the stream afresh (an IDR picture, or one its slice headers
    // can make one: AvcRestart), where the index knows.
    std::optional<bool> afresh;
};

class SampleIndex {
public:
    virtual ~SampleIndex() = default;
    // How many samples of input stream `stream` are decoded before `time`, counted in `base`.
    virtual std::int64_t samplesBefore(int stream, std::int64_t time, AVRational base) const = 0;
    // How long the video sample decoded at `dts` lasts, until the next is decoded; 0 when not known or not
    // video. The MP4 reader leaves a picture's duration to a guess from the frame rate when pictures are
    // reordered, and that guess differs with how the file is read.
    virtual std::int64_t videoDuration(int stream, std::int64_t dts) const = 0;
    // Every sample of `stream`, in decoding order.
    virtual void forEach(int stream, const std::function<void(const IndexedSample&)>& take) const = 0;
    virtual std::int64_t count(int stream) const = 0;
};

// libavformat's own index of `in`, for a file of the MP4 family (`path`, for the composition offsets it does
// not keep); nullptr when it does not list every sample of stream `ref` as the file's tables do.
std::unique_ptr<SampleIndex> libraryIndex(const AVFormatContext* in, const std::string& path, int ref);

} // namespace quorvane::splitter
