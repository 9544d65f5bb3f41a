// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/piecewriter.h"

#include "splitter/contract/naming.h"
#include "splitter/media/codecpolicy.h"
#include "splitter/media/spliterror.h"
#include "splitter/media/unreadpacket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace quorvane::splitter {

PieceWriter::PieceWriter(AVFormatContext* in, const MediaLayout& layout, std::string inputPath, std::int64_t firstShown,
    const TestSwitches& switches)
    : m_in(in)
    , m_layout(layout)
    , m_inputPath(std::move(inputPath))
    , m_firstShown(firstShown)
    , m_switches(switches)
{
    const AVCodecParameters* ref = in->streams[layout.ref]->codecpar;
    if (std::strcmp(layout.format->name, "flac") == 0 && ref->extradata_size >= FlacStreamInfo::size
        && ref->sample_rate > 0)
        m_flac = std::make_unique<FlacStreamInfo>(ref->extradata);
}

PieceWriter::~PieceWriter()
{
    discardCurrent();
    m_finished.reset(); // ended by a failure: a piece still being copied is not made whole
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
        = payload && from && reachesMuxerWhole(from->codecpar->codec_id) && m_switches.unread != UnreadForTest::Fill;
    // Bytes left in the source go to the muxer only where they become a run to copy.
    if (!asRun) {
        if (const int filled = fillUnread(packet); filled < 0)
            return filled;
    }
    if (!isMovFamily(m_layout.format)) {
        packet->pos = -1;
        return av_interleaved_write_frame(m_out.get(), packet);
    }
    if (asRun)
        payload->expect(packet);
    Packet changed;
    if (m_switches.unread == UnreadForTest::Spoil && isUnread(packet)) {
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
    m_file = std::make_unique<PieceFile>(m_final);
    m_spoiled = false;
    m_blockSize = 0;
    m_aligned = true;
    m_sentBeforeAlignment.clear();
    m_heldBytes = 0;
    if (m_flac)
        m_flac->restart();
    startPayloadCopy(span);
    writeHeader(span);
    m_menders.assign(static_cast<std::size_t>(m_layout.outputs), {});
    m_restarts.clear();
    m_restarts.resize(m_in->nb_streams);
    m_hevcRestarts.clear();
    m_hevcRestarts.resize(m_in->nb_streams);
    for (unsigned s = 0; s < m_in->nb_streams; ++s) {
        const AVCodecParameters* par = m_in->streams[s]->codecpar;
        if (m_layout.streams[s].output < 0 || m_layout.streams[s].cover)
            continue;
        const auto header = codecHeaderOf(m_layout, m_in->streams[s]);
        if (par->codec_id == AV_CODEC_ID_H264)
            m_restarts[s] = std::make_unique<AvcRestart>(header.data(), static_cast<int>(header.size()));
        // Players that take only IDR pictures as keyframes in Matroska (Firefox) show nothing from a CRA picture
        // that starts a piece or follows ours; in MP4 they go by its index.
        if (par->codec_id == AV_CODEC_ID_HEVC && isMatroskaFamily(m_layout.format))
            m_hevcRestarts[s]
                = std::make_unique<HevcRestart>(header.data(), static_cast<int>(header.size()), span.number > 0);
    }
    addCovers();
    if (m_opened)
        m_opened(span.number);
}

void PieceWriter::startPayloadCopy(const PieceSpan& span)
{
    if (!m_switches.copyPayload || !isMovFamily(m_layout.format) || span.moovReserve <= 0)
        return;
    // With the index's room reserved in front, the muxer never reads the piece back: its media bytes can
    // wait to be copied in by the kernel.
    m_blockSize = m_file->sharingBlockSize();
    if (m_blockSize <= 0 && !m_switches.copyPayloadEverywhere && !m_readInPlace)
        return;
    if (!m_source.isOpen())
        m_source = SystemFile::openForReading(m_inputPath);
    if (m_source.isOpen()) {
        m_file->copyPayloadFrom(m_source, m_switches.kernelCopy);
        m_aligned = m_blockSize <= 0;
    }
}

void PieceWriter::writeHeader(const PieceSpan& span)
{
    AVFormatContext* raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, m_layout.format, nullptr, m_file->readableName().c_str());
    if (result < 0)
        fail(result, true);
    m_out.reset(raw);
    m_out->pb = m_file->io();
    m_out->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_chaptersAdded = false;
    try {
        addStreams(m_out.get(), m_in, m_layout, span, m_firstShown);
        if (span.end != PieceSpan::unknownEnd) {
            addChapters(m_out.get(), m_in, m_layout, span);
            m_chaptersAdded = true;
        }
    } catch (const std::bad_alloc&) {
        fail(AVERROR(ENOMEM), true);
    }
    Dictionary options;
    if (isMovFamily(m_layout.format)) {
        AVDictionary* set = nullptr;
        result = span.moovReserve > 0 ? av_dict_set_int(&set, "moov_size", span.moovReserve, 0)
                                      : av_dict_set(&set, "movflags", "+faststart", 0);
        options.reset(set);
        if (span.moovReserve <= 0)
            m_file->willBeReopened(); // to move the index to the front
        if (result < 0)
            fail(result, true);
    } else if (std::strcmp(m_layout.format->name, "mpegts") == 0) {
        // The TS writer takes 192-byte packets from the name alone (".m2ts" but not ".MTS", and not the
        // temporary name it is given): the pieces keep the source's size. It allows one program so.
        const bool m2ts = m_layout.tsPacketSize == ArrivalStamps::packetSize && m_in->nb_programs <= 1;
        // As FFmpeg's own TS files: the clock starts 0.7 s before the first picture is decoded, which a
        // player's buffer needs (GStreamer's reader mistimes the first pictures of an HEVC stream whose clock
        // starts at its first decoding time), and every time moves on by twice that, so that the first packet
        // comes at 1.4 s (FFmpeg's reader does not show a DVB subtitle at 0).
        m_out->max_delay = 700000;
        AVDictionary* set = nullptr;
        result = av_dict_set_int(&set, "mpegts_m2ts_mode", m2ts ? 1 : 0, 0);
        // Each audio frame in a PES packet of its own, with its own time, as before: with that delay the writer
        // would gather frames for up to 0.35 s under the first one's time, and a reader counts the times of the
        // others on from it, which goes wrong where the source's times were mended.
        if (result >= 0)
            result = av_dict_set_int(&set, "pes_payload_size", 0, 0);
        options.reset(set);
        if (result < 0)
            fail(result, true);
        if (m2ts) {
            try {
                m_stamps = std::make_unique<ArrivalStamps>(m_file->io());
            } catch (const std::bad_alloc&) {
                fail(AVERROR(ENOMEM), true);
            }
            m_out->pb = m_stamps->io();
        }
    }
    AVDictionary* given = options.release();
    result = avformat_write_header(m_out.get(), &given);
    options.reset(given); // what the muxer did not take
    if (result < 0)
        fail(m_out->pb && m_out->pb->error ? m_out->pb->error : result, true);
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
        if (result < 0)
            fail(result);
    }
}

