// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoder.h"

#include "splitter/exitcodes.h"
#include "splitter/spliterror.h"
#include "splitter/unreadpacket.h"

#include <algorithm>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/opt.h>
}

namespace quorvane::splitter {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The first unsigned Exp-Golomb number from `bit` on in `data`.
std::optional<unsigned> readUe(const Bytes& data, std::size_t bit)
{
    const auto at = [&](std::size_t b) { return (data[b / 8] >> (7 - b % 8)) & 1; };
    int zeros = 0;
    while (bit < data.size() * 8 && at(bit) == 0) {
        ++zeros;
        ++bit;
    }
    if (zeros > 31 || bit + static_cast<std::size_t>(zeros) >= data.size() * 8)
        return std::nullopt;
    unsigned value = 1;
    for (int i = 0; i < zeros; ++i)
        value = value << 1 | static_cast<unsigned>(at(++bit));
    return value - 1;
}

// An H.264 stream header ("avcC"): its fixed start, its parameter sets, and what follows them.
struct AvcConfig {
    Bytes start; // version, profile, compatibility, level, length size
    std::vector<Bytes> sps;
    std::vector<Bytes> pps;
    Bytes rest;
};

std::optional<AvcConfig> readAvcC(const std::uint8_t* data, int size)
{
    if (size < 7 || data[0] != 1)
        return std::nullopt;
    AvcConfig config;
    config.start.assign(data, data + 5);
    int at = 5;
    const auto sets = [&](int count, std::vector<Bytes>& into) {
        for (int i = 0; i < count; ++i) {
            if (at + 2 > size)
                return false;
            const int length = data[at] << 8 | data[at + 1];
            if (length < 2 || at + 2 + length > size)
                return false;
            into.emplace_back(data + at + 2, data + at + 2 + length);
            at += 2 + length;
        }
        return true;
    };
    if (!sets(data[at++] & 0x1f, config.sps) || at >= size || !sets(data[at++], config.pps))
        return std::nullopt;
    config.rest.assign(data + at, data + size);
    return config;
}

Bytes writeAvcC(const AvcConfig& config)
{
    Bytes out = config.start;
    out.push_back(static_cast<std::uint8_t>(0xe0 | config.sps.size()));
    const auto sets = [&](const std::vector<Bytes>& list) {
        for (const Bytes& set : list) {
            out.push_back(static_cast<std::uint8_t>(set.size() >> 8));
            out.push_back(static_cast<std::uint8_t>(set.size()));
            out.insert(out.end(), set.begin(), set.end());
        }
    };
    sets(config.sps);
    out.push_back(static_cast<std::uint8_t>(config.pps.size()));
    sets(config.pps);
    out.insert(out.end(), config.rest.begin(), config.rest.end());
    return out;
}

// The NAL units of an Annex B stream (start codes between them).
std::vector<Bytes> annexBUnits(const std::uint8_t* data, int size)
{
    std::vector<Bytes> units;
    int start = -1;
    for (int i = 0; i + 2 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        if (start >= 0) {
            int end = i;
            while (end > start && data[end - 1] == 0)
                --end;
            units.emplace_back(data + start, data + end);
        }
        start = i + 3;
        i += 2;
    }
    if (start >= 0 && start < size)
        units.emplace_back(data + start, data + size);
    return units;
}

const char* profileName(int profile)
{
    switch (profile) {
    case FF_PROFILE_H264_BASELINE:
    case FF_PROFILE_H264_CONSTRAINED_BASELINE:
        return "baseline";
    case FF_PROFILE_H264_MAIN:
        return "main";
    case FF_PROFILE_H264_HIGH:
        return "high";
    case FF_PROFILE_H264_HIGH_10:
        return "high10";
    case FF_PROFILE_H264_HIGH_422:
        return "high422";
    case FF_PROFILE_H264_HIGH_444_PREDICTIVE:
        return "high444";
    default:
        return nullptr;
    }
}

CodecContext openEncoder(const AVStream* ref, int parameterSetId)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return nullptr;
    CodecContext encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        throw std::bad_alloc();
    const AVCodecParameters* par = ref->codecpar;
    encoder->width = par->width;
    encoder->height = par->height;
    encoder->pix_fmt = static_cast<AVPixelFormat>(par->format);
    encoder->time_base = ref->time_base;
    if (ref->avg_frame_rate.num > 0 && ref->avg_frame_rate.den > 0)
        encoder->framerate = ref->avg_frame_rate;
    encoder->sample_aspect_ratio = par->sample_aspect_ratio;
    encoder->color_range = par->color_range;
    encoder->color_primaries = par->color_primaries;
    encoder->color_trc = par->color_trc;
    encoder->colorspace = par->color_space;
    encoder->chroma_sample_location = par->chroma_location;
    encoder->level = par->level;
    encoder->max_b_frames = 0; // shown in the order decoded: the stretch's own decoding times fit
    encoder->gop_size = 1 << 20; // a keyframe only where asked
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Close to the source without many more bytes than it: 46 dB and more, at about two or three times the
    // bytes of a source made with the encoder's defaults.
    av_opt_set(encoder->priv_data, "preset", "faster", 0);
    av_opt_set(encoder->priv_data, "crf", "12", 0);
    av_opt_set(encoder->priv_data, "forced-idr", "1", 0);
    av_opt_set(encoder->priv_data, "profile", profileName(par->profile), 0);
    const std::string params = "sps-id=" + std::to_string(parameterSetId);
    av_opt_set(encoder->priv_data, "x264-params", params.c_str(), 0);
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0)
        return nullptr;
    return encoder;
}

} // namespace

