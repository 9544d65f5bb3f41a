// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/inplacereader.h"

#include "splitter/contract/exitcodes.h"
#include "splitter/media/codecpolicy.h"
#include "splitter/media/spliterror.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace quorvane::splitter {

namespace {

// The most read at once of samples read as usual.
constexpr std::int64_t stretchLimit = 1 << 20;

} // namespace

InPlaceReader::InPlaceReader(const std::string& path, Mp4Index& index, const AVFormatContext* probed)
    : m_index(index)
    , m_probed(probed)
{
    int error = 0;
    SystemFile file = SystemFile::openForReading(path, &error);
    if (!file.isOpen())
        throw SplitError { CannotOpen, "cannot open the file again: " + avError(error) };
    m_size = file.regularFileSize();
    m_source = std::make_shared<UnreadSource>(UnreadSource { std::move(file), 0 });
    for (unsigned s = 0; s < probed->nb_streams; ++s)
        m_leaveUnread.push_back(mayStayUnread(probed->streams[s]));
}

int InPlaceReader::readFromStretch(std::uint8_t* into, const Mp4Sample& sample)
{
    const auto stretchEnd = [&] { return m_stretchAt + static_cast<std::int64_t>(m_stretch.size()); };
    if (sample.pos < m_stretchAt || sample.pos + sample.size > stretchEnd()) {
        const std::int64_t end = std::min({ std::max(sample.chunkEnd, sample.pos + sample.size),
            sample.pos + std::max<std::int64_t>(sample.size, stretchLimit), m_size });
        m_stretch.resize(static_cast<std::size_t>(std::max<std::int64_t>(end - sample.pos, 0)));
        m_stretchAt = sample.pos;
        const int result
            = m_source->file.read(m_stretch.data(), static_cast<std::int64_t>(m_stretch.size()), sample.pos);
        if (result < 0)
            m_stretch.clear();
        if (result < 0 && result != AVERROR_EOF)
            return result;
    }
    if (sample.pos < m_stretchAt || sample.pos + sample.size > stretchEnd())
        return AVERROR_EOF;
    std::memcpy(into, m_stretch.data() + (sample.pos - m_stretchAt), static_cast<std::size_t>(sample.size));
    return 0;
}

int InPlaceReader::read(AVPacket* packet)
{
    Mp4Sample sample;
    if (!m_index.next(sample))
        return AVERROR_EOF;
    if (sample.pos + sample.size > m_size)
        return AVERROR_EOF; // the file is shorter than its index says
    if (const int made = av_new_packet(packet, sample.size); made < 0)
        return made;
    const auto stream = static_cast<std::size_t>(sample.stream);
    if (m_leaveUnread[stream]) {
        packet->pos = sample.pos;
        markUnread(packet, m_source);
        // What the writer reads of a packet must not be whatever the unfilled buffer held. (The bytes that
        // reach the piece are the source's own.)
        const int looked = bytesTheWriterReads(m_probed->streams[sample.stream]->codecpar->codec_id);
        std::memset(packet->data, 0, static_cast<std::size_t>(std::min(sample.size, looked)));
    } else if (const int result = readFromStretch(packet->data, sample); result < 0) {
        av_packet_unref(packet);
        return result;
    }
    m_pos = sample.pos + sample.size;
    packet->stream_index = sample.stream;
    packet->pos = sample.pos;
    packet->dts = sample.dts;
    packet->pts = sample.pts;
    packet->duration = sample.duration;
    packet->flags = sample.flags;
    if (sample.skipSamples > 0) {
        std::uint8_t* skip = av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
        if (!skip)
            throw std::bad_alloc();
        AV_WL32(skip, static_cast<std::uint32_t>(sample.skipSamples));
    }
    return 0;
}

} // namespace quorvane::splitter
