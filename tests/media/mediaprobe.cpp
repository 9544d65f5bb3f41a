// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "mediaprobe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

namespace quorvane::test {

ProbedFile probeMedia(const std::string& path)
{
    av_log_set_level(AV_LOG_QUIET); // the answer is in the result, not in FFmpeg's messages
    ProbedFile file;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, ("file:" + path).c_str(), nullptr, nullptr) < 0) {
        file.error = "cannot open";
        return file;
    }
    if (avformat_find_stream_info(in, nullptr) < 0) {
        file.error = "no stream info";
        avformat_close_input(&in);
        return file;
    }
    file.readable = true;
    file.format = in->iformat->name;
    file.duration = in->duration == AV_NOPTS_VALUE ? 0 : static_cast<double>(in->duration) / AV_TIME_BASE;
    file.start = in->start_time == AV_NOPTS_VALUE ? 0 : static_cast<double>(in->start_time) / AV_TIME_BASE;
    if (const AVDictionaryEntry* title = av_dict_get(in->metadata, "title", nullptr, 0))
        file.title = title->value;

    for (unsigned c = 0; c < in->nb_chapters; ++c) {
        const AVChapter* chapter = in->chapters[c];
        const AVDictionaryEntry* name = av_dict_get(chapter->metadata, "title", nullptr, 0);
        file.chapters.push_back({ static_cast<double>(chapter->start) * av_q2d(chapter->time_base),
            static_cast<double>(chapter->end) * av_q2d(chapter->time_base), name ? name->value : "" });
    }
    if (const AVDictionaryEntry* timecode = av_dict_get(in->metadata, "timecode", nullptr, 0))
        file.timecode = timecode->value;
    for (unsigned i = 0; i < in->nb_streams && file.timecode.empty(); ++i) {
        if (const AVDictionaryEntry* timecode = av_dict_get(in->streams[i]->metadata, "timecode", nullptr, 0))
            file.timecode = timecode->value;
    }

    for (unsigned p = 0; p < in->nb_programs; ++p) {
        const AVProgram* program = in->programs[p];
        const AVDictionaryEntry* name = av_dict_get(program->metadata, "service_name", nullptr, 0);
        std::string text = std::to_string(program->id) + " " + (name ? name->value : "") + ":";
        for (unsigned s = 0; s < program->nb_stream_indexes; ++s) {
            text += ' ';
            text += std::to_string(program->stream_index[s]);
        }
        file.programs.push_back(text);
    }

    std::vector<bool> seen(in->nb_streams, false);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        ProbedStream s;
        const char* type = av_get_media_type_string(st->codecpar->codec_type);
        s.type = type ? type : "unknown";
        s.codec = avcodec_get_name(st->codecpar->codec_id);
        if (const AVDictionaryEntry* language = av_dict_get(st->metadata, "language", nullptr, 0))
            s.language = language->value;
        s.defaultTrack = (st->disposition & AV_DISPOSITION_DEFAULT) != 0;
        s.coverArt = (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && rate.num > 0 && rate.den > 0)
            s.frame = av_q2d(av_inv_q(rate));
        else if (st->codecpar->frame_size > 0 && st->codecpar->sample_rate > 0)
            s.frame = static_cast<double>(st->codecpar->frame_size) / st->codecpar->sample_rate;
        else if (st->codecpar->codec_id == AV_CODEC_ID_FLAC && st->codecpar->extradata_size >= 4
            && st->codecpar->sample_rate > 0) // its STREAMINFO's largest block
            s.frame = static_cast<double>(AV_RB16(st->codecpar->extradata + 2)) / st->codecpar->sample_rate;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) {
            const AVDictionaryEntry* name = av_dict_get(st->metadata, "filename", nullptr, 0);
            const AVDictionaryEntry* mime = av_dict_get(st->metadata, "mimetype", nullptr, 0);
            std::uint32_t sum = 0;
            for (int b = 0; b < st->codecpar->extradata_size; ++b)
                sum = sum * 31 + st->codecpar->extradata[b];
            s.attachment = std::string(name ? name->value : "") + " " + (mime ? mime->value : "") + " "
                + std::to_string(st->codecpar->extradata_size) + " " + std::to_string(sum);
        }
#if LIBAVFORMAT_VERSION_MAJOR < 61
        std::size_t size = 0;
        const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
        if (matrix && size >= 9 * sizeof(int32_t))
            s.rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
#else
        // FFmpeg 7 keeps a stream's display matrix with its codec parameters.
        const AVPacketSideData* matrix = av_packet_side_data_get(
            st->codecpar->coded_side_data, st->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
        if (matrix && matrix->size >= 9 * sizeof(int32_t))
            s.rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix->data));
