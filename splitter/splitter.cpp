// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/splitter.h"

#include "splitter/cutplan.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace quorvane::splitter {

namespace {

// ---- Cleanup when the process is ended by a signal -------------------------------------------------------

char g_tempPath[4096];
volatile std::sig_atomic_t g_tempActive = 0;

extern "C" void removeTempAndDie(int sig)
{
    if (g_tempActive)
        ::unlink(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void setTempPath(const std::string& path)
{
    g_tempActive = 0;
    std::snprintf(g_tempPath, sizeof g_tempPath, "%s", path.c_str());
    g_tempActive = 1;
}

void clearTempPath() { g_tempActive = 0; }

// ---- Failures ------------------------------------------------------------------------------------------

struct SplitError {
    int exitCode;
    std::string message;
};

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- RAII owners -----------------------------------------------------------------------------------------

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputContext = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;

Packet newPacket()
{
    Packet packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

InputContext openInput(const std::string& path)
{
    AVFormatContext* raw = nullptr;
    // "file:" keeps a name with a colon from being taken for a protocol; the file is only read.
    const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
    if (opened < 0) {
        if (opened == AVERROR(ENOENT) || opened == AVERROR(EACCES) || opened == AVERROR(EISDIR)
            || opened == AVERROR(EPERM))
            throw SplitError { CannotOpen, "cannot open the file: " + avError(opened) };
        throw SplitError { NotMedia, "not a video or audio file" };
    }
    InputContext input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        throw SplitError { NotMedia, "not a video or audio file" };
    return input;
}

bool isMovFamily(const AVOutputFormat* format)
{
    for (const char* name : { "mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v" }) {
        if (std::strcmp(format->name, name) == 0)
            return true;
    }
    return false;
}

bool isCoverArt(const AVStream* stream) { return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }

// Streams whose packets come seldom; the cut does not wait for them.
bool isSparse(const AVStream* stream)
{
    const AVMediaType type = stream->codecpar->codec_type;
    return (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || isCoverArt(stream);
}

const char* streamKind(const AVStream* stream)
{
    switch (stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        return "video";
    case AVMEDIA_TYPE_AUDIO:
        return "audio";
    case AVMEDIA_TYPE_SUBTITLE:
        return "subtitle";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "attachment";
    default:
        return "data";
    }
}

std::int64_t timeOf(const AVPacket* packet) { return packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts; }

// ---- The run ---------------------------------------------------------------------------------------------

class Split {
public:
    Split(const SplitRequest& request, std::FILE* err)
        : m_request(request)
        , m_err(err)
    {
    }

    int run();

private:
    struct Mapped {
        int output = -1; // index in each piece, -1 when left out
        bool sparse = false;
    };
    struct Queued {
        int piece;
        Packet packet;
    };

    void warn(const std::string& text) { std::fprintf(m_err, "%s: %s\n", m_request.input.c_str(), text.c_str()); }
    void chooseStreams();
    void chooseOutputFormat();
    void planFromIndex();
    void planFromPackets();
    void plan();
    void writePieces();
    void handlePacket(Packet packet);
    std::optional<int> classify(const AVPacket* packet) const;
    void route(int piece, Packet packet);
    void drainPending(bool atEnd);
    bool currentCanClose() const;
    void closeCurrentAndOpenNext();
    std::int64_t toRef(std::int64_t time, int stream) const;
    std::int64_t moovSizeFor(int piece) const;

    // Piece output.
    void openPiece(int piece, bool faststart);
    void writeToPiece(int piece, Packet packet);
    bool finishPiece(); // false when the moov reservation was too small
    void abandonPiece();
    void rewritePieceInSecondPass(int piece);

    const SplitRequest& m_request;
    std::FILE* m_err;
    InputContext m_input;
    int m_ref = -1;
    AVRational m_refBase { 1, 1 };
    const AVOutputFormat* m_format = nullptr;
    std::vector<Mapped> m_map;
    int m_outputs = 0;

    // Plan, in the reference stream's time base: piece p starts at m_cutPts[p]; the reference stream's
    // packet that starts it has the decoding time m_cutDts[p].
    std::vector<PlannedPiece> m_plan;
    std::vector<std::int64_t> m_cutDts;
    std::vector<std::optional<std::int64_t>> m_cutPts;
    std::int64_t m_fileStart = 0;
    std::vector<std::vector<std::int64_t>> m_times; // per input stream, decoding times in reference ticks
    std::int64_t m_extraBytes = 0;
    std::int64_t m_expectedRefPackets = -1;

    // Writing.
    int m_refPiece = 0;
    int m_current = -1;
    std::vector<int> m_passed; // per input stream: the highest piece a packet of it went to
    std::deque<Queued> m_queue;
    std::deque<Packet> m_pending;
    std::int64_t m_queuedBytes = 0;
    std::int64_t m_refPackets = 0;
    std::int64_t m_lastRefTime = AV_NOPTS_VALUE;
    int m_readError = 0;
    int m_piecesWritten = 0;
    int m_moovFallbacks = 0;
    bool m_writeOnlyOnePiece = false;

    AVFormatContext* m_out = nullptr;
    int m_outPiece = -1;
    bool m_outReserved = false;
    std::string m_outTemp;
    std::string m_outFinal;
};

std::int64_t Split::toRef(std::int64_t time, int stream) const
{
    return av_rescale_q(time, m_input->streams[stream]->time_base, m_refBase);
}

void Split::chooseStreams()
{
    AVFormatContext* in = m_input.get();
    for (unsigned i = 0; i < in->nb_streams && m_ref < 0; ++i) {
        const AVStream* st = in->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            m_ref = static_cast<int>(i);
    }
    for (unsigned i = 0; i < in->nb_streams && m_ref < 0; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_ref = static_cast<int>(i);
    }
    if (m_ref < 0)
        throw SplitError { NotMedia, "not a video or audio file" };
    const std::string demuxer = in->iformat->name;
    if (demuxer == "tty")
        throw SplitError { NotMedia, "not a video or audio file" };
    if (demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0))
        throw SplitError { NotMedia, "a still picture, not a video or audio file" };
    m_refBase = in->streams[m_ref]->time_base;
}

void Split::chooseOutputFormat()
{
    // The pieces keep the input's extension, so its container follows from it; a name without a known
    // extension takes the container the input was read as.
    m_format = av_guess_format(nullptr, m_request.input.c_str(), nullptr);
    if (!m_format) {
        std::string demuxer = m_input->iformat->name;
        demuxer = demuxer.substr(0, demuxer.find(','));
        m_format = av_guess_format(demuxer.c_str(), nullptr, nullptr);
    }
    if (!m_format)
        throw SplitError { Failed,
            std::string("pieces of this kind (") + m_input->iformat->name + ") cannot be written" };

    AVFormatContext* in = m_input.get();
    m_map.assign(in->nb_streams, {});
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        const AVCodecID codec = st->codecpar->codec_id;
        const bool known = codec != AV_CODEC_ID_NONE;
        // The MP4 family stores a cover as a picture of its own, outside the codec tables the query uses.
        const bool cover = isCoverArt(st) && isMovFamily(m_format)
            && (codec == AV_CODEC_ID_PNG || codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_BMP);
        if (!cover && (!known || avformat_query_codec(m_format, codec, FF_COMPLIANCE_NORMAL) == 0)) {
            if (static_cast<int>(i) == m_ref && !known)
                throw SplitError { NotMedia,
                    std::string("its ") + streamKind(st) + " is of a kind that cannot be read" };
            if (static_cast<int>(i) == m_ref)
                throw SplitError { Failed,
                    std::string("its ") + streamKind(st) + " cannot be kept in " + m_format->name + " pieces" };
            const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
            warn("stream " + std::to_string(i) + " (" + (descriptor ? descriptor->name : "unknown") + " "
                + streamKind(st) + ") cannot be kept in " + m_format->name + " pieces; it is left out");
            continue;
        }
        m_map[i] = { m_outputs++, isSparse(st) };
        m_extraBytes += st->codecpar->extradata_size + 1024;
        for (const AVDictionaryEntry* tag = nullptr; (tag = av_dict_get(st->metadata, "", tag, AV_DICT_IGNORE_SUFFIX));)
            m_extraBytes += static_cast<std::int64_t>(std::strlen(tag->key) + std::strlen(tag->value) + 32);
    }
    for (const AVDictionaryEntry* tag = nullptr; (tag = av_dict_get(in->metadata, "", tag, AV_DICT_IGNORE_SUFFIX));)
        m_extraBytes += static_cast<std::int64_t>(std::strlen(tag->key) + std::strlen(tag->value) + 32);
}

void Split::planFromIndex()
{
    // The MP4 family's index holds every sample of every track: no pass over the data is needed.
    AVFormatContext* in = m_input.get();
    m_times.assign(in->nb_streams, {});
    AVStream* ref = in->streams[m_ref];
    std::vector<std::int64_t> keyDts;
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        const int count = avformat_index_get_entries_count(st);
        m_times[s].reserve(static_cast<std::size_t>(count));
        for (int e = 0; e < count; ++e) {
            const AVIndexEntry* entry = avformat_index_get_entry(st, e);
            m_times[s].push_back(toRef(entry->timestamp, static_cast<int>(s)));
            if (static_cast<int>(s) == m_ref && (entry->flags & AVINDEX_KEYFRAME)
                && !(entry->flags & AVINDEX_DISCARD_FRAME))
                keyDts.push_back(entry->timestamp);
        }
        std::sort(m_times[s].begin(), m_times[s].end());
    }
    m_expectedRefPackets = avformat_index_get_entries_count(ref);

    // The index has decoding times; a keyframe shows at its decoding time plus the stream's reordering delay.
    const std::int64_t firstDts = m_times[static_cast<std::size_t>(m_ref)].front();
    const std::int64_t delay
        = ref->start_time != AV_NOPTS_VALUE ? std::max<std::int64_t>(0, ref->start_time - firstDts) : 0;
    std::vector<std::int64_t> keyPts;
    keyPts.reserve(keyDts.size());
    for (const std::int64_t dts : keyDts)
        keyPts.push_back(dts + delay);

    m_fileStart
        = in->start_time != AV_NOPTS_VALUE ? av_rescale_q(in->start_time, AV_TIME_BASE_Q, m_refBase) : firstDts + delay;
    std::int64_t end = m_fileStart;
    if (in->duration != AV_NOPTS_VALUE)
        end = m_fileStart + av_rescale_q(in->duration, AV_TIME_BASE_Q, m_refBase);
    if (ref->duration != AV_NOPTS_VALUE && ref->start_time != AV_NOPTS_VALUE)
        end = std::max(end, ref->start_time + ref->duration);

    m_plan = planPieces(keyPts, m_fileStart, end, lengthInTicks(m_request.seconds, m_refBase.num, m_refBase.den));
    m_cutDts.assign(m_plan.size(), 0);
    for (std::size_t p = 1; p < m_plan.size(); ++p)
        m_cutDts[p] = m_plan[p].start - delay;
}

void Split::planFromPackets()
{
    // Containers without a full index: one quick pass over the packets finds the keyframes.
    AVFormatContext* in = m_input.get();
    m_times.assign(in->nb_streams, {});
    std::vector<std::int64_t> keyPts;
    std::vector<std::int64_t> keyDts;
    std::int64_t start = INT64_MAX;
    std::int64_t end = INT64_MIN;
    Packet packet = newPacket();
    m_expectedRefPackets = 0;
    while (av_read_frame(in, packet.get()) >= 0) {
        const int s = packet->stream_index;
        if (s >= 0 && static_cast<unsigned>(s) < in->nb_streams && m_map[static_cast<std::size_t>(s)].output >= 0) {
            const std::int64_t t = timeOf(packet.get());
            if (t != AV_NOPTS_VALUE) {
                const std::int64_t dts = toRef(t, s);
                const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? toRef(packet->pts, s) : dts;
                m_times[static_cast<std::size_t>(s)].push_back(dts);
                if (!m_map[static_cast<std::size_t>(s)].sparse) {
                    start = std::min(start, pts);
                    end = std::max(end, pts + toRef(packet->duration, s));
                }
                if (s == m_ref && (packet->flags & AV_PKT_FLAG_KEY)) {
                    keyPts.push_back(pts);
                    keyDts.push_back(dts);
                }
            }
            if (s == m_ref)
                ++m_expectedRefPackets;
        }
        av_packet_unref(packet.get());
    }
    if (start > end)
        throw SplitError { NotMedia, "not a video or audio file" };
    for (auto& times : m_times)
        std::sort(times.begin(), times.end());

    // Keyframes in presentation order may differ from decoding order only by reordering; keep pairs sorted.
    std::vector<std::size_t> order(keyPts.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keyPts[a] < keyPts[b]; });
    std::vector<std::int64_t> sortedPts;
    for (const std::size_t i : order)
        sortedPts.push_back(keyPts[i]);

    m_fileStart = start;
    m_plan = planPieces(sortedPts, start, end, lengthInTicks(m_request.seconds, m_refBase.num, m_refBase.den));
    m_cutDts.assign(m_plan.size(), 0);
    for (std::size_t p = 1; p < m_plan.size(); ++p) {
        const auto it = std::lower_bound(sortedPts.begin(), sortedPts.end(), m_plan[p].start);
        m_cutDts[p] = keyDts[order[static_cast<std::size_t>(it - sortedPts.begin())]];
    }

    // Back to the start for the writing pass.
    m_input = openInput(m_request.input);
}

void Split::plan()
{
    const AVStream* ref = m_input->streams[m_ref];
    const std::string demuxer = m_input->iformat->name;
    const bool fullIndex = demuxer.find("mp4") != std::string::npos && demuxer.find("mov") != std::string::npos;
    if (fullIndex && avformat_index_get_entries_count(const_cast<AVStream*>(ref)) > 0)
        planFromIndex();
    else
        planFromPackets();

    m_cutPts.assign(m_plan.size(), std::nullopt);
    m_cutPts[0] = m_fileStart;
    const double tick = av_q2d(m_refBase);
    for (std::size_t p = 0; p < m_plan.size(); ++p) {
        if (!m_plan[p].longerThanAsked)
            continue;
        char text[160];
        std::snprintf(text, sizeof text, "piece %zu is %.1f s long: no keyframe within %g s of its start", p + 1,
            static_cast<double>(m_plan[p].end - m_plan[p].start) * tick, m_request.seconds);
        warn(text);
    }
}

std::int64_t Split::moovSizeFor(int piece) const
{
    // Lets the tests make the reservation fall short, to exercise the second pass.
    if (const char* forced = std::getenv("QUORVANE_SPLIT_MOOV_SIZE_FOR_TEST"))
        return std::max(8L, std::strtol(forced, nullptr, 10));
    // Count generously: the times of every track between a little before the piece and a little after.
    const auto& planned = m_plan[static_cast<std::size_t>(piece)];
    const std::int64_t margin = av_rescale_q(1, AVRational { 1, 1 }, m_refBase);
    const std::int64_t from = planned.start - margin;
    const std::int64_t to = planned.end + margin;
    std::vector<std::int64_t> samples;
    for (std::size_t s = 0; s < m_times.size(); ++s) {
        if (m_map[s].output < 0)
            continue;
        const auto& times = m_times[s];
        samples.push_back(
            std::upper_bound(times.begin(), times.end(), to) - std::lower_bound(times.begin(), times.end(), from));
    }
    return moovReservation(samples, m_extraBytes);
}

std::optional<int> Split::classify(const AVPacket* packet) const
{
    const std::int64_t raw = timeOf(packet);
    if (raw == AV_NOPTS_VALUE)
        return m_refPiece;
    const std::int64_t t = toRef(raw, packet->stream_index);
    const int last = static_cast<int>(m_plan.size()) - 1;
    // Presentation never precedes decoding, so a time before the next cut's decoding time is settled.
    if (m_refPiece < last && t >= m_cutDts[static_cast<std::size_t>(m_refPiece) + 1])
        return std::nullopt;
    int piece = m_refPiece;
    while (piece > 0 && t < *m_cutPts[static_cast<std::size_t>(piece)])
        --piece;
    return piece;
}

void Split::handlePacket(Packet packet)
{
    const int s = packet->stream_index;
    if (s < 0 || static_cast<unsigned>(s) >= m_input->nb_streams || m_map[static_cast<std::size_t>(s)].output < 0)
        return;
    if (isCoverArt(m_input->streams[s]))
        return; // every piece gets its own copy when it is opened
    if (s == m_ref) {
        ++m_refPackets;
        const std::int64_t raw = timeOf(packet.get());
        if (raw != AV_NOPTS_VALUE) {
            const std::int64_t t = toRef(raw, s);
            m_lastRefTime = std::max(m_lastRefTime == AV_NOPTS_VALUE ? t : m_lastRefTime,
                packet->pts != AV_NOPTS_VALUE ? toRef(packet->pts + packet->duration, s) : t);
            const int last = static_cast<int>(m_plan.size()) - 1;
            while (m_refPiece < last && t >= m_cutDts[static_cast<std::size_t>(m_refPiece) + 1]) {
                ++m_refPiece;
                m_cutPts[static_cast<std::size_t>(m_refPiece)]
                    = packet->pts != AV_NOPTS_VALUE ? toRef(packet->pts, s) : t;
            }
        }
        const int piece = m_refPiece;
        route(piece, std::move(packet));
        drainPending(false);
        return;
    }
    if (m_pending.empty()) {
        if (const auto piece = classify(packet.get())) {
            route(*piece, std::move(packet));
            return;
        }
    }
    m_queuedBytes += packet->size;
    m_pending.push_back(std::move(packet));
}

void Split::drainPending(bool atEnd)
{
    while (!m_pending.empty()) {
        std::optional<int> piece = classify(m_pending.front().get());
        if (!piece && !atEnd)
            break;
        Packet packet = std::move(m_pending.front());
        m_pending.pop_front();
        m_queuedBytes -= packet->size;
        route(piece.value_or(m_refPiece), std::move(packet));
    }
}

void Split::route(int piece, Packet packet)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    m_passed[s] = std::max(m_passed[s], piece);
    if (m_writeOnlyOnePiece) {
        if (piece == m_current)
            writeToPiece(piece, std::move(packet));
        return;
    }
    if (piece > m_current) {
        m_queuedBytes += packet->size;
        m_queue.push_back({ piece, std::move(packet) });
    } else {
        // A packet that arrives after its piece was closed joins the open one, so nothing is lost.
        writeToPiece(m_current, std::move(packet));
    }
    // A stream that stops early must not hold every later packet in memory.
    constexpr std::int64_t memoryCap = 32 * 1024 * 1024;
    while (m_current + 1 < static_cast<int>(m_plan.size()) && (currentCanClose() || m_queuedBytes > memoryCap))
        closeCurrentAndOpenNext();
}

