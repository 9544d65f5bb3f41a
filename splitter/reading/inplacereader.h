// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "splitter/media/avhandles.h"
#include "splitter/media/unreadpacket.h"
#include "splitter/reading/mp4index.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reads an MP4-family source's packets from its own index (Mp4Index) for pieces whose media bytes the
// kernel copies in (PayloadRuns): the bytes of the samples the codec table lets stay unread
// (mayStayUnread) are not read into the tool at all. Their packet gets a buffer that stays unfilled, marked
// with where the bytes lie (unreadpacket.h); the piece's muxer writes that buffer as it is, which the piece
// file takes for a run to copy from the source.
//
// This works only while nothing looks into the packets: they go through no parser (the pieces take the
// index's keyframes, not a parser's guess). So for most files nothing but the index is read at all, which
// matters most where the file is not in the page cache: a read per stretch of audio between the pictures
// would be a seek per stretch on a spinning disk.
namespace quorvane::splitter {

class InPlaceReader {
public:
    // Reads `path` by `index`, bound to the streams of `probed`. Throws SplitError when the file cannot be
    // opened again.
    InPlaceReader(const std::string& path, Mp4Index& index, const AVFormatContext* probed);
    InPlaceReader(const InPlaceReader&) = delete;
    InPlaceReader& operator=(const InPlaceReader&) = delete;

    // The next packet, as av_read_frame gives it: 0, AVERROR_EOF, or an error.
    int read(AVPacket* packet);
    // How far into the file the reading has come.
    std::int64_t position() const { return m_pos; }
    // Media bytes of the source not read into the tool.
    std::int64_t bytesLeftUnread() const { return m_source->leftUnread; }

private:
    // The bytes of `sample` from the stretch of its track's samples that holds them, read whole the first
    // time: 0, AVERROR_EOF when the file has become too short to hold them, or an error.
    int readFromStretch(std::uint8_t* into, const Mp4Sample& sample);

    Mp4Index& m_index;
    const AVFormatContext* m_probed;
    std::shared_ptr<UnreadSource> m_source;
    std::int64_t m_size = 0;
    std::int64_t m_pos = 0;
    std::vector<bool> m_leaveUnread; // per stream
    // The stretch read last: the samples read as usual (audio, mostly) lie together between the video
    // samples, and one read takes them all.
    std::vector<std::uint8_t> m_stretch;
    std::int64_t m_stretchAt = 0;
};

} // namespace quorvane::splitter
