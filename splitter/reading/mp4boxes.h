// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reading the boxes of an MP4-family file's index ("moov") ourselves, where libavformat's reading of them
// gives less than we need or holds more than we can afford.
namespace quorvane::splitter::mp4 {

using Bytes = std::vector<unsigned char>;

std::uint64_t readBig(const unsigned char* p, int n);

// One box inside a byte range: its type, where it starts, and its payload.
struct Box {
    char type[5] = {};
    std::size_t at = 0;
    std::size_t payload = 0;
    std::size_t size = 0; // of the payload
    bool is(const char* name) const;
};

// The boxes directly inside [from, to), or nullopt when one of them runs past the range.
std::optional<std::vector<Box>> children(const Bytes& data, std::size_t from, std::size_t to);
const Box* find(const std::vector<Box>& boxes, const char* type);
// The boxes inside `box`; nullopt for no box or one that cannot be read.
std::optional<std::vector<Box>> inside(const Bytes& data, const Box* box);
std::optional<int> trackIdOf(const Bytes& data, const Box& tkhd);

// The file's "moov" box: where it lies, and its payload (what follows its header).
struct Moov {
    std::int64_t at = 0;
    std::int64_t size = 0; // of the whole box
    Bytes payload;
    std::int64_t fileSize = -1; // of the file it lies in; -1 where not known
};
std::optional<Moov> readMoov(const std::string& path);

} // namespace quorvane::splitter::mp4
