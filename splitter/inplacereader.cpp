// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/inplacereader.h"

#include "splitter/codecpolicy.h"
#include "splitter/spliterror.h"

#include <algorithm>
#include <cstring>

namespace quorvane::splitter {

namespace {

// The most read at once of samples read as usual.
constexpr std::int64_t stretchLimit = 1 << 20;

int readBytes(void* opaque, std::uint8_t* buffer, int size)
{
    return static_cast<InPlaceReader*>(opaque)->readIn(buffer, size);
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<InPlaceReader*>(opaque)->seek(offset, whence);
}

bool sameStreams(const AVFormatContext* a, const AVFormatContext* b)
{
    if (a->nb_streams != b->nb_streams)
        return false;
    for (unsigned i = 0; i < a->nb_streams; ++i) {
        const AVStream* x = a->streams[i];
        const AVStream* y = b->streams[i];
        if (x->codecpar->codec_id != y->codecpar->codec_id || x->codecpar->codec_type != y->codecpar->codec_type
            || av_cmp_q(x->time_base, y->time_base) != 0 || x->id != y->id)
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<InPlaceReader> InPlaceReader::open(const std::string& path, const AVFormatContext* probed)
{
    // What the MP4 writer and reader do with a packet was checked for this version only.
    if (AV_VERSION_MAJOR(avformat_version()) != 59)
        return nullptr;
    const std::string demuxer = probed->iformat->name;
    if (demuxer.find("mov") == std::string::npos || demuxer.find("mp4") == std::string::npos)
        return nullptr;
    SystemFile file = SystemFile::openForReading(path);
    if (!file.isOpen())
        return nullptr;
    std::unique_ptr<InPlaceReader> reader(new InPlaceReader);
    reader->m_size = file.regularFileSize();
    if (reader->m_size < 0)
        return nullptr;
    reader->m_source = std::make_shared<UnreadSource>(UnreadSource { std::move(file), 0 });

    reader->m_io = newIoContext(32 * 1024, reader.get(), readBytes, nullptr, seekTo);
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->pb = reader->m_io.get();
    // No parser may look into a packet: their bytes are not there.
    raw->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_NOPARSE;
    if (avformat_open_input(&raw, ("file:" + path).c_str(), probed->iformat, nullptr) < 0)
        return nullptr; // raw is freed
    reader->m_context.reset(raw);
    if (!sameStreams(raw, probed))
        return nullptr;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        // The packets' durations, where the index has none, come from the probed rates.
        raw->streams[i]->r_frame_rate = probed->streams[i]->r_frame_rate;
        raw->streams[i]->avg_frame_rate = probed->streams[i]->avg_frame_rate;
        if (!mayStayUnread(probed->streams[i]))
            continue;
        const int entries = avformat_index_get_entries_count(raw->streams[i]);
        for (int e = 0; e < entries; ++e) {
            const AVIndexEntry* entry = avformat_index_get_entry(raw->streams[i], e);
            if (entry->pos >= 0 && entry->size > 0)
                reader->m_samples.push_back({ entry->pos, entry->size });
        }
    }
    std::sort(reader->m_samples.begin(), reader->m_samples.end());
    if (reader->m_samples.empty())
        return nullptr; // nothing to leave unread: read the file as usual
    // Every packet is read into its own buffer, in one call, from where the reader just sought.
    reader->m_io->direct = 1;

    reader->m_leaveUnread = true;
    return reader;
}

int InPlaceReader::readIn(std::uint8_t* buffer, int size)
{
    // A whole sample of a stream that may stay unread, asked for straight into a packet's own buffer.
    const bool ownBuffer = buffer < m_io->buffer || buffer >= m_io->buffer + m_io->buffer_size;
    if (m_leaveUnread && !m_pending.buffer && ownBuffer) {
        const std::size_t sample = sampleAt(m_pos);
        if (sample < m_samples.size() && m_samples[sample].size == size && m_pos + size <= m_size) {
            m_pending = { buffer, m_pos, size };
            m_pos += size;
            return size;
        }
    }
    if (m_leaveUnread && ownBuffer) {
        const int copied = readFromStretch(buffer, size);
        if (copied != 0)
            return copied;
    }
    const int got = m_source->file.readSome(buffer, size, m_pos);
    if (got > 0)
        m_pos += got;
    return got;
}

int InPlaceReader::readFromStretch(std::uint8_t* buffer, int size)
{
    // Read whole the first time one of its samples is asked for.
    const auto stretchEnd = [&] { return m_stretchAt + static_cast<std::int64_t>(m_stretch.size()); };
    if (m_pos < m_stretchAt || m_pos + size > stretchEnd()) {
        const auto next = std::upper_bound(m_samples.begin(), m_samples.end(), Sample { m_pos, 0 });
        const std::int64_t end = std::min({ next == m_samples.end() ? m_size : next->pos,
            m_pos + std::max<std::int64_t>(size, stretchLimit), m_size });
        m_stretch.resize(static_cast<std::size_t>(std::max<std::int64_t>(end - m_pos, 0)));
        m_stretchAt = m_pos;
        const int result = m_source->file.read(m_stretch.data(), static_cast<std::int64_t>(m_stretch.size()), m_pos);
        if (result < 0 && result != AVERROR_EOF) {
            m_stretch.clear();
            return result;
        }
        if (result == AVERROR_EOF)
            m_stretch.clear(); // the file is shorter than it was: read as it comes
    }
    if (m_pos < m_stretchAt || m_pos + size > stretchEnd())
        return 0;
    std::memcpy(buffer, m_stretch.data() + (m_pos - m_stretchAt), static_cast<std::size_t>(size));
    m_pos += size;
    return size;
}

std::size_t InPlaceReader::sampleAt(std::int64_t pos)
{
    for (const std::size_t guess : { m_next, m_next + 1 }) {
        if (guess < m_samples.size() && m_samples[guess].pos == pos)
            return m_next = guess;
    }
    const auto found = std::lower_bound(m_samples.begin(), m_samples.end(), Sample { pos, 0 });
    if (found == m_samples.end() || found->pos != pos)
        return m_samples.size();
    return m_next = static_cast<std::size_t>(found - m_samples.begin());
}

std::int64_t InPlaceReader::seek(std::int64_t offset, int whence)
{
    const std::int64_t to = seekTarget(offset, whence, m_pos, m_size);
    if (to >= 0 && !(whence & AVSEEK_SIZE))
        m_pos = to;
    return to;
}

int InPlaceReader::read(AVPacket* packet)
{
    m_pending = {};
    const int result = av_read_frame(m_context.get(), packet);
    if (result < 0 || !m_pending.buffer)
        return result; // a failed read took its unfilled buffer with it
    if (packet->data != m_pending.buffer || packet->size != m_pending.size || packet->pos != m_pending.pos)
        throw SplitError { Failed, "the file's media could not be read in place" };
    markUnread(packet, m_source);
    // What the writer reads of a packet must not be whatever the unfilled buffer held. (The bytes that
    // reach the piece are the source's own.)
    const int looked = bytesTheWriterReads(m_context->streams[packet->stream_index]->codecpar->codec_id);
    std::memset(packet->data, 0, static_cast<std::size_t>(std::min(packet->size, looked)));
    return result;
}

} // namespace quorvane::splitter
