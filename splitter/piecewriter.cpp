// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/piecewriter.h"

#include "splitter/cutplan.h"
#include "splitter/inplacereader.h"
#include "splitter/spliterror.h"
#include "splitter/splitter.h"

extern "C" {
#include <libavutil/timecode.h>
}

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>

#include <pthread.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Codecs whose packets the MP4 reader hands over exactly as the samples lie in the file: at most their
// headers are looked at. Others (MP3, MPEG video, ...) go through a parser that may cut or join samples,
// so their bytes are not known to lie at the packet's position.
bool comesWhole(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
    case AV_CODEC_ID_AV1:
    case AV_CODEC_ID_VP9:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_PRORES:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_ALAC:
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_MOV_TEXT:
        return true;
    default:
        return false;
    }
}

// A timecode tag moved on by `offset` (in `base` ticks); the tag as it was when it cannot be read.
std::string movedTimecode(const char* timecode, AVRational rate, std::int64_t offset, AVRational base)
{
    AVTimecode tc {};
    if (rate.num <= 0 || rate.den <= 0 || av_timecode_init_from_string(&tc, rate, timecode, nullptr) < 0)
        return timecode;
    const std::int64_t frames = av_rescale_q(offset, base, av_inv_q(rate));
    char text[AV_TIMECODE_STR_SIZE];
    return av_timecode_make_string(&tc, text, static_cast<int>(frames));
}

} // namespace

PieceWriter::PieceWriter(AVFormatContext* in, const MediaLayout& layout, std::string inputPath, std::int64_t firstShown)
    : m_in(in)
    , m_layout(layout)
    , m_inputPath(std::move(inputPath))
    , m_firstShown(firstShown)
{
}

PieceWriter::~PieceWriter()
{
    discardCurrent();
    m_finished.reset(); // ended by a failure: a piece still being copied is not made whole
    if (m_source >= 0)
        ::close(m_source);
}

void PieceWriter::holdForAlignment(Packet packet)
{
    // The piece's media bytes follow the file's order, but only after its first moments, where packets of
    // the piece before (stored late in the file) break it up. Hold the first packets until a long run shows.
    m_heldBytes += packet->size;
    m_sentBeforeAlignment.push_back(std::move(packet));
    std::int64_t run = 0;
    for (std::size_t i = m_sentBeforeAlignment.size(); i-- > 0;) {
        const AVPacket* p = m_sentBeforeAlignment[i].get();
        run += p->size;
        if (i == 0 || p->pos < 0 || m_sentBeforeAlignment[i - 1]->pos + m_sentBeforeAlignment[i - 1]->size != p->pos)
            break;
    }
    if (run >= 256 * 1024 || m_heldBytes >= 8 * 1024 * 1024)
        align();
}

void PieceWriter::align()
{
    // The longest run of bytes that follow each other in the file among the held packets, and how many
    // bytes of the piece come before it.
    std::vector<Packet> held = std::move(m_sentBeforeAlignment);
    m_sentBeforeAlignment.clear();
    m_heldBytes = 0;
    m_aligned = true;
    std::int64_t bestStart = -1;
    std::int64_t bestSize = 0;
    std::int64_t bestBefore = 0;
    std::int64_t before = 0;
    for (std::size_t i = 0; i < held.size();) {
        std::size_t j = i + 1;
        std::int64_t size = held[i]->size;
        while (j < held.size() && held[i]->pos >= 0 && held[j - 1]->pos + held[j - 1]->size == held[j]->pos)
            size += held[j++]->size;
        if (held[i]->pos >= 0 && size > bestSize) {
            bestSize = size;
            bestStart = held[i]->pos;
            bestBefore = before;
        }
        for (std::size_t k = i; k < j; ++k)
            before += held[k]->size;
        i = j;
    }
    if (bestStart >= 0) {
        const std::int64_t at = avio_tell(m_out->pb) + bestBefore;
        const std::int64_t shift = ((bestStart - at) % m_blockSize + m_blockSize) % m_blockSize;
        if (shift > 0) {
            // Open the piece again with that much more room in front of its media.
            PieceSpan span = m_span;
            span.moovReserve += shift;
            const int mendedBefore = m_mendedBefore;
            discardCurrent();
            open(span);
            m_aligned = true;
            m_mendedBefore = mendedBefore;
        }
    }
    for (Packet& packet : held)
        write(std::move(packet));
}