#endif
        s.start = std::numeric_limits<double>::max();
        s.end = std::numeric_limits<double>::lowest();
        file.streams.push_back(s);
    }

    AVPacket* packet = av_packet_alloc();
    std::vector<double> skipUntil(file.streams.size(), -std::numeric_limits<double>::max());
    // What a decoder skips at a stream's start by itself: Opus's pre-skip, in its header (Matroska's CodecDelay).
    // A Vorbis decoder's first packet only primes it.
    const bool matroska = std::string(in->iformat->name).find("matroska") != std::string::npos;
    std::vector<double> preSkip(file.streams.size(), 0);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* par = in->streams[i]->codecpar;
        if (matroska && par->codec_id == AV_CODEC_ID_OPUS && par->extradata_size >= 12)
            preSkip[i] = AV_RL16(par->extradata + 10) / 48000.0;
    }
    while (av_read_frame(in, packet) >= 0) {
        const auto i = static_cast<std::size_t>(packet->stream_index);
        ProbedStream& s = file.streams[i];
        const double base = av_q2d(in->streams[i]->time_base);
        if (!seen[i]) {
            seen[i] = true;
            s.firstIsKey = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            s.firstDts = packet->dts == AV_NOPTS_VALUE ? 0 : static_cast<double>(packet->dts) * base;
        }
        ++s.packets;
        if (packet->size > 2)
            ++s.contentPackets;
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (pts != AV_NOPTS_VALUE) {
            // What a player shows: an audio frame's samples that its container says to skip at either end
            // (an edit list, an encoder's priming) are not part of the stream's time.
            double skipStart = 0;
            double skipEnd = 0;
            std::size_t skipSize = 0;
            const uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &skipSize);
            const int rate = in->streams[i]->codecpar->sample_rate;
            if (skip && skipSize >= 8 && rate > 0) {
                skipStart = static_cast<double>(AV_RL32(skip)) / rate;
                skipEnd = static_cast<double>(AV_RL32(skip + 4)) / rate;
            }
            // What is skipped may reach past the packet: a frame decoded only for the one after it.
            const double from = static_cast<double>(pts) * base + skipStart;
            if (skip)
                skipUntil[i] = std::max(skipUntil[i], from);
            if (s.packets == 1 && preSkip[i] > 0)
                skipUntil[i] = from + preSkip[i];
            // A frame whose samples are all skipped or discarded, or that only primes its decoder, shows nothing.
            const bool priming = s.packets == 1 && in->streams[i]->codecpar->codec_id == AV_CODEC_ID_VORBIS;
            const bool hidden = priming
                || (skip && skipStart + skipEnd > 0
                    && skipStart + skipEnd >= static_cast<double>(packet->duration) * base - 1e-6);
            if (!hidden) {
                s.start = std::min(s.start, std::max(from, skipUntil[i]));
                s.end = std::max(s.end, static_cast<double>(pts + packet->duration) * base - skipEnd);
            }
            if (packet->flags & AV_PKT_FLAG_KEY)
                s.keyTimes.push_back(static_cast<double>(pts) * base);
            s.times.push_back(static_cast<double>(pts) * base);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    for (ProbedStream& s : file.streams) {
        if (s.packets == 0)
            s.start = s.end = 0;
        std::sort(s.keyTimes.begin(), s.keyTimes.end());
        std::sort(s.times.begin(), s.times.end());
    }
    avformat_close_input(&in);
    return file;
}

std::vector<std::string> topLevelBoxes(const std::string& path)
{
    std::vector<std::string> boxes;
    std::ifstream in(path, std::ios::binary);
    for (;;) {
        unsigned char header[8];
        if (!in.read(reinterpret_cast<char*>(header), 8))
            break;
        uint64_t size = (uint64_t { header[0] } << 24) | (uint64_t { header[1] } << 16) | (uint64_t { header[2] } << 8)
            | uint64_t { header[3] };
        boxes.emplace_back(reinterpret_cast<char*>(header + 4), 4);
        uint64_t consumed = 8;
        if (size == 1) {
            unsigned char large[8];
            if (!in.read(reinterpret_cast<char*>(large), 8))
                break;
            size = 0;
            for (unsigned char byte : large)
                size = (size << 8) | byte;
            consumed = 16;
        }
        if (size == 0 || size < consumed)
            break;
        in.seekg(static_cast<std::streamoff>(size - consumed), std::ios::cur);
    }
    return boxes;
}