bool Split::currentCanClose() const
{
    for (std::size_t s = 0; s < m_map.size(); ++s) {
        if (m_map[s].output >= 0 && !m_map[s].sparse && m_passed[s] <= m_current)
            return false;
    }
    return true;
}

void Split::closeCurrentAndOpenNext()
{
    if (!finishPiece())
        rewritePieceInSecondPass(m_current);
    ++m_current;
    openPiece(m_current, false);
    std::deque<Queued> later;
    while (!m_queue.empty()) {
        Queued item = std::move(m_queue.front());
        m_queue.pop_front();
        if (item.piece <= m_current) {
            m_queuedBytes -= item.packet->size;
            writeToPiece(m_current, std::move(item.packet));
        } else {
            later.push_back(std::move(item));
        }
    }
    m_queue = std::move(later);
}

void Split::openPiece(int piece, bool faststart)
{
    m_outPiece = piece;
    m_outFinal = pieceFileName(m_request.input, piece + 1);
    const std::string finalName = baseName(m_outFinal);
    const std::string folder = m_outFinal.substr(0, m_outFinal.size() - finalName.size());
    // A hidden temporary name in the same folder, renamed only when the piece is complete.
    for (int attempt = 0;; ++attempt) {
        // Appended piece by piece: GCC 12 misreads `"." + std::string&&` as an overlapping copy.
        m_outTemp = folder;
        m_outTemp += '.';
        m_outTemp += finalName;
        m_outTemp += ".part";
        m_outTemp += std::to_string(::getpid());
        if (attempt) {
            m_outTemp += '-';
            m_outTemp += std::to_string(attempt);
        }
        setTempPath(m_outTemp);
        const int fd = ::open(m_outTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        clearTempPath();
        if (errno != EEXIST || attempt > 100)
            throw SplitError { CannotWrite, "cannot write " + finalName + ": " + std::strerror(errno) };
    }

    const auto fail = [&](int code, const char* step) {
        abandonPiece();
        throw SplitError { code == AVERROR(ENOSPC) || code == AVERROR(EACCES) || code == AVERROR(EROFS)
                    || code == AVERROR(EDQUOT) || code == AVERROR(EIO)
                ? CannotWrite
                : Failed,
            std::string("cannot write ") + finalName + " (" + step + "): " + avError(code) };
    };

    int result = avformat_alloc_output_context2(&m_out, m_format, nullptr, m_outTemp.c_str());
    if (result < 0)
        fail(result, "output");
    AVFormatContext* in = m_input.get();
    av_dict_copy(&m_out->metadata, in->metadata, 0);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (m_map[i].output < 0)
            continue;
        const AVStream* ist = in->streams[i];
        AVStream* ost = avformat_new_stream(m_out, nullptr);
        if (!ost)
            fail(AVERROR(ENOMEM), "stream");
        if ((result = avcodec_parameters_copy(ost->codecpar, ist->codecpar)) < 0)
            fail(result, "stream");
        // Keep the input's codec tag (hvc1, say) where the container knows it for this codec.
        unsigned int tag = 0;
        if (m_format->codec_tag
            && av_codec_get_id(m_format->codec_tag, ist->codecpar->codec_tag) != ist->codecpar->codec_id
            && av_codec_get_tag2(m_format->codec_tag, ist->codecpar->codec_id, &tag))
            ost->codecpar->codec_tag = 0;
        ost->time_base = ist->time_base;
        ost->avg_frame_rate = ist->avg_frame_rate;
        ost->r_frame_rate = ist->r_frame_rate;
        ost->sample_aspect_ratio = ist->sample_aspect_ratio;
        ost->disposition = ist->disposition;
        av_dict_copy(&ost->metadata, ist->metadata, 0);
#if LIBAVFORMAT_VERSION_MAJOR < 61
        // The display matrix (rotation) and the other stream-wide side data; newer FFmpeg keeps them in
        // the codec parameters copied above.
        for (int sd = 0; sd < ist->nb_side_data; ++sd) {
            const AVPacketSideData& data = ist->side_data[sd];
            uint8_t* copy = av_stream_new_side_data(ost, data.type, data.size);
            if (!copy)
                fail(AVERROR(ENOMEM), "side data");
            std::memcpy(copy, data.data, data.size);
        }
#endif
    }

    if ((result = avio_open(&m_out->pb, ("file:" + m_outTemp).c_str(), AVIO_FLAG_WRITE)) < 0)
        fail(result, "open");
    AVDictionary* raw = nullptr;
    m_outReserved = false;
    if (isMovFamily(m_format)) {
        if (faststart) {
            av_dict_set(&raw, "movflags", "+faststart", 0);
        } else {
            av_dict_set_int(&raw, "moov_size", moovSizeFor(piece), 0);
            m_outReserved = true;
        }
    }
    std::unique_ptr<AVDictionary, DictionaryFree> options(raw);
    AVDictionary* opts = options.release();
    result = avformat_write_header(m_out, &opts);
    av_dict_free(&opts);
    if (result < 0)
        fail(m_out->pb && m_out->pb->error ? m_out->pb->error : result, "header");
    // A cover picture belongs to every piece.
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        if (m_map[i].output < 0 || !isCoverArt(st) || st->attached_pic.size <= 0)
            continue;
        Packet cover = newPacket();
        if ((result = av_packet_ref(cover.get(), &st->attached_pic)) < 0)
            fail(result, "cover");
        cover->stream_index = m_map[i].output;
        cover->pts = cover->dts = 0;
        cover->pos = -1;
        if ((result = av_interleaved_write_frame(m_out, cover.get())) < 0)
            fail(result, "cover");
    }
    // Lets the tests end the tool by a signal while a piece is being written.
    if (piece == 0 && std::getenv("QUORVANE_SPLIT_HOLD_FOR_TEST")) {
        std::fputs("holding\n", m_err);
        std::fflush(m_err);
        for (;;)
            ::pause();
    }
}

