// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/reading/mp4boxes.h"
#include "splitter/system/systemfile.h"

#include <cstdint>
#include <string>

// An MP4-family file's index with its sample tables cut short, for libavformat to read the streams' parameters
// from without building its index of every sample (Mp4Index gives the samples).
namespace quorvane::splitter {

namespace mp4 {

// The "moov" box with every track's sample tables cut after the chunk that holds sample `keep` (a chunk holding
// more samples than the sizes table lists would stop the reader's index short), and the header of a "free" box
// that fills the rest of the original's room; empty when that room cannot be filled.
Bytes shortenedMoov(const Moov& moov, std::uint32_t keep);

} // namespace mp4

// The file at `path` read with the `length` bytes at `at` replaced by `bytes` and zeros after them, for
// libavformat.
class ShortenedMoov {
public:
    ShortenedMoov(const std::string& path, std::int64_t at, std::int64_t length, mp4::Bytes bytes);
    ShortenedMoov(const ShortenedMoov&) = delete;
    ShortenedMoov& operator=(const ShortenedMoov&) = delete;
    // nullptr when the file cannot be opened.
    AVIOContext* io() const { return m_io.get(); }

    int readIn(std::uint8_t* buffer, int size);
    std::int64_t seek(std::int64_t offset, int whence);

private:
    SystemFile m_file;
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
    std::int64_t m_at = 0;
    std::int64_t m_length = 0;
    mp4::Bytes m_bytes;
    IoContext m_io;
};

} // namespace quorvane::splitter