namespace {

using Unit = std::vector<std::uint8_t>;

int hevcType(const Unit& unit) { return unit.empty() ? -1 : (unit[0] >> 1) & 0x3f; }

// The first VPS, SPS and PPS among `units`.
std::vector<Unit> firstOfEachKind(const std::vector<Unit>& units)
{
    std::vector<Unit> sets;
    for (int type = 32; type <= 34; ++type) {
        const auto found = std::find_if(units.begin(), units.end(), [&](const Unit& u) { return hevcType(u) == type; });
        if (found != units.end())
            sets.push_back(*found);
    }
    return sets;
}

Unit withStartCodes(const std::vector<Unit>& units)
{
    Unit out;
    for (const Unit& unit : units) {
        out.insert(out.end(), { 0, 0, 0, 1 });
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

struct FreeDecoder {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

} // namespace

std::string firstParameterSetsError(const std::string& path)
{
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, ("file:" + path).c_str(), nullptr, nullptr) < 0)
        return "cannot open";
    std::string error;
    const int video = avformat_find_stream_info(in, nullptr) < 0
        ? -1
        : av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodecParameters* par = video >= 0 ? in->streams[video]->codecpar : nullptr;
    if (!par || par->codec_id != AV_CODEC_ID_HEVC || par->extradata_size < 23 || par->extradata[0] != 1) {
        avformat_close_input(&in);
        return "no HEVC video with an hvcC header";
    }
    const std::uint8_t* header = par->extradata;
    const int lengthSize = (header[21] & 3) + 1;
    std::vector<Unit> declared;
    for (int i = 0, at = 23; i < header[22] && at + 3 <= par->extradata_size; ++i) {
        const int count = (header[at + 1] << 8) | header[at + 2];
        at += 3;
        for (int n = 0; n < count && at + 2 <= par->extradata_size; ++n) {
            const int size = (header[at] << 8) | header[at + 1];
            at += 2;
            if (at + size > par->extradata_size)
                break;
            declared.emplace_back(header + at, header + at + size);
            at += size;
        }
    }

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    std::unique_ptr<AVCodecContext, FreeDecoder> decoder;
    Unit decoderSps;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVPacket* annexB = av_packet_alloc();
    const auto describe = [&](const char* what, int code, const AVPacket* p) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        const double at = p ? static_cast<double>(p->pts) * av_q2d(in->streams[video]->time_base) : -1;
        error = std::string(what) + " at " + std::to_string(at) + " s: " + text;
    };
    // Sends a packet (or the end) and takes every picture it lets out.
    const auto decode = [&](const AVPacket* p) {
        if (const int sent = avcodec_send_packet(decoder.get(), p); sent < 0) {
            describe("sending a packet", sent, p);
            return;
        }
        for (;;) {
            const int got = avcodec_receive_frame(decoder.get(), frame);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            if (got < 0) {
                describe("decoding", got, p);
                return;
            }
        }
    };
    const auto open = [&](const std::vector<Unit>& sets) {
        if (decoder)
            decode(nullptr); // the pictures the old decoder holds are shown first
        decoder.reset(avcodec_alloc_context3(codec));
        const Unit extradata = withStartCodes(sets);
        decoder->extradata = static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(decoder->extradata, extradata.data(), extradata.size());
        decoder->extradata_size = static_cast<int>(extradata.size());
        decoder->pkt_timebase = in->streams[video]->time_base;
        if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
            error = "the decoder did not open";
        const auto sps = std::find_if(sets.begin(), sets.end(), [](const Unit& u) { return hevcType(u) == 33; });
        decoderSps = sps != sets.end() ? *sps : Unit {};
    };
    open(firstOfEachKind(declared));
    while (error.empty() && av_read_frame(in, packet) >= 0) {
        if (packet->stream_index == video) {
            std::vector<Unit> units;
            for (int at = 0; at + lengthSize <= packet->size;) {
                std::size_t size = 0;
                for (int b = 0; b < lengthSize; ++b)
                    size = (size << 8) | packet->data[at + b];
                at += lengthSize;
                if (size > static_cast<std::size_t>(packet->size - at))
                    break;
                units.emplace_back(packet->data + at, packet->data + at + size);
                at += static_cast<int>(size);
            }
            const std::vector<Unit> carried = firstOfEachKind(units);
            const auto sps
                = std::find_if(carried.begin(), carried.end(), [](const Unit& u) { return hevcType(u) == 33; });
            if ((packet->flags & AV_PKT_FLAG_KEY) && sps != carried.end() && *sps != decoderSps)
                open(carried);
            const Unit bytes = withStartCodes(units);
            if (error.empty() && av_new_packet(annexB, static_cast<int>(bytes.size())) == 0) {
                std::memcpy(annexB->data, bytes.data(), bytes.size());
                av_packet_copy_props(annexB, packet);
                decode(annexB);
                av_packet_unref(annexB);
            }
        }
        av_packet_unref(packet);
    }
    if (error.empty())
        decode(nullptr);
    av_packet_free(&annexB);
    av_packet_free(&packet);
    av_frame_free(&frame);
    decoder.reset();
    avformat_close_input(&in);
    return error;
}

} // namespace quorvane::test