int PieceWriter::send(AVPacket* packet, const AVStream* from)
{
    PayloadRuns* const payload = isMovFamily(m_layout.format) ? m_file->payload() : nullptr;
    const bool asRun
        = payload && from && comesWhole(from->codecpar->codec_id) && m_unreadForTest != UnreadForTest::Fill;
    // Bytes left in the source go to the muxer only where they become a run to copy.
    if (!asRun) {
        if (const int filled = InPlaceReader::fill(packet); filled < 0)
            return filled;
    }
    if (!isMovFamily(m_layout.format)) {
        packet->pos = -1;
        return av_interleaved_write_frame(m_out.get(), packet);
    }
    if (asRun)
        payload->expect(packet);
    Packet changed;
    if (m_unreadForTest == UnreadForTest::Spoil && InPlaceReader::unread(packet)) {
        changed = newPacket();
        if (av_packet_ref(changed.get(), packet) < 0 || av_packet_make_writable(changed.get()) < 0)
            return AVERROR(ENOMEM);
    }
    packet->pos = -1;
    const int result = av_write_frame(m_out.get(), changed ? changed.get() : packet);
    if (payload && !payload->forgetExpected())
        m_spoiled = true;
    return result;
}

void PieceWriter::open(const PieceSpan& span)
{
    m_span = span;
    m_final = pieceFileName(m_inputPath, span.number + 1);
    const std::string finalName = baseName(m_final);
    m_file = std::make_unique<PieceFile>(m_final);
    m_spoiled = false;
    m_blockSize = 0;
    m_aligned = true;
    m_sentBeforeAlignment.clear();
    m_heldBytes = 0;
    if (m_fastPayload && isMovFamily(m_layout.format) && span.moovReserve > 0) {
        // With the index's room reserved in front, the muxer never reads the piece back: its media bytes
        // can wait to be copied in by the kernel.
        m_blockSize = m_file->sharingBlockSize();
        const bool worthIt = m_blockSize > 0 || m_fastAlways || m_readInPlace;
        if (m_source < 0 && worthIt)
            m_source = ::open(m_inputPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_source >= 0 && worthIt) {
            m_file->copyPayloadFrom(m_source, m_kernelCopy);
            m_aligned = m_blockSize <= 0;
        }
    }

    const auto fail = [&](int code) {
        abandon();
        failWriting(finalName, code, true);
    };
    AVFormatContext* raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, m_layout.format, nullptr, m_file->readableName().c_str());
    if (result < 0)
        fail(result);
    m_out.reset(raw);
    m_out->pb = m_file->io();
    m_out->flags |= AVFMT_FLAG_CUSTOM_IO;
    av_dict_copy(&m_out->metadata, m_in->metadata, 0);
    m_chaptersAdded = false;
    try {
        addStreams();
        if (span.end != PieceSpan::unknownEnd)
            addChapters();
    } catch (const std::bad_alloc&) {
        fail(AVERROR(ENOMEM));
    }
    AVDictionary* options = nullptr;
    if (isMovFamily(m_layout.format)) {
        if (span.moovReserve > 0)
            av_dict_set_int(&options, "moov_size", span.moovReserve, 0);
        else
            av_dict_set(&options, "movflags", "+faststart", 0);
    }
    result = avformat_write_header(m_out.get(), &options);
    av_dict_free(&options);
    if (result < 0)
        fail(m_out->pb && m_out->pb->error ? m_out->pb->error : result);
    m_menders.assign(static_cast<std::size_t>(m_layout.outputs), {});
    addCovers();
    if (m_hold && span.number == m_holdAt) {
        complete(); // the piece before is whole when the tool holds
        // SIGUSR1 lets the tool go on; every other signal keeps its usual effect meanwhile.
        sigset_t resume;
        sigemptyset(&resume);
        sigaddset(&resume, SIGUSR1);
        ::pthread_sigmask(SIG_BLOCK, &resume, nullptr);
        std::fputs("holding\n", m_hold);
        std::fflush(m_hold);
        int received = 0;
        while (::sigwait(&resume, &received) != 0) { }
    }
}