void PieceWriter::restart(AvcRestart& pictures, Packet& packet)
{
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (!pictures.wants(key))
        return;
    if (isUnread(packet.get())) {
        // Most keyframes start afresh as they are, which their first bytes tell: the rest stays unread.
        std::array<std::uint8_t, 4096> head {};
        const int got = readHead(packet.get(), head.data(), static_cast<int>(head.size()));
        if (got < 0)
            fail(got);
        if (!pictures.changes(head.data(), static_cast<std::size_t>(got), key))
            return;
        if (const int filled = fillUnread(packet.get()); filled < 0)
            fail(filled);
    }
    std::optional<Bytes> bytes;
    try {
        bytes = pictures.picture(packet->data, static_cast<std::size_t>(packet->size), key);
    } catch (const std::bad_alloc&) {
        fail(AVERROR(ENOMEM));
    }
    if (bytes)
        replaceBytes(packet, *bytes);
}

void PieceWriter::restart(HevcRestart& pictures, Packet& packet)
{
    if (!pictures.wants((packet->flags & AV_PKT_FLAG_KEY) != 0))
        return;
    std::optional<Bytes> bytes;
    try {
        bytes = pictures.picture(packet->data, static_cast<std::size_t>(packet->size));
    } catch (const std::bad_alloc&) {
        fail(AVERROR(ENOMEM));
    }
    if (bytes)
        replaceBytes(packet, *bytes);
}

void PieceWriter::replaceBytes(Packet& packet, const Bytes& bytes)
{
    Packet changed = newPacket();
    if (bytes.size() > INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE
        || av_new_packet(changed.get(), static_cast<int>(bytes.size())) < 0
        || av_packet_copy_props(changed.get(), packet.get()) < 0)
        fail(AVERROR(ENOMEM));
    std::copy(bytes.begin(), bytes.end(), changed->data);
    changed->stream_index = packet->stream_index;
    changed->pos = -1; // not the source's bytes any more
    av_buffer_unref(&changed->opaque_ref);
    packet = std::move(changed);
}