void Split::writeToPiece(int piece, Packet packet)
{
    const int s = packet->stream_index;
    const AVStream* ist = m_input->streams[s];
    const std::int64_t offset = av_rescale_q(*m_cutPts[static_cast<std::size_t>(piece)], m_refBase, ist->time_base);
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts -= offset;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts -= offset;
    const int output = m_map[static_cast<std::size_t>(s)].output;
    av_packet_rescale_ts(packet.get(), ist->time_base, m_out->streams[output]->time_base);
    packet->stream_index = output;
    packet->pos = -1;
    const int result = av_interleaved_write_frame(m_out, packet.get());
    if (result < 0) {
        const int code = m_out->pb && m_out->pb->error ? m_out->pb->error : result;
        const std::string name = baseName(m_outFinal);
        abandonPiece();
        throw SplitError { code == AVERROR(EINVAL) ? Failed : CannotWrite,
            "cannot write " + name + ": " + avError(code) };
    }
}

bool Split::finishPiece()
{
    const std::string name = baseName(m_outFinal);
    int result = av_write_trailer(m_out);
    if (result < 0 && m_outReserved && !(m_out->pb && m_out->pb->error)) {
        // The moov box outgrew its reservation: the caller writes this piece again in two passes.
        abandonPiece();
        ++m_moovFallbacks;
        return false;
    }
    if (result >= 0 && m_out->pb && m_out->pb->error)
        result = m_out->pb->error;
    const int closed = avio_closep(&m_out->pb);
    if (result >= 0)
        result = closed;
    if (result < 0) {
        abandonPiece();
        throw SplitError { CannotWrite, "cannot write " + name + ": " + avError(result) };
    }
    avformat_free_context(m_out);
    m_out = nullptr;
    std::error_code error;
    std::filesystem::rename(m_outTemp, m_outFinal, error);
    if (error) {
        ::unlink(m_outTemp.c_str());
        clearTempPath();
        throw SplitError { CannotWrite, "cannot write " + name + ": " + error.message() };
    }
    clearTempPath();
    ++m_piecesWritten;
    return true;
}