void PieceWriter::addStreams()
{
    const std::int64_t sinceFileStart = std::max<std::int64_t>(0, m_span.start - m_firstShown);
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        if (m_layout.streams[i].output < 0)
            continue;
        const AVStream* ist = m_in->streams[i];
        AVStream* ost = avformat_new_stream(m_out.get(), nullptr);
        if (!ost)
            throw std::bad_alloc();
        if (avcodec_parameters_copy(ost->codecpar, ist->codecpar) < 0)
            throw std::bad_alloc();
        // Older MP3 writers take the encoder delay from here, newer ones from the first packet's skip.
        if (m_span.prerollSamples >= 0 && static_cast<int>(i) == m_layout.ref)
            ost->codecpar->initial_padding = m_span.prerollSamples;
        // Keep the input's codec tag (hvc1, say) where the container knows it for this codec.
        unsigned int tag = 0;
        if (m_layout.format->codec_tag
            && av_codec_get_id(m_layout.format->codec_tag, ist->codecpar->codec_tag) != ist->codecpar->codec_id
            && av_codec_get_tag2(m_layout.format->codec_tag, ist->codecpar->codec_id, &tag))
            ost->codecpar->codec_tag = 0;
        ost->time_base = ist->time_base;
        ost->avg_frame_rate = ist->avg_frame_rate;
        ost->r_frame_rate = ist->r_frame_rate;
        ost->sample_aspect_ratio = ist->sample_aspect_ratio;
        ost->disposition = ist->disposition;
        av_dict_copy(&ost->metadata, ist->metadata, 0);
        // A timecode names the time at which the piece starts in the source.
        if (const AVDictionaryEntry* timecode = av_dict_get(ist->metadata, "timecode", nullptr, 0)) {
            const AVRational rate = ist->avg_frame_rate.num ? ist->avg_frame_rate : ist->r_frame_rate;
            av_dict_set(&ost->metadata, "timecode",
                movedTimecode(timecode->value, rate, sinceFileStart, m_layout.refBase).c_str(), 0);
        }
#if LIBAVFORMAT_VERSION_MAJOR < 61
        // The display matrix (rotation) and the other stream-wide side data; newer FFmpeg keeps them in
        // the codec parameters copied above.
        for (int sd = 0; sd < ist->nb_side_data; ++sd) {
            const AVPacketSideData& data = ist->side_data[sd];
            uint8_t* copy = av_stream_new_side_data(ost, data.type, data.size);
            if (!copy)
                throw std::bad_alloc();
            std::memcpy(copy, data.data, data.size);
        }
#endif
    }
    if (const AVDictionaryEntry* timecode = av_dict_get(m_in->metadata, "timecode", nullptr, 0)) {
        const AVStream* ref = m_in->streams[m_layout.ref];
        const AVRational rate = ref->avg_frame_rate.num ? ref->avg_frame_rate : ref->r_frame_rate;
        av_dict_set(&m_out->metadata, "timecode",
            movedTimecode(timecode->value, rate, sinceFileStart, m_layout.refBase).c_str(), 0);
    }
}

void PieceWriter::addChapters()
{
    m_chaptersAdded = true;
    // The chapters that fall in the piece, rebased to its start and cut at its ends.
    for (unsigned c = 0; c < m_in->nb_chapters; ++c) {
        const AVChapter* chapter = m_in->chapters[c];
        const std::int64_t from = av_rescale_q(chapter->start, chapter->time_base, m_layout.refBase);
        const std::int64_t to = av_rescale_q(chapter->end, chapter->time_base, m_layout.refBase);
        if (to <= m_span.start || from >= m_span.end)
            continue;
        auto* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!copy)
            throw std::bad_alloc();
        copy->id = static_cast<std::int64_t>(m_out->nb_chapters) + 1;
        copy->time_base = m_layout.refBase;
        copy->start = std::max(from, m_span.start) - m_span.start;
        copy->end = std::min(to, m_span.end) - m_span.start;
        av_dict_copy(&copy->metadata, chapter->metadata, 0);
        auto** grown
            = static_cast<AVChapter**>(av_realloc_array(m_out->chapters, m_out->nb_chapters + 1, sizeof(AVChapter*)));
        if (!grown) {
            av_dict_free(&copy->metadata);
            av_free(copy);
            throw std::bad_alloc();
        }
        m_out->chapters = grown;
        m_out->chapters[m_out->nb_chapters++] = copy;
    }
}