Recoder::~Recoder() = default;

std::unique_ptr<Recoder> Recoder::make(AVStream* ref, std::string& why)
{
    AVCodecParameters* par = ref->codecpar;
    if (par->codec_id != AV_CODEC_ID_H264) {
        why = "exact lengths are made for H.264 video only";
        return nullptr;
    }
    if (par->field_order != AV_FIELD_PROGRESSIVE && par->field_order != AV_FIELD_UNKNOWN) {
        why = "exact lengths are not made for interlaced video yet";
        return nullptr;
    }
    const auto config = readAvcC(par->extradata, par->extradata_size);
    if (!config || !profileName(par->profile)) {
        why = "the video's header is not one the tool can add to";
        return nullptr;
    }
    // Numbers for our parameter sets that the source's do not use.
    std::vector<unsigned> used;
    for (const Bytes& sps : config->sps)
        if (const auto id = sps.size() > 4 ? readUe(sps, 32) : std::nullopt)
            used.push_back(*id);
    for (const Bytes& pps : config->pps)
        if (const auto id = readUe(pps, 8))
            used.push_back(*id);
    std::unique_ptr<Recoder> recoder(new Recoder);
    recoder->m_ref = ref;
    recoder->m_lengthSize = (par->extradata[4] & 3) + 1;
    while (std::find(used.begin(), used.end(), static_cast<unsigned>(recoder->m_parameterSetId)) != used.end())
        ++recoder->m_parameterSetId;
    if (recoder->m_parameterSetId > 31) {
        why = "the video's header leaves no number free for new parameter sets";
        return nullptr;
    }
    const CodecContext encoder = openEncoder(ref, recoder->m_parameterSetId);
    if (!encoder) {
        why = "no H.264 encoder (libx264) takes this video here";
        return nullptr;
    }
    recoder->m_ourHeader.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
    AvcConfig merged = *config;
    for (Bytes& unit : annexBUnits(encoder->extradata, encoder->extradata_size)) {
        const int type = unit.empty() ? 0 : unit[0] & 0x1f;
        if (type == 7)
            merged.sps.push_back(std::move(unit));
        else if (type == 8)
            merged.pps.push_back(std::move(unit));
    }
    if (merged.sps.size() > 31 || merged.pps.size() > 255 || merged.sps.size() == config->sps.size()) {
        why = "the new parameter sets do not fit the video's header";
        return nullptr;
    }
    recoder->m_header = writeAvcC(merged);
    recoder->declareIn(ref);
    return recoder;
}

void Recoder::declareIn(AVStream* ref) const
{
    auto* extradata = static_cast<std::uint8_t*>(av_mallocz(m_header.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!extradata)
        throw std::bad_alloc();
    std::memcpy(extradata, m_header.data(), m_header.size());
    av_freep(&ref->codecpar->extradata);
    ref->codecpar->extradata = extradata;
    ref->codecpar->extradata_size = static_cast<int>(m_header.size());
}

std::unique_ptr<Recoder> Recoder::again(AVStream* ref) const
{
    std::unique_ptr<Recoder> recoder(new Recoder);
    recoder->m_ref = ref;
    declareIn(ref);
    recoder->m_header = m_header;
    recoder->m_ourHeader = m_ourHeader;
    recoder->m_lengthSize = m_lengthSize;
    recoder->m_parameterSetId = m_parameterSetId;
    recoder->setStretches(m_stretches);
    return recoder;
}

void Recoder::setStretches(std::vector<RecodedStretch> stretches)
{
    m_stretches = std::move(stretches);
    m_toEncode = 0;
    for (const RecodedStretch& stretch : m_stretches)
        m_toEncode += static_cast<std::int64_t>(stretch.order.size());
}

void Recoder::openStretch()
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    m_decoder.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!m_decoder || avcodec_parameters_to_context(m_decoder.get(), m_ref->codecpar) < 0)
        throw SplitError { Failed, "no H.264 decoder to encode the pictures at a cut again" };
    m_decoder->pkt_timebase = m_ref->time_base;
    if (avcodec_open2(m_decoder.get(), codec, nullptr) < 0)
        throw SplitError { Failed, "no H.264 decoder to encode the pictures at a cut again" };
    m_encoder = openEncoder(m_ref, m_parameterSetId);
    if (!m_encoder
        || !std::equal(m_ourHeader.begin(), m_ourHeader.end(), m_encoder->extradata,
            m_encoder->extradata + m_encoder->extradata_size))
        throw SplitError { Failed, "the H.264 encoder changed its parameter sets between cuts" };
    const RecodedStretch& stretch = m_stretches[m_next];
    m_pts.assign(stretch.end - stretch.first, AV_NOPTS_VALUE);
    m_durations.assign(stretch.end - stretch.first, 0);
    m_encoded.clear();
    m_fed = 0;
}