void Split::abandonPiece()
{
    if (m_out) {
        if (m_out->pb)
            avio_closep(&m_out->pb);
        avformat_free_context(m_out);
        m_out = nullptr;
    }
    if (!m_outTemp.empty())
        ::unlink(m_outTemp.c_str());
    clearTempPath();
}

void Split::rewritePieceInSecondPass(int piece)
{
    // Every cut up to the piece's end is known now: read the input again and keep this piece's packets.
    Split again(m_request, m_err);
    again.m_input = openInput(m_request.input);
    again.m_ref = m_ref;
    again.m_refBase = m_refBase;
    again.m_format = m_format;
    again.m_map = m_map;
    again.m_plan = m_plan;
    again.m_cutDts = m_cutDts;
    again.m_cutPts = m_cutPts;
    again.m_passed.assign(m_map.size(), -1);
    again.m_writeOnlyOnePiece = true;
    again.m_current = piece;
    again.m_outputs = m_outputs;
    again.openPiece(piece, true);
    Packet packet = newPacket();
    while (av_read_frame(again.m_input.get(), packet.get()) >= 0) {
        Packet owned = std::move(packet);
        packet = newPacket();
        again.handlePacket(std::move(owned));
        if (again.m_refPiece > piece + 1)
            break;
    }
    again.drainPending(true);
    if (!again.finishPiece())
        throw SplitError { Failed, "cannot write " + pieceFileName(baseName(m_request.input), piece + 1) };
    ++m_piecesWritten;
}

