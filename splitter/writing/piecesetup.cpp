// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/piecesetup.h"

#include "splitter/media/codecpolicy.h"
#include "splitter/media/containerfacts.h"

extern "C" {
#include <libavutil/timecode.h>
}

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace quorvane::splitter {

namespace {

void check(int result)
{
    if (result < 0)
        throw std::bad_alloc(); // the dictionaries fail for want of memory alone
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

// A timecode in `tags`, at the frame rate of `stream`, names the time at which the piece starts in the source.
void moveTimecode(AVDictionary** to, const AVDictionary* tags, const AVStream* stream, std::int64_t sinceStart,
    const MediaLayout& layout)
{
    const AVDictionaryEntry* timecode = av_dict_get(tags, "timecode", nullptr, 0);
    if (!timecode)
        return;
    const AVRational rate = stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
    check(av_dict_set(to, "timecode", movedTimecode(timecode->value, rate, sinceStart, layout.refBase).c_str(), 0));
}

// The piece's header says what the layout declares where it differs from the input's.
void declare(AVStream* ost, const AVStream* ist, const MediaLayout& layout)
{
    ost->codecpar->bit_rate = bitRateOf(layout, ist);
    const DeclaredHeader& declared = layout.streams[static_cast<std::size_t>(ist->index)].declared;
    if (!declared.extradata.empty()) {
        const std::size_t size = declared.extradata.size();
        auto* extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!extradata)
            throw std::bad_alloc();
        std::memcpy(extradata, declared.extradata.data(), size);
        av_freep(&ost->codecpar->extradata);
        ost->codecpar->extradata = extradata;
        ost->codecpar->extradata_size = static_cast<int>(size);
    }
}

void addStream(AVFormatContext* out, const AVStream* ist, const MediaLayout& layout)
{
    const AVOutputFormat* format = layout.format;
    AVStream* ost = avformat_new_stream(out, nullptr);
    if (!ost || avcodec_parameters_copy(ost->codecpar, ist->codecpar) < 0)
        throw std::bad_alloc();
    declare(ost, ist, layout);
    // Keep the input's codec tag (hvc1, say) where the container knows it for this codec.
    unsigned int tag = 0;
    if (format->codec_tag && av_codec_get_id(format->codec_tag, ist->codecpar->codec_tag) != ist->codecpar->codec_id
        && av_codec_get_tag2(format->codec_tag, ist->codecpar->codec_id, &tag))
        ost->codecpar->codec_tag = 0;
    ost->time_base = ist->time_base;
    ost->avg_frame_rate = ist->avg_frame_rate;
    ost->r_frame_rate = ist->r_frame_rate;
    // The container's aspect ratio is what players use; the codec's header may say otherwise (an H.263 phone
    // clip says 12:11 where its 3GP says 1:1), and a writer refuses the two when they differ.
    ost->sample_aspect_ratio
        = ist->sample_aspect_ratio.num > 0 ? ist->sample_aspect_ratio : ist->codecpar->sample_aspect_ratio;
    if (ost->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        ost->codecpar->sample_aspect_ratio = ost->sample_aspect_ratio;
    ost->disposition = ist->disposition;
    check(av_dict_copy(&ost->metadata, ist->metadata, 0));
#if LIBAVFORMAT_VERSION_MAJOR < 61
    // The display matrix (rotation) and the other stream-wide side data; newer FFmpeg keeps them in the codec
    // parameters copied above.
    for (int sd = 0; sd < ist->nb_side_data; ++sd) {
        const AVPacketSideData& data = ist->side_data[sd];
        uint8_t* copy = av_stream_new_side_data(ost, data.type, data.size);
        if (!copy)
            throw std::bad_alloc();
        std::memcpy(copy, data.data, data.size);
    }
#endif
}

// A broadcast's programs (its services, each with its name and streams), as far as the piece keeps their
// streams; the TS writer makes one service of each.
void addPrograms(AVFormatContext* out, const AVFormatContext* in, const MediaLayout& layout)
{
    for (unsigned p = 0; p < in->nb_programs; ++p) {
        const AVProgram* program = in->programs[p];
        std::vector<int> kept;
        for (unsigned s = 0; s < program->nb_stream_indexes; ++s) {
            const unsigned index = program->stream_index[s];
            if (index < layout.streams.size() && layout.streams[index].output >= 0)
                kept.push_back(layout.streams[index].output);
        }
        if (kept.empty())
            continue;
        AVProgram* copy = av_new_program(out, program->id);
        if (!copy)
            throw std::bad_alloc();
        check(av_dict_copy(&copy->metadata, program->metadata, 0));
        for (const int output : kept)
            av_program_add_stream_index(out, copy->id, static_cast<unsigned>(output));
    }
}

} // namespace

int preSkipOf(const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span, unsigned index)
{
    const AVCodecParameters* par = in->streams[index]->codecpar;
    if (!containerFacts(layout.format).codecDelayHidesSamples || !skipsSamplesAtStart(par->codec_id))
        return 0;
    return index < span.preSkip.size() && span.preSkip[index] >= 0 ? span.preSkip[index]
                                                                   : std::max(0, par->initial_padding);
}

void addStreams(AVFormatContext* out, const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span,
    std::int64_t firstShown)
{
    check(av_dict_copy(&out->metadata, in->metadata, 0));
    const std::int64_t sinceFileStart = std::max<std::int64_t>(0, span.start - firstShown);
    for (unsigned i = 0; i < static_cast<unsigned>(layout.streams.size()); ++i) { // not the streams found since
        if (layout.streams[i].output < 0)
            continue;
        const AVStream* ist = in->streams[i];
        addStream(out, ist, layout);
        AVStream* ost = out->streams[out->nb_streams - 1];
        // Older MP3 writers take the encoder delay from here, newer ones from the first packet's skip.
        if (span.prerollSamples >= 0 && static_cast<int>(i) == layout.ref)
            ost->codecpar->initial_padding = span.prerollSamples;
        // The Matroska writer gives an Opus track's initial padding as its CodecDelay, which players take to be
        // the pre-skip of its header.
        if (i < span.preSkip.size() && span.preSkip[i] >= 0) {
            ost->codecpar->initial_padding = preSkipOf(in, layout, span, i);
            setPreSkip(ost->codecpar, ost->codecpar->initial_padding);
        }
        moveTimecode(&ost->metadata, ist->metadata, ist, sinceFileStart, layout);
    }
    moveTimecode(&out->metadata, in->metadata, in->streams[layout.ref], sinceFileStart, layout);
    addPrograms(out, in, layout);
}

void addChapters(AVFormatContext* out, const AVFormatContext* in, const MediaLayout& layout, const PieceSpan& span)
{
    for (unsigned c = 0; c < in->nb_chapters; ++c) {
        const AVChapter* chapter = in->chapters[c];
        const std::int64_t from = av_rescale_q(chapter->start, chapter->time_base, layout.refBase);
        const std::int64_t to = av_rescale_q(chapter->end, chapter->time_base, layout.refBase);
        if (to <= span.start || from >= span.end)
            continue;
        auto** grown
            = static_cast<AVChapter**>(av_realloc_array(out->chapters, out->nb_chapters + 1, sizeof(AVChapter*)));
        if (!grown)
            throw std::bad_alloc();
        out->chapters = grown;
        auto* copy = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!copy)
            throw std::bad_alloc();
        // Owned by `out` from here, which frees it with its tags.
        out->chapters[out->nb_chapters++] = copy;
        copy->id = static_cast<std::int64_t>(out->nb_chapters);
        copy->time_base = layout.refBase;
        copy->start = std::max(from, span.start) - span.start;
        copy->end = std::min(to, span.end) - span.start;
        check(av_dict_copy(&copy->metadata, chapter->metadata, 0));
    }
}

} // namespace quorvane::splitter