void Recoder::encode(AVFrame* frame)
{
    const RecodedStretch& stretch = m_stretches[m_next];
    if (frame) {
        if (m_fed >= stretch.order.size() || frame->pts != m_pts[stretch.order[m_fed] - stretch.first])
            throw SplitError { Failed, "the pictures at a cut did not decode in the order they are shown" };
        frame->pict_type = m_fed == 0 || stretch.cut[m_fed] ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        ++m_fed;
        ++m_encodedPictures;
    }
    if (avcodec_send_frame(m_encoder.get(), frame) < 0)
        throw SplitError { Failed, "the pictures at a cut could not be encoded again" };
    for (;;) {
        Packet packet = newPacket();
        const int got = avcodec_receive_packet(m_encoder.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0)
            throw SplitError { Failed, "the pictures at a cut could not be encoded again" };
        m_encoded.push_back(std::move(packet));
    }
    if (frame && m_onPicture)
        m_onPicture();
}

void Recoder::decode(const AVPacket* packet)
{
    if (avcodec_send_packet(m_decoder.get(), packet) < 0 && packet)
        throw SplitError { Failed, "the pictures at a cut could not be decoded" };
    for (;;) {
        Frame frame(av_frame_alloc());
        if (!frame)
            throw std::bad_alloc();
        const int got = avcodec_receive_frame(m_decoder.get(), frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            break;
        if (got < 0)
            throw SplitError { Failed, "the pictures at a cut could not be decoded" };
        // Only the stretch's pictures are encoded again; the others are copied.
        if (std::find(m_pts.begin(), m_pts.end(), frame->pts) == m_pts.end())
            continue;
        encode(frame.get());
    }
}

void Recoder::take(Packet packet, const GivePacket& give)
{
    if (packet->stream_index != m_ref->index || m_next >= m_stretches.size()) {
        if (packet->stream_index == m_ref->index)
            ++m_index;
        give(std::move(packet));
        return;
    }
    const RecodedStretch& stretch = m_stretches[m_next];
    const auto index = static_cast<std::size_t>(m_index++);
    if (index < stretch.decodeFrom) {
        give(std::move(packet));
        return;
    }
    if (index == stretch.decodeFrom)
        openStretch();
    if (const int filled = fillUnread(packet.get()); filled < 0)
        throw SplitError { CutShort, "the file could not be read at a cut: " + avError(filled) };
    if (index >= stretch.first) {
        m_pts[index - stretch.first] = packet->pts;
        m_durations[index - stretch.first] = packet->duration;
        m_sourceBytes += packet->size;
    }
    decode(packet.get());
    if (index < stretch.first)
        give(std::move(packet));
    if (index + 1 == stretch.end)
        finishStretch(give);
}

void Recoder::finishStretch(const GivePacket& give)
{
    const RecodedStretch& stretch = m_stretches[m_next];
    decode(nullptr);
    encode(nullptr);
    if (m_encoded.size() != stretch.order.size())
        throw SplitError { Failed, "the pictures at a cut could not all be encoded again" };
    for (std::size_t o = 0; o < m_encoded.size(); ++o) {
        Packet& encoded = m_encoded[o];
        // The source's samples give each unit's length instead of a start code.
        Packet packet = newPacket();
        std::vector<Bytes> units = annexBUnits(encoded->data, encoded->size);
        std::size_t size = 0;
        for (const Bytes& unit : units)
            size += static_cast<std::size_t>(m_lengthSize) + unit.size();
        if (av_new_packet(packet.get(), static_cast<int>(size)) < 0)
            throw std::bad_alloc();
        std::uint8_t* at = packet->data;
        for (const Bytes& unit : units) {
            for (int b = m_lengthSize - 1; b >= 0; --b)
                *at++ = static_cast<std::uint8_t>(unit.size() >> (8 * b));
            at = std::copy(unit.begin(), unit.end(), at);
        }
        const std::size_t picture = stretch.order[o] - stretch.first;
        packet->stream_index = m_ref->index;
        packet->pts = m_pts[picture];
        packet->dts = stretch.dts[o];
        packet->duration = m_durations[picture];
        packet->flags = encoded->flags & AV_PKT_FLAG_KEY;
        if (stretch.cut[o] && !(packet->flags & AV_PKT_FLAG_KEY))
            throw SplitError { Failed, "the encoder did not start a piece with a keyframe" };
        m_cuts += stretch.cut[o] ? 1 : 0;
        m_seconds += static_cast<double>(packet->duration) * av_q2d(m_ref->time_base);
        m_newBytes += packet->size;
        give(std::move(packet));
    }
    m_encoded.clear();
    m_decoder.reset();
    m_encoder.reset();
    ++m_next;
}

void Recoder::end(const GivePacket& give)
{
    if (m_next < m_stretches.size() && m_decoder)
        finishStretch(give);
}

} // namespace quorvane::splitter
