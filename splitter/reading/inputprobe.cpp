// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/reading/inputprobe.h"

#include "splitter/media/codecpolicy.h"
#include "splitter/media/containerfacts.h"
#include "splitter/media/spliterror.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <cerrno>
#include <cstring>

namespace quorvane::splitter {

namespace {

bool isCoverArt(const AVStream* stream) { return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }

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

std::int64_t tagBytes(const AVDictionary* tags)
{
    std::int64_t bytes = 0;
    for (const AVDictionaryEntry* tag = nullptr; (tag = av_dict_get(tags, "", tag, AV_DICT_IGNORE_SUFFIX));)
        bytes += static_cast<std::int64_t>(std::strlen(tag->key) + std::strlen(tag->value) + 32);
    return bytes;
}

int chooseReference(const AVFormatContext* in)
{
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !isCoverArt(st))
            return static_cast<int>(i);
    }
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return static_cast<int>(i);
    }
    return -1;
}

const AVOutputFormat* chooseFormat(const AVFormatContext* in, const std::string& inputName)
{
    // The pieces keep the input's extension, so its container follows from it; a name without a known
    // extension takes the container the input was read as.
    const AVOutputFormat* format = av_guess_format(nullptr, inputName.c_str(), nullptr);
    if (!format) {
        std::string demuxer = in->iformat->name;
        demuxer = demuxer.substr(0, demuxer.find(','));
        format = av_guess_format(demuxer.c_str(), nullptr, nullptr);
    }
    if (!format)
        throw SplitError { Unsupported,
            std::string("pieces of this kind (") + in->iformat->name + ") cannot be written" };
    return format;
}

const DeclaredHeader* declaredOf(const MediaLayout& layout, const AVStream* st)
{
    const auto index = static_cast<std::size_t>(st->index);
    return index < layout.streams.size() ? &layout.streams[index].declared : nullptr;
}

// One picture at the stream's average frame rate, or one audio frame, in the stream's ticks.
std::int64_t frameTicks(const AVStream* st)
{
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        const int samples = samplesPerFrame(par);
        return samples > 0 && par->sample_rate > 0
            ? av_rescale_q(samples, AVRational { 1, par->sample_rate }, st->time_base)
            : 0;
    }
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    return rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), st->time_base) : 0;
}

} // namespace

InputContext openInput(
    const std::string& path, AVIOContext* io, const std::function<bool(AVFormatContext*)>& beforeParameters)
{
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    if (io) {
        raw->pb = io;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // "file:" keeps a name with a colon from being taken for a protocol; the file is only read.
    const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
    if (opened < 0) {
        if (opened == AVERROR(ENOENT) || opened == AVERROR(EACCES) || opened == AVERROR(EISDIR)
            || opened == AVERROR(EPERM))
            throw SplitError { CannotOpen, "cannot open the file: " + avError(opened) };
        throw SplitError { NotMedia, "not a video or audio file" };
    }
    InputContext input(raw);
    if (beforeParameters && !beforeParameters(input.get()))
        return {};
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        throw SplitError { NotMedia, "not a video or audio file" };
    return input;
}

std::span<const std::uint8_t> codecHeaderOf(const MediaLayout& layout, const AVStream* st)
{
    if (const DeclaredHeader* declared = declaredOf(layout, st); declared && !declared->extradata.empty())
        return declared->extradata;
    if (!st->codecpar->extradata || st->codecpar->extradata_size <= 0)
        return {};
    return { st->codecpar->extradata, static_cast<std::size_t>(st->codecpar->extradata_size) };
}

std::int64_t durationOf(const MediaLayout& layout, const AVStream* st)
{
    const DeclaredHeader* declared = declaredOf(layout, st);
    return declared && declared->fromWholeTables && st->duration == declared->found.duration ? declared->whole.duration
                                                                                             : st->duration;
}

std::int64_t bitRateOf(const MediaLayout& layout, const AVStream* st)
{
    const DeclaredHeader* declared = declaredOf(layout, st);
    return declared && declared->fromWholeTables && st->codecpar->bit_rate == declared->found.bitRate
        ? declared->whole.bitRate
        : st->codecpar->bit_rate;
}

MediaLayout probeLayout(
    AVFormatContext* in, const std::string& inputName, const Warn& warn, std::vector<DeclaredHeader> declared)
{
    MediaLayout layout;
    declared.resize(in->nb_streams);
    layout.streams.assign(in->nb_streams, {});
    for (unsigned i = 0; i < in->nb_streams; ++i)
        layout.streams[i].declared = std::move(declared[i]);
    layout.ref = chooseReference(in);
    const std::string demuxer = in->iformat->name;
    if (layout.ref < 0 || demuxer == "tty")
        throw SplitError { NotMedia, "not a video or audio file" };
    if (demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0))
        throw SplitError { NotMedia, "a still picture, not a video or audio file" };
    layout.refBase = in->streams[layout.ref]->time_base;
    layout.refFrame = frameTicks(in->streams[layout.ref]);
    layout.format = chooseFormat(in, inputName);
    const ContainerFacts& pieces = containerFacts(layout.format);

    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        const AVCodecID codec = st->codecpar->codec_id;
        const bool known = codec != AV_CODEC_ID_NONE;
        const bool cover = isCoverArt(st) && pieces.keepsCoverPicture && coverPictureInMp4(codec);
        const bool attachment = st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT && pieces.keepsAttachments
            && st->codecpar->extradata_size > 0;
        if (!cover && !attachment
            && (!known || avformat_query_codec(layout.format, codec, FF_COMPLIANCE_NORMAL) == 0)) {
            if (static_cast<int>(i) == layout.ref && !known)
                throw SplitError { NotMedia,
                    std::string("its ") + streamKind(st) + " is of a kind that cannot be read" };
            if (static_cast<int>(i) == layout.ref)
                throw SplitError { Unsupported,
                    std::string("its ") + streamKind(st) + " cannot be kept in " + layout.format->name + " pieces" };
            const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
            warn("stream " + std::to_string(i) + " (" + (descriptor ? descriptor->name : "unknown") + " "
                + streamKind(st) + ") cannot be kept in " + layout.format->name + " pieces; it is left out");
            continue;
        }
        const AVMediaType type = st->codecpar->codec_type;
        const bool sparse = (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || isCoverArt(st);
        layout.streams[i] = { layout.outputs++, sparse, isCoverArt(st), std::move(layout.streams[i].declared) };
        layout.headerBytes += st->codecpar->extradata_size + 1024 + tagBytes(st->metadata);
    }
    layout.headerBytes += tagBytes(in->metadata);
    std::int64_t packetSize = 0;
    if (demuxer == "mpegts" && av_opt_get_int(in, "ts_packetsize", AV_OPT_SEARCH_CHILDREN, &packetSize) >= 0)
        layout.tsPacketSize = static_cast<int>(packetSize);
    return layout;
}

} // namespace quorvane::splitter
