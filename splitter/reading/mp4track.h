// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/mp4tables.h"
#include "splitter/reading/samplecursor.h"

#include <cstdint>
#include <optional>
#include <vector>

// A model of libavformat's MOV reader, for one track: which of the tables' samples it gives, and with what
// times, flags and durations, once it has applied the track's edit and its decoding shift.
namespace quorvane::splitter {

struct Mp4Track : mp4::SampleTables {
    // Once bound to a stream:
    int stream = -1;
    bool audio = false;
    bool video = false;
    bool aac = false;
    bool vorbis = false;
    bool skipped = false; // a stream the reader reads past (a chapter track)
    std::int64_t dtsShift = 0; // against negative composition offsets
    std::int64_t empty = 0; // the edits in the track's ticks
    std::int64_t media = 0;
    std::int64_t editEnd = 0;
    std::int64_t offset = 0; // added to the tables' decoding times
    std::int64_t kept = 0; // samples the reader gives
    std::int64_t skip = 0; // priming an AAC decoder drops from the first packet
    std::int64_t duration = 0; // the stream's, as the reader has it
    std::int64_t timed = 0; // the sum of the samples' durations in the tables
    std::int64_t lastDelta = 0;
    std::uint64_t bytes = 0;
    bool cut = false; // its tables cut short for libavformat
    std::vector<std::int64_t> runSample; // per time-to-sample entry: its first sample and decoding time
    std::vector<std::int64_t> runDts;
    DeclaredHeader declared; // the stream's values as the whole tables give them

    mp4::SampleCursor cursor(const mp4::Bytes& data) const { return { data, *this, audio }; }
};

// Whether the edit drops `raw` (it lies outside it), and how far a sample the edit starts inside is cut into:
// the reader keeps such an audio sample and has the decoder skip its start.
struct Edited {
    bool discard = false;
    std::int64_t cutInto = 0;
};
Edited edit(const Mp4Track& t, const mp4::RawSample& raw, bool last);

// Binds `t` to input stream `st` and runs through its samples as the reader arranges its index for the edit
// (`movieScale`: the movie header's ticks a second). False for a stream whose packets the reader makes
// otherwise than this model does.
bool modelReading(const mp4::Bytes& data, Mp4Track& t, const AVStream* st, std::int64_t movieScale);

// Whether libavformat's index of `st`, read from the tables as given to it (cut short or not), lists the samples
// this model gives.
bool listsAsModelled(const mp4::Bytes& data, const Mp4Track& t, AVStream* st);

// What libavformat found of stream `st` in the tables cut short, and what the whole tables give (as libavformat
// reading them whole would have it), once modelReading() has run.
DeclaredHeader wholeTableValues(const Mp4Track& t, const AVStream* st);

// The average frame rate the whole tables give, where they give one.
std::optional<AVRational> wholeFrameRate(const Mp4Track& t);

// The decoding time in the tables of sample `i`, once modelReading() has run.
std::int64_t rawDts(const mp4::Bytes& data, const Mp4Track& t, std::int64_t i);

} // namespace quorvane::splitter
