// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/avhandles.h"
#include "splitter/unreadpacket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reads an MP4-family source for pieces whose media bytes the kernel copies in (PayloadRuns): the bytes of
// the samples the codec table lets stay unread (mayStayUnread) are not read into the tool at all. Their
// packet gets a buffer that stays unfilled, marked with where the bytes lie (unreadpacket.h); the piece's
// muxer writes that buffer as it is, which the piece file takes for a run to copy from the source.
//
// This works only while nothing looks into the packets: the reader has no parsers (the pieces take the
// index's keyframes, not a parser's guess). So for most files nothing but the index is read at all, which
// matters most where the file is not in the page cache: a read per stretch of audio between the pictures
// would be a seek per stretch on a spinning disk.
namespace quorvane::splitter {

class InPlaceReader {
public:
    // A second reading of `path`, with the streams of `probed` (the same file, opened and probed before).
    // nullptr when the file cannot be read this way; the caller then reads it as usual.
    static std::unique_ptr<InPlaceReader> open(const std::string& path, const AVFormatContext* probed);
    InPlaceReader(const InPlaceReader&) = delete;
    InPlaceReader& operator=(const InPlaceReader&) = delete;

    AVFormatContext* context() const { return m_context.get(); }
    // The next packet, as av_read_frame gives it. Throws SplitError when a sample left unread did not come
    // out as its own packet, which would leave unfilled bytes where no one can find them.
    int read(AVPacket* packet);
    // Media bytes of the source not read into the tool.
    std::int64_t bytesLeftUnread() const { return m_source->leftUnread; }

    // The reading end's callbacks.
    int readIn(std::uint8_t* buffer, int size);
    std::int64_t seek(std::int64_t offset, int whence);

private:
    InPlaceReader() = default;
    // From the stretch of samples read as usual that holds [m_pos, m_pos + size), read whole the first time:
    // `size`, 0 when the file has become too short to hold it, or an error.
    int readFromStretch(std::uint8_t* buffer, int size);

    struct Pending {
        const std::uint8_t* buffer = nullptr;
        std::int64_t pos = 0;
        int size = 0;
    };

    std::shared_ptr<UnreadSource> m_source;
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
    IoContext m_io; // before the context, which is closed first
    InputContext m_context;
    // The samples that may be left unread, in the order they lie in the file; the reader goes through them
    // mostly in that order, so the one after the last found is looked at first.
    struct Sample {
        std::int64_t pos = 0;
        int size = 0;
        bool operator<(const Sample& other) const { return pos < other.pos; }
    };
    std::vector<Sample> m_samples;
    std::size_t m_next = 0;
    // Where a sample that may be left unread lies at `pos`, or m_samples.size().
    std::size_t sampleAt(std::int64_t pos);
    // The stretch read last: the samples read as usual (audio, mostly) lie together between the video
    // samples, and one read takes them all.
    std::vector<std::uint8_t> m_stretch;
    std::int64_t m_stretchAt = 0;
    bool m_leaveUnread = false;
    Pending m_pending;
};

} // namespace quorvane::splitter
