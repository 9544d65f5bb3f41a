// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/piecewriter.h"

#include "splitter/contract/naming.h"
#include "splitter/media/codecpolicy.h"
#include "splitter/media/spliterror.h"
#include "splitter/media/unreadpacket.h"
#include "splitter/writing/muxersetup.h"
#include "splitter/writing/writertrial.h"

#include <algorithm>
#include <cerrno>

namespace quorvane::splitter {

PieceWriter::PieceWriter(AVFormatContext* in, const MediaLayout& layout, std::string inputPath, std::int64_t firstShown,
    const TestSwitches& switches)
    : m_in(in)
    , m_layout(layout)
    , m_container(containerFacts(layout.format))
    , m_inputPath(std::move(inputPath))
    , m_firstShown(firstShown)
    , m_switches(switches)
{
    const AVCodecParameters* ref = in->streams[layout.ref]->codecpar;
    if (m_container.numbersFramesFromStart && ref->extradata_size >= FlacStreamInfo::size && ref->sample_rate > 0)
        m_flac = std::make_unique<FlacStreamInfo>(ref->extradata);
}

PieceWriter::~PieceWriter()
{
    discardCurrent();
    m_finished.reset(); // ended by a failure: a piece still being copied is not made whole
}

void PieceWriter::align()
{
    std::int64_t shift = 0;
    std::vector<Packet> held = m_alignment.release(avio_tell(m_out->pb), shift);
    if (shift > 0) {
        // Open the piece again with that much more room in front of its media.
        PieceSpan span = m_span;
        span.moovReserve += shift;
        const int mendedBefore = m_mendedBefore;
        discardCurrent();
        open(span);
        m_alignment.start(0);
        m_mendedBefore = mendedBefore;
    }
    for (Packet& packet : held)
        write(std::move(packet));
}

int PieceWriter::send(AVPacket* packet, const AVStream* from)
{
    PayloadRuns* const payload = m_container.mediaFromSource ? m_file->payload() : nullptr;
    const bool asRun
        = payload && from && reachesMuxerWhole(from->codecpar->codec_id) && m_switches.unread != UnreadForTest::Fill;
    // Bytes left in the source go to the muxer only where they become a run to copy.
    if (!asRun) {
        if (const int filled = fillUnread(packet); filled < 0)
            return filled;
    }
    if (!m_container.mediaFromSource) {
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
    m_alignment.start(0);
    if (m_flac)
        m_flac->restart();
    startPayloadCopy(span);
    writeHeader(span);
    m_menders.assign(static_cast<std::size_t>(m_layout.outputs), {});
    m_restarts = std::make_unique<KeyframeRestarts>(m_in, m_layout, span.number);
    addCovers();
    if (m_opened)
        m_opened(span.number);
}

void PieceWriter::startPayloadCopy(const PieceSpan& span)
{
    if (!m_switches.copyPayload || !m_container.mediaFromSource || span.moovReserve <= 0)
        return;
    // With the index's room reserved in front, the muxer never reads the piece back: its media bytes can
    // wait to be copied in by the kernel.
    const int blockSize = m_file->sharingBlockSize();
    if (blockSize <= 0 && !m_switches.copyPayloadEverywhere && !m_readInPlace)
        return;
    if (!m_source.isOpen())
        m_source = SystemFile::openForReading(m_inputPath);
    if (m_source.isOpen()) {
        m_file->copyPayloadFrom(m_source, m_switches.kernelCopy);
        m_alignment.start(std::max(blockSize, 0));
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
    MuxerSetup setup;
    if ((result = muxerSetup(m_in, m_layout, span, setup)) < 0)
        fail(result, true);
    if (setup.readBack)
        m_file->willBeReopened(); // to move the index to the front
    if (setup.maxDelay >= 0)
        m_out->max_delay = setup.maxDelay;
    if (setup.arrivalStamps) {
        try {
            m_stamps = std::make_unique<ArrivalStamps>(m_file->io());
        } catch (const std::bad_alloc&) {
            fail(AVERROR(ENOMEM), true);
        }
        m_out->pb = m_stamps->io();
    }
    AVDictionary* given = setup.options.release();
    result = avformat_write_header(m_out.get(), &given);
    setup.options.reset(given); // what the muxer did not take
    if (result < 0)
        fail(m_out->pb && m_out->pb->error ? m_out->pb->error : result, true);
}

void PieceWriter::addCovers()
{
    // A cover picture belongs to every piece.
    for (std::size_t i = 0; i < m_layout.streams.size(); ++i) {
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
    if (m_alignment.waiting()) {
        if (m_alignment.hold(std::move(packet)))
            align();
        return;
    }
    if (const int restarted = m_restarts->restart(packet); restarted < 0)
        fail(restarted);
    const int s = packet->stream_index;
    const AVStream* ist = m_in->streams[s];
    const int output = m_layout.streams[static_cast<std::size_t>(s)].output;
    const AVStream* ost = m_out->streams[output];
    // Matroska's block times of a stream that skips samples at its start run that much ahead of what shows:
    // moved here where the writer does not move them itself.
    const int skipped = preSkipOf(m_in, m_layout, m_span, static_cast<unsigned>(s));
    const bool moved = skipped > 0 && !matroskaWriterMovesBlocksByCodecDelay();
    const std::int64_t offset = av_rescale_q(m_span.start, m_layout.refBase, ist->time_base)
        - (moved ? av_rescale_q(skipped, { 1, sampleClock(ist->codecpar) }, ist->time_base) : 0);
    // The first frame may fall a tick before the first block for the rounding of millisecond times.
    std::int64_t earliest = INT64_MIN;
    if (skipped > 0)
        earliest = moved ? 0 : -av_rescale_q(skipped, { 1, ost->codecpar->sample_rate }, ost->time_base);
    const auto rebased = [&](std::int64_t t) -> std::optional<std::int64_t> {
        if (t == AV_NOPTS_VALUE)
            return std::nullopt;
        return std::max(av_rescale_q(t - offset, ist->time_base, ost->time_base), earliest);
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
    if (m_alignment.waiting())
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