void Split::writePieces()
{
    m_passed.assign(m_map.size(), -1);
    m_current = 0;
    openPiece(0, false);
    Packet packet = newPacket();
    int read = 0;
    while ((read = av_read_frame(m_input.get(), packet.get())) >= 0) {
        Packet owned = std::move(packet);
        packet = newPacket();
        handlePacket(std::move(owned));
    }
    if (read != AVERROR_EOF)
        m_readError = read;

    // The end: settle what waited, then close the open piece and any that only queued packets reached.
    drainPending(true);
    for (;;) {
        const bool more
            = std::any_of(m_queue.begin(), m_queue.end(), [&](const Queued& q) { return q.piece > m_current; });
        if (!more)
            break;
        closeCurrentAndOpenNext();
    }
    while (!m_queue.empty()) {
        Packet p = std::move(m_queue.front().packet);
        m_queue.pop_front();
        writeToPiece(m_current, std::move(p));
    }
    if (!finishPiece())
        rewritePieceInSecondPass(m_current);
}

int Split::run()
{
    try {
        m_input = openInput(m_request.input);
        chooseStreams();
        chooseOutputFormat();
        plan();
        writePieces();
        const bool cutShort = m_readError != 0 || (m_expectedRefPackets >= 0 && m_refPackets < m_expectedRefPackets)
            || m_current + 1 < static_cast<int>(m_plan.size());
        if (m_request.stats)
            std::fprintf(m_err, "%s: %d pieces written, %d moov reservations too small\n", m_request.input.c_str(),
                m_piecesWritten, m_moovFallbacks);
        if (cutShort) {
            const double end = m_lastRefTime == AV_NOPTS_VALUE
                ? 0.0
                : static_cast<double>(m_lastRefTime - m_fileStart) * av_q2d(m_refBase);
            warn("the file ends early, at " + clockTime(end) + "; the pieces up to "
                + baseName(pieceFileName(m_request.input, m_piecesWritten)) + " hold what could be read");
            return CutShort;
        }
        return Success;
    } catch (const SplitError& error) {
        abandonPiece();
        warn(error.message);
        return error.exitCode;
    } catch (const std::bad_alloc&) {
        abandonPiece();
        warn("out of memory");
        return Failed;
    }
}

} // namespace

int splitFile(const SplitRequest& request, std::FILE* err)
{
    // Our own one line says what failed; FFmpeg's messages would only confuse it.
    av_log_set_level(AV_LOG_QUIET);
    Split split(request, err);
    return split.run();
}

void installSignalCleanup()
{
    for (int sig : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        std::signal(sig, removeTempAndDie);
}

} // namespace quorvane::splitter
