// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/reading/mp4boxes.h"

#include <cstdint>
#include <optional>
#include <vector>

// An MP4-family track's sample tables as its "trak" box holds them: the one walk through a track's boxes, the
// tables found there and checked against each other, and the rule its composition offsets are read by.
namespace quorvane::splitter::mp4 {

std::uint32_t big32(const Bytes& data, std::size_t at);

// The latest time a track's samples and edits may reach, in its ticks (36 years at a nanosecond a tick): the sums
// of a few such times that place its samples stay within 64 bits.
constexpr std::int64_t longestTime = std::int64_t(1) << 60;

// A table box's entries: where they start, how many; `present` is false where the track has no such box.
struct Table {
    std::size_t entries = 0;
    std::uint32_t count = 0;
    bool present = false;
};

// The entries of `box`, each `entrySize` bytes after a `header` whose last four bytes count them; a missing box
// is an empty table, and nullopt a box that claims more entries than it holds.
std::optional<Table> tableOf(const Bytes& data, const Box* box, std::size_t header, std::size_t entrySize);

// A "trak" box and the boxes inside it down to its sample tables, for as far as they are there.
struct Trak {
    int id = 0;
    std::vector<Box> boxes; // the trak's own
    std::optional<std::vector<Box>> mdia, minf, stbl;
};

// nullopt for a trak that cannot be read or has no track header.
std::optional<Trak> walkTrak(const Bytes& data, const Box& trak);

// The track with `trackId` in the payload of a "moov" box; nullopt where there is none, or the file is fragmented
// (its samples are described in the fragments).
std::optional<Trak> findTrak(const Bytes& moov, int trackId);

// Entry `e`'s offset of a composition-offset ("ctts") table. Version 0 says unsigned, but writers put negative
// offsets there too: read as signed, as players do.
std::int32_t compositionOffset(const Bytes& data, const Table& ctts, std::uint32_t e);

// Negative offsets would show a sample before it is decoded; readers move every decoding time back by this much
// instead: the largest negative offset but those of the table's last two entries (as FFmpeg's reader has it).
std::int64_t decodeShift(const Bytes& data, const Table& ctts);

// The sample tables of a track this program's index follows (Mp4Index): its media in the file itself, one
// sample description, nothing encrypted, tables that add up, at most one edit after an empty one.
struct SampleTables {
    int id = 0;
    std::int64_t scale = 0; // the media's ticks a second
    std::int64_t mdhdDuration = 0;
    Table stts, ctts, stss, stsc, chunks, sizes;
    std::uint32_t size = 0; // of every sample, where the sizes table gives one for all
    bool co64 = false;
    std::size_t sdtp = 0;
    std::uint32_t sdtpCount = 0;
    bool edited = false;
    std::int64_t emptyEdit = 0; // in the movie's ticks
    std::int64_t editMedia = 0;
    std::int64_t editDuration = 0; // in the movie's ticks
};

// nullopt for a track the index does not follow, or whose tables are damaged.
std::optional<SampleTables> readSampleTables(const Bytes& data, const Trak& trak);

} // namespace quorvane::splitter::mp4
