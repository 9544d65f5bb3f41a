// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/inplacereader.h"

#include "splitter/spliterror.h"
#include "splitter/splitter.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::splitter {

// The open source file, shared by the reader and the packets it left unread.
struct InPlaceReader::Source {
    explicit Source(int descriptor)
        : fd(descriptor)
    {
    }
    ~Source() { ::close(fd); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    int fd;
    std::int64_t leftUnread = 0;
};

namespace {

// What a packet left unread carries in its opaque_ref: where its bytes lie, and whether they have been
// read in since. Every reference to the packet shares it, and with it the buffer.
struct Unread {
    std::shared_ptr<InPlaceReader::Source> source;
    std::uint8_t* data = nullptr;
    std::int64_t pos = 0;
    int size = 0;
    bool filled = false;
};

// The most read at once of samples read as usual.
constexpr std::int64_t stretchLimit = 1 << 20;

// Its address marks a packet's opaque_ref as an Unread.
const char unreadMark = 0;

void freeUnread(void*, std::uint8_t* data) { delete reinterpret_cast<Unread*>(data); }

int readBytes(void* opaque, std::uint8_t* buffer, int size)
{
    return static_cast<InPlaceReader*>(opaque)->readIn(buffer, size);
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<InPlaceReader*>(opaque)->seek(offset, whence);
}

// What one read gives: how many bytes, or a negative AVERROR; AVERROR_EOF at the file's end.
int readOnce(int fd, std::uint8_t* into, int size, std::int64_t at)
{
    for (;;) {
        const ssize_t got = ::pread(fd, into, static_cast<std::size_t>(size), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return AVERROR(errno);
        return got == 0 ? AVERROR_EOF : static_cast<int>(got);
    }
}

int readFully(int fd, std::uint8_t* into, int size, std::int64_t at)
{
    for (int done = 0; done < size;) {
        const int got = readOnce(fd, into + done, size - done, at + done);
        if (got < 0)
            return got;
        done += got;
    }
    return 0;
}

// Packets FFmpeg 5.1's MP4 writer writes exactly as given, without looking into them: H.264 and HEVC
// already in length-prefixed form (an Annex B stream is converted on the way, which reads it), codecs it
// never touches, and AAC, of which it checks only that the first two bytes are not an ADTS header (a
// packet left unread gets zeros there; see read()).
bool passesThroughUntouched(const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_id == AV_CODEC_ID_AAC)
        return par->codec_type == AVMEDIA_TYPE_AUDIO;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
        return false;
    const std::uint8_t* extra = par->extradata;
    const int extraSize = par->extradata_size;
    switch (par->codec_id) {
    case AV_CODEC_ID_H264:
        return extraSize > 0 && extra[0] == 1;
    case AV_CODEC_ID_HEVC:
        return extraSize > 0 && !(extraSize >= 3 && AV_RB24(extra) == 1) && !(extraSize >= 4 && AV_RB32(extra) == 1);
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_PRORES:
    case AV_CODEC_ID_MJPEG:
        return true;
    default:
        return false;
    }
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<InPlaceReader> reader(new InPlaceReader);
    reader->m_source = std::make_shared<Source>(fd);
    struct stat status { };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    reader->m_size = status.st_size;

    constexpr int bufferSize = 32 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (buffer)
        reader->m_io = avio_alloc_context(buffer, bufferSize, 0, reader.get(), readBytes, nullptr, seekTo);
    if (!reader->m_io) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->pb = reader->m_io;
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
        if (!passesThroughUntouched(probed->streams[i]))
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

InPlaceReader::~InPlaceReader()
{
    m_context.reset();
    if (m_io)
        av_freep(&m_io->buffer);
    avio_context_free(&m_io);
}

std::int64_t InPlaceReader::bytesLeftUnread() const { return m_source->leftUnread; }

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
        // From the stretch of samples read as usual that holds this one, read whole the first time.
        const auto stretchEnd = [&] { return m_stretchAt + static_cast<std::int64_t>(m_stretch.size()); };
        if (m_pos < m_stretchAt || m_pos + size > stretchEnd()) {
            const auto next = std::upper_bound(m_samples.begin(), m_samples.end(), Sample { m_pos, 0 });
            const std::int64_t end = std::min({ next == m_samples.end() ? m_size : next->pos,
                m_pos + std::max<std::int64_t>(size, stretchLimit), m_size });
            m_stretch.resize(static_cast<std::size_t>(std::max<std::int64_t>(end - m_pos, 0)));
            m_stretchAt = m_pos;
            const int result = readFully(m_source->fd, m_stretch.data(), static_cast<int>(m_stretch.size()), m_pos);
            if (result < 0 && result != AVERROR_EOF) {
                m_stretch.clear();
                return result;
            }
            if (result == AVERROR_EOF)
                m_stretch.clear(); // the file is shorter than it was: read as it comes, below
        }
        if (m_pos >= m_stretchAt && m_pos + size <= stretchEnd()) {
            std::memcpy(buffer, m_stretch.data() + (m_pos - m_stretchAt), static_cast<std::size_t>(size));
            m_pos += size;
            return size;
        }
    }
    const int got = readOnce(m_source->fd, buffer, size, m_pos);
    if (got > 0)
        m_pos += got;
    return got;
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
    auto* unread = new Unread { m_source, packet->data, packet->pos, packet->size, false };
    AVBufferRef* ref
        = av_buffer_create(reinterpret_cast<std::uint8_t*>(unread), sizeof(Unread), freeUnread, nullptr, 0);
    if (!ref) {
        delete unread;
        throw std::bad_alloc();
    }
    av_buffer_unref(&packet->opaque_ref);
    packet->opaque_ref = ref;
    packet->opaque = const_cast<char*>(&unreadMark);
    m_source->leftUnread += packet->size;
    // The MP4 writer takes an AAC packet that starts like an ADTS header for a stream it cannot store;
    // what it checks must not be whatever the unfilled buffer held. (The bytes that reach the piece are the
    // source's own.)
    if (m_context->streams[packet->stream_index]->codecpar->codec_id == AV_CODEC_ID_AAC)
        std::memset(packet->data, 0, static_cast<std::size_t>(std::min(packet->size, 2)));
    return result;
}

bool InPlaceReader::unread(const AVPacket* packet)
{
    return packet->opaque == &unreadMark && packet->opaque_ref
        && !reinterpret_cast<const Unread*>(packet->opaque_ref->data)->filled;
}

int InPlaceReader::fill(AVPacket* packet)
{
    if (!unread(packet))
        return 0;
    auto* unread = reinterpret_cast<Unread*>(packet->opaque_ref->data);
    const int result = readFully(unread->source->fd, unread->data, unread->size, unread->pos);
    if (result < 0)
        return result;
    unread->filled = true;
    unread->source->leftUnread -= unread->size;
    return 0;
}

} // namespace quorvane::splitter