namespace {

// FFmpeg's TS reader ends a picture with the first zero of the next one's four-byte start code. A parser that
// times each picture by the packet its start code begins in (GStreamer's) then gives every picture the time of
// the one before. Zeros after a picture's last NAL unit belong to none; with units parted by their lengths
// instead, the last byte is never 0.
void trimTrailingZeros(AVPacket* packet)
{
    const std::uint8_t* d = packet->data;
    const bool startCodes = packet->size >= 4 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || (d[2] == 0 && d[3] == 1));
    while (startCodes && packet->size > 4 && d[packet->size - 1] == 0)
        --packet->size;
}

} // namespace

void PieceWriter::write(Packet packet)
{
    if (!m_aligned) {
        holdForAlignment(std::move(packet));
        return;
    }
    if (AvcRestart* pictures = m_restarts[static_cast<std::size_t>(packet->stream_index)].get())
        restart(*pictures, packet);
    if (HevcRestart* pictures = m_hevcRestarts[static_cast<std::size_t>(packet->stream_index)].get())
        restart(*pictures, packet);
    const int s = packet->stream_index;
    const AVStream* ist = m_in->streams[s];
    const int output = m_layout.streams[static_cast<std::size_t>(s)].output;
    const AVStream* ost = m_out->streams[output];
    // Matroska's block times of a stream that skips samples at its start run that much ahead of what shows.
    const int skipped = preSkipOf(m_in, m_layout, m_span, static_cast<unsigned>(s));
    const std::int64_t offset = av_rescale_q(m_span.start, m_layout.refBase, ist->time_base)
        - (skipped > 0 ? av_rescale_q(skipped, { 1, sampleClock(ist->codecpar) }, ist->time_base) : 0);
    const auto rebased = [&](std::int64_t t) -> std::optional<std::int64_t> {
        if (t == AV_NOPTS_VALUE)
            return std::nullopt;
        // The first frame may fall a tick before 0 for the rounding of millisecond times.
        return av_rescale_q(
            skipped > 0 ? std::max(t - offset, std::int64_t { 0 }) : t - offset, ist->time_base, ost->time_base);
    };
    const auto times = m_menders[static_cast<std::size_t>(output)].mend({ rebased(packet->dts), rebased(packet->pts) });
    packet->dts = *times.dts;
    packet->pts = *times.pts;
    packet->duration = av_rescale_q(packet->duration, ist->time_base, ost->time_base);
    packet->stream_index = output;
    if (m_flac && s == m_layout.ref) {
        try {
            m_flac->mark(packet.get(), m_out->streams[output]->time_base, ist->codecpar->sample_rate);
        } catch (const std::bad_alloc&) {
            fail(AVERROR(ENOMEM));
        }
    }
    if (ist->codecpar->codec_id == AV_CODEC_ID_H264 || ist->codecpar->codec_id == AV_CODEC_ID_HEVC)
        trimTrailingZeros(packet.get());
    const int result = send(packet.get(), ist);
    if (result < 0)
        fail(m_out->pb && m_out->pb->error ? m_out->pb->error : result);
}

bool PieceWriter::finish()
{
    if (!m_aligned)
        align();
    if (!m_chaptersAdded) {
        // Chapters wait for the piece's end; both muxers write them with their trailer.
        try {
            addChapters(m_out.get(), m_in, m_layout, m_span);
        } catch (const std::bad_alloc&) {
            fail(AVERROR(ENOMEM));
        }
    }
    int result = av_write_trailer(m_out.get());
    if (m_stamps) {
        const int stamped = m_stamps->finish();
        result = result < 0 ? result : stamped;
    }
    if (m_spoiled || (result < 0 && m_span.moovReserve > 0 && !(m_out->pb && m_out->pb->error))) {
        m_spoiledPieces += m_spoiled ? 1 : 0;
        discardCurrent();
        return false;
    }
    if (result >= 0 && m_out->pb && m_out->pb->error)
        result = m_out->pb->error;
    if (result < 0)
        fail(result);
    m_mendedBefore += mendedNow();
    m_menders.clear();
    m_out.reset();
    m_stamps.reset();
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
    if (m_named)
        m_named();
}

void PieceWriter::discardCurrent()
{
    m_out.reset();
    m_stamps.reset();
    m_menders.clear();
    m_file.reset();
}

void PieceWriter::abandon()
{
    discardCurrent();
    // The piece before failing is what failed first, and what the run reports.
    complete();
}

void PieceWriter::fail(int averror, bool settingUp)
{
    const std::string name = baseName(m_final);
    abandon();
    failWriting(name, averror, settingUp);
}

int PieceWriter::mendedNow() const
{
    int mended = 0;
    for (const TimestampMender& mender : m_menders)
        mended += mender.mended();
    return mended;
}

} // namespace quorvane::splitter