void PieceWriter::addCovers()
{
    // A cover picture belongs to every piece.
    for (unsigned i = 0; i < m_in->nb_streams; ++i) {
        const AVStream* st = m_in->streams[i];
        if (m_layout.streams[i].output < 0 || !m_layout.streams[i].cover || st->attached_pic.size <= 0)
            continue;
        Packet cover = newPacket();
        int result = av_packet_ref(cover.get(), &st->attached_pic);
        if (result >= 0) {
            cover->stream_index = m_layout.streams[i].output;
            cover->pts = cover->dts = 0;
            result = send(cover.get(), nullptr);
        }
        if (result < 0) {
            const std::string name = baseName(m_final);
            abandon();
            failWriting(name, result);
        }
    }
}

void PieceWriter::write(Packet packet)
{
    if (!m_aligned) {
        holdForAlignment(std::move(packet));
        return;
    }
    const int s = packet->stream_index;
    const AVStream* ist = m_in->streams[s];
    const int output = m_layout.streams[static_cast<std::size_t>(s)].output;
    const AVStream* ost = m_out->streams[output];
    const std::int64_t offset = av_rescale_q(m_span.start, m_layout.refBase, ist->time_base);
    const auto rebased = [&](std::int64_t t) -> std::optional<std::int64_t> {
        if (t == AV_NOPTS_VALUE)
            return std::nullopt;
        return av_rescale_q(t - offset, ist->time_base, ost->time_base);
    };
    const auto times = m_menders[static_cast<std::size_t>(output)].mend({ rebased(packet->dts), rebased(packet->pts) });
    packet->dts = *times.dts;
    packet->pts = *times.pts;
    packet->duration = av_rescale_q(packet->duration, ist->time_base, ost->time_base);
    packet->stream_index = output;
    // libavformat gives a picture of length 0 a frame's length, guessed from the stream's frame rate as it
    // takes the packet; the keyframe hidden at the end of a piece cut at an open group must keep its 0, or
    // the edit list shows it.
    AVStream* const target = m_out->streams[output];
    const AVRational rates[] = { target->avg_frame_rate, target->r_frame_rate };
    if (packet->duration == 0 && target->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        target->avg_frame_rate = target->r_frame_rate = AVRational { 0, 1 };
    const int result = send(packet.get(), ist);
    target->avg_frame_rate = rates[0];
    target->r_frame_rate = rates[1];
    if (result < 0) {
        const int code = m_out->pb && m_out->pb->error ? m_out->pb->error : result;
        const std::string name = baseName(m_final);
        abandon();
        failWriting(name, code);
    }
}

bool PieceWriter::finish()
{
    if (!m_aligned)
        align();
    const std::string name = baseName(m_final);
    if (!m_chaptersAdded) {
        // Chapters wait for the piece's end; both muxers write them with their trailer.
        try {
            addChapters();
        } catch (const std::bad_alloc&) {
            abandon();
            failWriting(name, AVERROR(ENOMEM));
        }
    }
    int result = av_write_trailer(m_out.get());
    if (m_spoiled || (result < 0 && m_span.moovReserve > 0 && !(m_out->pb && m_out->pb->error))) {
        m_spoiledPieces += m_spoiled ? 1 : 0;
        discardCurrent();
        return false;
    }
    if (result >= 0 && m_out->pb && m_out->pb->error)
        result = m_out->pb->error;
    if (result < 0) {
        abandon();
        failWriting(name, result);
    }
    m_mendedBefore += mendedNow();
    m_menders.clear();
    m_out.reset();
    try {
        m_file->startCopy();
        complete(); // one piece's bytes are copied in at a time, and pieces get their names in order
    } catch (...) {
        abandon();
        throw;
    }
    m_finished = std::move(m_file);
    return true;
}

void PieceWriter::complete()
{
    if (!m_finished)
        return;
    const std::unique_ptr<PieceFile> file = std::move(m_finished);
    file->commit();
    m_copied.inKernel += file->copied().inKernel;
    m_copied.byReading += file->copied().byReading;
    ++m_written;
}

void PieceWriter::discardCurrent()
{
    m_out.reset();
    m_menders.clear();
    m_file.reset();
}

void PieceWriter::abandon()
{
    discardCurrent();
    // The piece before failing is what failed first, and what the run reports.
    complete();
}

int PieceWriter::mendedNow() const
{
    int mended = 0;
    for (const TimestampMender& mender : m_menders)
        mended += mender.mended();
    return mended;
}

} // namespace quorvane::splitter
