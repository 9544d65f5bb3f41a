// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/recoder.h"

#include "splitter/bitstream/avcsps.h"
#include "splitter/bitstream/parametersets.h"
#include "splitter/contract/exitcodes.h"
#include "splitter/media/spliterror.h"
#include "splitter/media/unreadpacket.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/opt.h>
}

namespace quorvane::splitter {

namespace {

const char* profileName(const AVCodecParameters* par)
{
    if (par->codec_id == AV_CODEC_ID_HEVC) {
        // The range extensions' profiles follow from the pixel format.
        switch (par->profile) {
        case FF_PROFILE_HEVC_MAIN:
            return "main";
        case FF_PROFILE_HEVC_MAIN_10:
            return "main10";
        case FF_PROFILE_HEVC_REXT:
            return "";
        default:
            return nullptr;
        }
    }
    switch (par->profile) {
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

// The encoder for pictures encoded again, its pictures referring to at most `refs` others. x264 numbers its
// parameter sets `parameterSetId`; x265 numbers them 0, and they are numbered again as they are given on.
CodecContext openEncoder(const AVStream* ref, int parameterSetId, double crf, int refs)
{
    const AVCodecParameters* par = ref->codecpar;
    const bool hevc = par->codec_id == AV_CODEC_ID_HEVC;
    const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    if (!codec)
        return nullptr;
    CodecContext encoder(avcodec_alloc_context3(codec));
    if (!encoder)
        throw std::bad_alloc();
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
    encoder->refs = refs;
    encoder->gop_size = 1 << 20; // a keyframe only where asked
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Interlaced pictures stay interlaced, coded as x264 codes them (a frame's macroblocks as frame or field
    // pairs), in the source's field order.
    const bool interlaced = par->field_order != AV_FIELD_PROGRESSIVE && par->field_order != AV_FIELD_UNKNOWN;
    const bool bottomFirst = par->field_order == AV_FIELD_BB || par->field_order == AV_FIELD_BT;
    if (interlaced) {
        encoder->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        encoder->field_order = par->field_order;
    }
    av_opt_set(encoder->priv_data, "preset", "faster", 0);
    av_opt_set_double(encoder->priv_data, "crf", crf, 0);
    av_opt_set(encoder->priv_data, "forced-idr", "1", 0);
    if (const char* profile = profileName(par); profile && *profile)
        av_opt_set(encoder->priv_data, "profile", profile, 0);
    if (hevc) {
        // Its level is the least the pictures need: asking for the source's would hold the rate to that
        // level's limit, and the pictures far below the source's.
        // Psycho-visual tuning spends bits on what only looks like the source: these pictures should be it.
        const std::string params
            = "log-level=error:open-gop=0:scenecut=0:aq-mode=0:psy-rd=0:psy-rdoq=0:ref=" + std::to_string(refs);
        av_opt_set(encoder->priv_data, "x265-params", params.c_str(), 0);
    } else {
        // Stitchable: the same parameter sets whatever the rate, so that a stretch can be encoded again at
        // another.
        const std::string params
            = "stitchable=1:sps-id=" + std::to_string(parameterSetId) + (interlaced && bottomFirst ? ":bff=1" : "");
        av_opt_set(encoder->priv_data, "x264-params", params.c_str(), 0);
    }
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0)
        return nullptr;
    return encoder;
}

// The parameter sets of an encoder's header, without what else it says (x265 writes its settings there).
std::vector<Bytes> parameterSetsOf(const AVCodecContext* encoder)
{
    std::vector<Bytes> sets;
    const bool hevc = encoder->codec_id == AV_CODEC_ID_HEVC;
    for (Bytes& unit : annexBUnits(encoder->extradata, encoder->extradata_size)) {
        const int type = hevc ? hevcUnitType(unit) : unit.empty() ? 0 : unit[0] & 0x1f;
        if (hevc ? type >= HevcVps && type <= HevcPps : type == 7 || type == 8)
            sets.push_back(std::move(unit));
    }
    return sets;
}

// The smallest number from `low` to `high` that `used` does not hold.
std::optional<unsigned> freeNumber(const std::vector<unsigned>& used, unsigned low, unsigned high)
{
    for (unsigned id = low; id <= high; ++id) {
        if (std::find(used.begin(), used.end(), id) == used.end())
            return id;
    }
    return std::nullopt;
}

} // namespace

bool canBeEncodedAgain(const AVCodecParameters* par)
{
    return par->codec_type == AVMEDIA_TYPE_VIDEO
        && (par->codec_id == AV_CODEC_ID_H264 || par->codec_id == AV_CODEC_ID_HEVC);
}

Recoder::~Recoder() = default;

std::unique_ptr<Recoder> Recoder::make(AVStream* ref, std::string& why)
{
    AVCodecParameters* par = ref->codecpar;
    if (!canBeEncodedAgain(par)) {
        why = "exact lengths are made for H.264 and HEVC video only";
        return nullptr;
    }
    if (par->codec_id == AV_CODEC_ID_HEVC && par->field_order != AV_FIELD_PROGRESSIVE
        && par->field_order != AV_FIELD_UNKNOWN) {
        why = "exact lengths are not made for interlaced HEVC video yet";
        return nullptr;
    }
    std::unique_ptr<Recoder> recoder(new Recoder);
    recoder->m_ref = ref;
    const bool made = par->codec_id == AV_CODEC_ID_HEVC ? recoder->makeHevc(why) : recoder->makeAvc(why);
    if (!made)
        return nullptr;
    if (!recoder->m_annexB)
        recoder->declareIn(ref);
    return recoder;
}

bool Recoder::makeAvc(std::string& why)
{
    const AVCodecParameters* par = m_ref->codecpar;
    const auto framing = unitFraming(NalCodec::Avc, par->extradata, par->extradata_size);
    m_annexB = framing && framing->startCodes();
    std::optional<AvcConfig> config;
    if (m_annexB) {
        config.emplace();
        for (Bytes& unit : annexBUnits(par->extradata, par->extradata_size)) {
            const int type = unit.empty() ? 0 : unit[0] & 0x1f;
            if (type == 7 || type == 8)
                (type == 7 ? config->sps : config->pps).push_back(std::move(unit));
        }
    } else {
        config = readAvcC(par->extradata, par->extradata_size);
    }
    if (!config || !profileName(par)) {
        why = "the video's header is not one the tool can add to";
        return false;
    }
    // A number for our parameter sets that the source's do not use.
    std::vector<unsigned> used;
    for (const auto* sets : { &config->sps, &config->pps })
        for (const Bytes& set : *sets)
            if (const auto id = avcParameterSetId(set))
                used.push_back(*id);
    m_lengthSize = framing && !m_annexB ? framing->lengthSize : 4;
    const auto id = freeNumber(used, 1, 31);
    if (!id) {
        why = "the video's header leaves no number free for new parameter sets";
        return false;
    }
    m_ids = { *id, *id, *id };
    // Our pictures refer to no more pictures than the source's declare they may, and our SPS declares the
    // source's buffer, so that a decoder keeps what it holds where one meets the other.
    const auto sourceSps = config->sps.empty() ? std::nullopt : readAvcSps(config->sps.front());
    if (!sourceSps || sourceSps->maxRefFrames == 0) {
        why = "the video's header is not one the tool can add to";
        return false;
    }
    m_refs = static_cast<int>(std::min(sourceSps->maxRefFrames, 2u));
    const CodecContext encoder = openEncoder(m_ref, static_cast<int>(*id), m_crf, m_refs);
    if (!encoder) {
        why = "no H.264 encoder (libx264) takes this video here";
        return false;
    }
    m_ourSets = parameterSetsOf(encoder.get());
    AvcConfig merged = *config;
    std::vector<Bytes> declared;
    for (const Bytes& unit : m_ourSets) {
        const bool sps = (unit[0] & 0x1f) == 7;
        const auto ours = sps ? readAvcSps(unit) : std::nullopt;
        auto matched = ours ? matchAvcSps(*ours, *sourceSps) : std::nullopt;
        if (sps && !matched) {
            why = "the encoder's pictures do not fit the picture buffer the video declares";
            return false;
        }
        if (sps && matched->pocType == 2) {
            // Our pictures are shown in the order they are decoded, which their SPS says by a picture order of
            // type 2; decoders that order what they show by the counts that slices carry (OpenH264) take such
            // pictures as all shown at once and mix them with the source's. So the slices carry the counts.
            matched->pocType = 0;
            matched->log2MaxPocLsb = std::min(16u, matched->log2MaxFrameNum + 1);
            m_pocBits = matched->log2MaxPocLsb;
            m_ordered.emplace(encoder->extradata, encoder->extradata_size);
        }
        declared.push_back(sps ? writeAvcSps(*matched) : unit);
        (sps ? merged.sps : merged.pps).push_back(declared.back());
    }
    if (m_annexB) {
        m_inBand = std::move(declared);
        return true;
    }
    if (merged.sps.size() > 31 || merged.pps.size() > 255 || merged.sps.size() == config->sps.size()) {
        why = "the new parameter sets do not fit the video's header";
        return false;
    }
    m_header = writeAvcC(merged);
    return true;
}

bool Recoder::makeHevc(std::string& why)
{
    const AVCodecParameters* par = m_ref->codecpar;
    const auto framing = unitFraming(NalCodec::Hevc, par->extradata, par->extradata_size);
    m_annexB = framing && framing->startCodes();
    std::optional<HevcConfig> config;
    if (m_annexB) {
        config.emplace();
        for (Bytes& unit : annexBUnits(par->extradata, par->extradata_size))
            config->arrays.push_back({ static_cast<std::uint8_t>(hevcUnitType(unit)), { std::move(unit) } });
    } else {
        config = readHvcC(par->extradata, par->extradata_size);
    }
    if (!config || !profileName(par)) {
        why = "the video's header is not one the tool can add to";
        return false;
    }
    std::vector<unsigned> used[3]; // VPS, SPS, PPS
    for (const HevcConfig::Array& array : config->arrays)
        for (const Bytes& unit : array.units)
            if (const int type = hevcUnitType(unit); type >= HevcVps && type <= HevcPps)
                if (const auto id = hevcParameterSetId(unit))
                    used[type - HevcVps].push_back(*id);
    m_lengthSize = framing && !m_annexB ? framing->lengthSize : 4;
    const unsigned profile = m_annexB ? static_cast<unsigned>(par->profile) : config->start[1] & 0x1fu;
    const unsigned level = m_annexB ? static_cast<unsigned>(par->level) : config->start[12];
    // A slice referring to PPS 15 to 30 has a header one byte longer than one referring to PPS 0, which is
    // how the encoder numbers it.
    const auto vps = freeNumber(used[0], 0, 15);
    const auto sps = freeNumber(used[1], 0, 15);
    const auto pps = freeNumber(used[2], 15, 30);
    if (!vps || !sps || !pps) {
        why = "the video's header leaves no number free for new parameter sets";
        return false;
    }
    m_ids = { *vps, *sps, *pps };
    // As for H.264: our pictures need no more room than the source's declare, and our VPS and SPS declare
    // theirs.
    std::optional<Bytes> sourceSets[2]; // VPS, SPS
    for (const HevcConfig::Array& array : config->arrays)
        for (const Bytes& unit : array.units)
            if (const int type = hevcUnitType(unit);
                (type == HevcVps || type == HevcSps) && !sourceSets[type - HevcVps])
                sourceSets[type - HevcVps] = unit;
    const auto room = sourceSets[1] ? hevcBuffer(*sourceSets[1]) : std::nullopt;
    if (!sourceSets[0] || !room || room->ordering.empty() || room->ordering.back()[0] == 0) {
        why = "the video's header is not one the tool can add to";
        return false;
    }
    m_refs = static_cast<int>(std::min(room->ordering.back()[0], 2u));
    const CodecContext encoder = openEncoder(m_ref, 0, m_crf, m_refs);
    if (!encoder) {
        why = "no HEVC encoder (libx265) takes this video here";
        return false;
    }
    m_ourSets = parameterSetsOf(encoder.get());
    if (!m_annexB) {
        for (const HevcConfig::Array& array : config->arrays)
            if (const int type = array.head & 0x3f; type >= HevcVps && type <= HevcPps)
                m_sourceSets.insert(m_sourceSets.end(), array.units.begin(), array.units.end());
    }
    std::size_t added = 0;
    for (const Bytes& unit : annexBUnits(encoder->extradata, encoder->extradata_size)) {
        const int type = hevcUnitType(unit);
        if (type < HevcVps || type > HevcPps)
            continue;
        // Our pictures must be of the source's profile, and at most its level.
        if (type == HevcSps) {
            const auto made = hevcSpsProfile(unit);
            if (!made || made->profile != profile) {
                why = "the HEVC encoder here does not make pictures of this video's profile";
                return false;
            }
            if (made->level > level) {
                why = "the HEVC encoder here would make pictures of a higher level than this video's";
                return false;
            }
        }
        std::optional<Bytes> matched = type == HevcPps ? unit : matchHevcBuffer(unit, *sourceSets[type - HevcVps]);
        if (!matched) {
            why = "the encoder's pictures do not fit the picture buffer the video declares";
            return false;
        }
        std::optional<Bytes> renumbered = renumber(*matched);
        if (!renumbered) {
            why = "the HEVC encoder's parameter sets could not be numbered apart from the video's";
            return false;
        }
        ++added;
        m_inBand.push_back(*renumbered);
        if (m_annexB)
            continue;
        auto array = std::find_if(config->arrays.begin(), config->arrays.end(),
            [&](const HevcConfig::Array& a) { return (a.head & 0x3f) == type; });
        if (array == config->arrays.end())
            array = config->arrays.insert(config->arrays.end(), { static_cast<std::uint8_t>(0x80 | type), {} });
        if (array->units.size() >= 0xffff) {
            why = "the new parameter sets do not fit the video's header";
            return false;
        }
        array->units.push_back(std::move(*renumbered));
    }
    if (added != 3) {
        why = "the HEVC encoder did not give its parameter sets";
        return false;
    }
    if (!m_annexB)
        m_header = writeHvcC(*config);
    return true;
}

std::optional<Bytes> Recoder::renumber(const Bytes& unit) const
{
    switch (hevcUnitType(unit)) {
    case HevcVps:
        return renumberHevcParameterSet(unit, m_ids[0], 0);
    case HevcSps:
        return renumberHevcParameterSet(unit, m_ids[1], m_ids[0]);
    case HevcPps:
        return renumberHevcParameterSet(unit, m_ids[2], m_ids[1]);
    default:
        if (hevcUnitType(unit) <= 31)
            return renumberHevcSlice(unit, m_ids[2]);
        return unit;
    }
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
    if (!m_annexB)
        declareIn(ref);
    recoder->m_annexB = m_annexB;
    recoder->m_inBand = m_inBand;
    recoder->m_sourceSets = m_sourceSets;
    recoder->m_header = m_header;
    recoder->m_ourSets = m_ourSets;
    recoder->m_lengthSize = m_lengthSize;
    recoder->m_ids = m_ids;
    recoder->m_refs = m_refs;
    recoder->m_ordered = m_ordered;
    recoder->m_pocBits = m_pocBits;
    recoder->m_crf = m_crf;
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

void Recoder::openStretch(std::int64_t startPts)
{
    const RecodedStretch& stretch = m_stretches[m_next];
    m_open = true;
    m_startPts = startPts;
    m_pts.assign(stretch.end - stretch.first, AV_NOPTS_VALUE);
    m_durations.assign(stretch.end - stretch.first, 0);
    m_packets.clear();
    m_stretchSourceBytes = 0;
}

void Recoder::take(Packet packet, const GivePacket& give)
{
    if (packet->stream_index != m_ref->index) {
        give(std::move(packet));
        return;
    }
    const auto index = static_cast<std::size_t>(m_index++);
    if (m_next >= m_stretches.size()) {
        give(std::move(packet));
        return;
    }
    const RecodedStretch& stretch = m_stretches[m_next];
    if (!m_open) {
        if (index < stretch.decodeFrom) {
            give(std::move(packet));
            return;
        }
        openStretch(packet->pts);
    }
    if (const int filled = fillUnread(packet.get()); filled < 0)
        throw SplitError { CutShort, "the file could not be read at a cut: " + avError(filled) };
    const bool kept = stretch.kept && index == *stretch.kept;
    if (index >= stretch.first && !kept) {
        m_pts[index - stretch.first] = packet->pts;
        m_durations[index - stretch.first] = packet->duration;
        m_stretchSourceBytes += packet->size;
    }
    const auto reference = [&] {
        Packet copy = newPacket();
        if (av_packet_ref(copy.get(), packet.get()) < 0)
            throw std::bad_alloc();
        return copy;
    };
    // The leading pictures of the keyframe decoding starts at need pictures from before it; nothing encoded
    // again refers to them.
    if (index == stretch.decodeFrom || index >= stretch.first || packet->pts >= m_startPts)
        m_packets.push_back(reference());
    if (m_next + 1 < m_stretches.size() && index == m_stretches[m_next + 1].decodeFrom)
        m_nextStart = reference(); // the next stretch decodes from the keyframe this one ends with
    if (index < stretch.first)
        give(std::move(packet));
    else if (kept)
        m_kept = std::move(packet);
    if (index + 1 == stretch.end)
        finishStretch(give);
}

Recoder::Attempt Recoder::encodeStretch(double crf, bool counted)
{
    const RecodedStretch& stretch = m_stretches[m_next];
    const AVCodecID id = m_ref->codecpar->codec_id;
    const AVCodec* codec = avcodec_find_decoder(id);
    const auto openDecoder = [&](const AVCodecParameters* from) {
        CodecContext decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
        if (!decoder || avcodec_parameters_to_context(decoder.get(), from) < 0)
            throw SplitError { Failed, "no decoder to encode the pictures at a cut again" };
        decoder->pkt_timebase = m_ref->time_base;
        // An open group's keyframe may start the stretch: its pictures are right once its leading ones are
        // left out.
        decoder->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
        if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
            throw SplitError { Failed, "no decoder to encode the pictures at a cut again" };
        return decoder;
    };
    const CodecContext decoder = openDecoder(m_ref->codecpar);
    const CodecContext encoder = openEncoder(m_ref, static_cast<int>(m_ids[0]), crf, m_refs);
    if (!encoder || parameterSetsOf(encoder.get()) != m_ourSets)
        throw SplitError { Failed, "the encoder changed its parameter sets between cuts" };
    // Our pictures are decoded again as they come, to be compared with the source's.
    AVCodecParameters* ours = avcodec_parameters_alloc();
    if (!ours || avcodec_parameters_from_context(ours, encoder.get()) < 0) {
        avcodec_parameters_free(&ours);
        throw std::bad_alloc();
    }
    const CodecContext checker = openDecoder(ours);
    avcodec_parameters_free(&ours);

    Attempt attempt;
    attempt.crf = crf;
    std::size_t fed = 0;
    const auto check = [&](const AVPacket* packet) {
        if (avcodec_send_packet(checker.get(), packet) < 0 && packet)
            throw SplitError { Failed, "a picture encoded again could not be decoded" };
        for (Frame frame(av_frame_alloc());; av_frame_unref(frame.get())) {
            const int got = avcodec_receive_frame(checker.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                break;
            if (got < 0 || !attempt.quality.compare(frame.get()))
                throw SplitError { Failed, "a picture encoded again could not be decoded" };
        }
    };
    const auto encode = [&](AVFrame* frame) {
        if (frame) {
            if (fed >= stretch.order.size() || frame->pts != m_pts[stretch.order[fed] - stretch.first])
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
        if (frame && counted) {
            ++m_encodedPictures;
            if (m_onPicture)
                m_onPicture();
        }
    };
    const auto decode = [&](const AVPacket* packet) {
        if (avcodec_send_packet(decoder.get(), packet) < 0 && packet)
            throw SplitError { Failed, "the pictures at a cut could not be decoded" };
        for (Frame frame(av_frame_alloc());; av_frame_unref(frame.get())) {
            const int got = avcodec_receive_frame(decoder.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                break;
            if (got < 0)
                throw SplitError { Failed, "the pictures at a cut could not be decoded" };
            // Only the stretch's pictures are encoded again; the others are copied.
            if (frame->pts != AV_NOPTS_VALUE && std::find(m_pts.begin(), m_pts.end(), frame->pts) != m_pts.end())
                encode(frame.get());
        }
    };
    for (const Packet& packet : m_packets)
        decode(packet.get());
    decode(nullptr);
    encode(nullptr);
    check(nullptr);
    if (fed != stretch.order.size() || attempt.packets.size() != stretch.order.size() || !attempt.quality.allCompared())
        throw SplitError { Failed, "the pictures at a cut could not all be encoded again" };
    return attempt;
}

Packet Recoder::forPieces(const AVPacket* encoded, bool lastOfStretch)
{
    std::vector<Bytes> units = annexBUnits(encoded->data, encoded->size);
    const bool hevc = m_ref->codecpar->codec_id == AV_CODEC_ID_HEVC;
    if (m_ordered) {
        // Each of our pictures refers to the one before, so counts two apart from the keyframe are their order.
        m_sinceKey = (encoded->flags & AV_PKT_FLAG_KEY) ? 0 : m_sinceKey + 1;
        for (Bytes& unit : units) {
            std::optional<Bytes> ordered = m_ordered->withPictureOrder(unit, 2 * m_sinceKey, m_pocBits);
            if (!ordered)
                throw SplitError { Failed, "a picture encoded again could not be given its order" };
            unit = std::move(*ordered);
        }
    }
    if (hevc) {
        for (Bytes& unit : units) {
            std::optional<Bytes> renumbered = renumber(unit);
            if (!renumbered)
                throw SplitError { Failed, "a picture encoded again could not be numbered apart from the video's" };
            unit = std::move(*renumbered);
        }
    }
    // Each of our keyframes starts with our parameter sets: where the stream carries its own, as it does; and
    // in an HEVC header, which declares ours after the source's, a player may take only the first of each
    // kind (Firefox does) and learn of ours only here.
    if ((m_annexB || hevc) && (encoded->flags & AV_PKT_FLAG_KEY))
        units.insert(units.begin(), m_inBand.begin(), m_inBand.end());
    // The source's next keyframe may be an open group's, or use other parameter sets: the stream starts over.
    if (lastOfStretch)
        units.push_back(hevc ? Bytes { HevcEndOfSequence << 1, 1 } : Bytes { 10 });
    std::size_t size = 0;
    for (const Bytes& unit : units)
        size += static_cast<std::size_t>(m_lengthSize) + unit.size();
    Packet packet = newPacket();
    if (av_new_packet(packet.get(), static_cast<int>(size)) < 0)
        throw std::bad_alloc();
    std::uint8_t* at = packet->data;
    for (const Bytes& unit : units) {
        // A start code, or the unit's length as the source's samples give it.
        for (int b = m_lengthSize - 1; b >= 0; --b)
            *at++ = static_cast<std::uint8_t>(m_annexB ? (b == 0 ? 1 : 0) : unit.size() >> (8 * b));
        at = std::copy(unit.begin(), unit.end(), at);
    }
    return packet;
}

Packet Recoder::withSourceSets(Packet key) const
{
    // An open group's keyframe may come without the parameter sets it uses (only a closed group's keyframe
    // is given them when a stream is made to carry its own); after ours it may start a piece, so it gets the
    // source's first ones. An HEVC keyframe after ours gets the source's too: a player that took ours from
    // our keyframe may have let the header's go (Firefox starts a decoder that knows only ours).
    const bool hevc = m_ref->codecpar->codec_id == AV_CODEC_ID_HEVC;
    for (const Bytes& unit :
        sampleUnits(key->data, static_cast<std::size_t>(key->size), m_annexB ? 0 : m_lengthSize, true)) {
        if (hevc ? hevcUnitType(unit) == HevcSps : !unit.empty() && (unit[0] & 0x1f) == 7)
            return key;
    }
    Bytes sets;
    if (m_annexB) {
        const AVCodecParameters* par = m_ref->codecpar;
        sets.assign(par->extradata, par->extradata + par->extradata_size);
    } else {
        sets = joinUnits(m_sourceSets, m_lengthSize);
    }
    Packet packet = newPacket();
    if (av_new_packet(packet.get(), static_cast<int>(sets.size()) + key->size) < 0
        || av_packet_copy_props(packet.get(), key.get()) < 0)
        throw std::bad_alloc();
    std::copy(sets.begin(), sets.end(), packet->data);
    std::copy(key->data, key->data + key->size, packet->data + sets.size());
    packet->stream_index = key->stream_index;
    // Its bytes are no longer the source's at its position, which a piece would copy in their place.
    packet->pos = -1;
    return packet;
}

void Recoder::finishStretch(const GivePacket& give)
{
    const RecodedStretch& stretch = m_stretches[m_next];
    // Close to the source's pictures at no more than a few times their bytes: where the first rate misses,
    // the stretch is encoded again at a rate moved by the miss (six steps of rate halve the bytes), and the
    // rate that served goes on to the next stretch.
    constexpr double lowestPsnr = 45.0;
    constexpr double aimedPsnr = 46.5;
    constexpr double mostBytes = 3.0;
    constexpr double aimedBytes = 2.4;
    const auto bytes = [&](const Attempt& a) {
        return m_stretchSourceBytes > 0 ? static_cast<double>(a.bytes) / static_cast<double>(m_stretchSourceBytes)
                                        : 0.0;
    };
    const auto score = [&](const Attempt& a) {
        return (a.quality.lowest() >= lowestPsnr ? 2 : 0) + (bytes(a) <= mostBytes ? 1 : 0);
    };
    Attempt best = encodeStretch(m_crf, true);
    // Rates known to give too many bytes (below `low`) or too little likeness (above `high`); between the
    // two, halfway.
    double low = -1;
    double high = 52;
    const Attempt* last = &best;
    Attempt again;
    for (int tries = 1; tries < 5; ++tries) {
        const double tried = last->crf;
        if (last->quality.lowest() < lowestPsnr)
            high = std::min(high, tried);
        else if (bytes(*last) > mostBytes)
            low = std::max(low, tried);
        double crf = tried;
        if (bytes(*last) > mostBytes && last->quality.lowest() > aimedPsnr)
            crf += std::clamp(std::round(6.0 * std::log2(bytes(*last) / aimedBytes)), 1.0, 12.0);
        else if (last->quality.lowest() < aimedPsnr && bytes(*last) < aimedBytes)
            crf -= std::clamp(std::round(aimedPsnr - last->quality.lowest()), 1.0, 8.0);
        if (crf == tried && (last->quality.lowest() < lowestPsnr || bytes(*last) > mostBytes))
            crf = last->quality.lowest() < lowestPsnr ? tried - 2.0 : tried + 2.0;
        if (crf >= high || crf <= low)
            crf = (std::max(low, 0.0) + high) / 2.0;
        crf = std::clamp(std::round(crf * 2.0) / 2.0, 0.0, 51.0);
        if (std::abs(crf - tried) < 0.5 || crf <= low || crf >= high)
            break;
        again = encodeStretch(crf, false);
        // Where both keep within bounds, the one moved towards what was short.
        const bool better = score(again) != score(best) ? score(again) > score(best)
            : crf < best.crf                            ? again.quality.lowest() > best.quality.lowest()
                                                        : again.bytes < best.bytes;
        if (better) {
            best = std::move(again);
            last = &best;
        } else {
            last = &again;
        }
    }
    m_crf = best.crf;
    m_quality.add(best.quality);
    m_sourceBytes += m_stretchSourceBytes;
    m_cuts += stretch.keptStartsPiece ? 1 : 0;
    for (std::size_t o = 0; o < best.packets.size(); ++o) {
        const Packet& encoded = best.packets[o];
        Packet packet = forPieces(encoded.get(), o + 1 == best.packets.size());
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
    if (m_kept) {
        m_kept->dts = stretch.keptDts;
        if (m_annexB || m_ref->codecpar->codec_id == AV_CODEC_ID_HEVC)
            m_kept = withSourceSets(std::move(m_kept));
        give(std::move(m_kept));
    }
    m_packets.clear();
    m_open = false;
    ++m_next;
    if (m_nextStart && m_next < m_stretches.size()) {
        openStretch(m_nextStart->pts);
        m_packets.push_back(std::move(m_nextStart));
    }
    m_nextStart.reset();
}

void Recoder::end(const GivePacket& give)
{
    if (m_next < m_stretches.size() && m_open)
        finishStretch(give);
}

} // namespace quorvane::splitter
