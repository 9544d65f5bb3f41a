// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/stretchencoder.h"

#include "splitter/contract/exitcodes.h"
#include "splitter/media/spliterror.h"
#include "splitter/recoding/encodersetup.h"

#include <algorithm>
#include <memory>

namespace quorvane::splitter {

namespace {

CodecContext openDecoder(const AVStream* ref, const AVCodecParameters* from)
{
    const AVCodec* codec = avcodec_find_decoder(ref->codecpar->codec_id);
    CodecContext decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), from) < 0)
        throw SplitError { Failed, "no decoder to encode the pictures at a cut again" };
    decoder->pkt_timebase = ref->time_base;
    // An open group's keyframe may start the stretch: its pictures are right once its leading ones are
    // left out.
    decoder->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw SplitError { Failed, "no decoder to encode the pictures at a cut again" };
    return decoder;
}

struct ParametersFree {
    void operator()(AVCodecParameters* par) const { avcodec_parameters_free(&par); }
};

// Our pictures are decoded again as they come, to be compared with the source's.
CodecContext openChecker(const AVStream* ref, const AVCodecContext* encoder)
{
    const std::unique_ptr<AVCodecParameters, ParametersFree> ours(avcodec_parameters_alloc());
    if (!ours || avcodec_parameters_from_context(ours.get(), encoder) < 0)
        throw std::bad_alloc();
    return openDecoder(ref, ours.get());
}

// One stretch through the decoder, the encoder and the checker.
struct Pass {
    const RecodedStretch& stretch;
    const std::vector<std::int64_t>& pts;
    const std::function<void()>& onPicture;
    CodecContext decoder;
    CodecContext encoder;
    CodecContext checker;
    EncodedStretch attempt;
    std::size_t fed = 0;

    void decode(const AVPacket* packet);
    void encode(AVFrame* frame);
    void check(const AVPacket* packet);
};

void Pass::check(const AVPacket* packet)
{
    if (avcodec_send_packet(checker.get(), packet) < 0 && packet)
        throw SplitError { Failed, "a picture encoded again could not be decoded" };
    for (Frame frame(av_frame_alloc());; av_frame_unref(frame.get())) {
        const int got = avcodec_receive_frame(checker.get(), frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0 || !attempt.quality.compare(frame.get()))
            throw SplitError { Failed, "a picture encoded again could not be decoded" };
    }
}

void Pass::encode(AVFrame* frame)
{
    if (frame) {
        if (fed >= stretch.order.size() || frame->pts != pts[stretch.order[fed] - stretch.first])
            throw SplitError { Failed, "the pictures at a cut did not decode in the order they are shown" };
        frame->pict_type = fed == 0 || stretch.cut[fed] ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        ++fed;
        attempt.quality.expect(frame);
    }
    if (avcodec_send_frame(encoder.get(), frame) < 0)
        throw SplitError { Failed, "the pictures at a cut could not be encoded again" };
    for (;;) {
        Packet packet = newPacket();
        const int got = avcodec_receive_packet(encoder.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0)
            throw SplitError { Failed, "the pictures at a cut could not be encoded again" };
        attempt.bytes += packet->size;
        check(packet.get());
        attempt.packets.push_back(std::move(packet));
    }
    if (frame && onPicture)
        onPicture();
}

void Pass::decode(const AVPacket* packet)
{
    if (avcodec_send_packet(decoder.get(), packet) < 0 && packet)
        throw SplitError { Failed, "the pictures at a cut could not be decoded" };
    for (Frame frame(av_frame_alloc());; av_frame_unref(frame.get())) {
        const int got = avcodec_receive_frame(decoder.get(), frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0)
            throw SplitError { Failed, "the pictures at a cut could not be decoded" };
        // Only the stretch's pictures are encoded again; the others are copied.
        if (frame->pts != AV_NOPTS_VALUE && std::find(pts.begin(), pts.end(), frame->pts) != pts.end())
            encode(frame.get());
    }
}

} // namespace

StretchEncoder::StretchEncoder(const AVStream* ref, int parameterSetId, int refs, const std::vector<Bytes>& sets)
    : m_ref(ref)
    , m_parameterSetId(parameterSetId)
    , m_refs(refs)
    , m_sets(sets)
{
}

EncodedStretch StretchEncoder::encode(const RecodedStretch& stretch, const std::vector<Packet>& packets,
    const std::vector<std::int64_t>& pts, double crf, const std::function<void()>& onPicture) const
{
    Pass pass { stretch, pts, onPicture, nullptr, nullptr, nullptr, {}, 0 };
    pass.decoder = openDecoder(m_ref, m_ref->codecpar);
    pass.encoder = openEncoder(m_ref, m_parameterSetId, crf, m_refs);
    if (!pass.encoder || parameterSetsOf(pass.encoder.get()) != m_sets)
        throw SplitError { Failed, "the encoder changed its parameter sets between cuts" };
    pass.checker = openChecker(m_ref, pass.encoder.get());
    pass.attempt.crf = crf;
    for (const Packet& packet : packets)
        pass.decode(packet.get());
    pass.decode(nullptr);
    pass.encode(nullptr);
    pass.check(nullptr);
    if (pass.fed != stretch.order.size() || pass.attempt.packets.size() != stretch.order.size()
        || !pass.attempt.quality.allCompared())
        throw SplitError { Failed, "the pictures at a cut could not all be encoded again" };
    return std::move(pass.attempt);
}

} // namespace quorvane::splitter
