// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/encodersetup.h"

#include <algorithm>
#include <iterator>

#include <string>

extern "C" {
#include <libavutil/opt.h>
}

namespace quorvane::splitter {

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

namespace {

bool knownAvcLevel(int level)
{
    constexpr int levels[] = { 9, 10, 11, 12, 13, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51, 52, 60, 61, 62 };
    return std::find(std::begin(levels), std::end(levels), level) != std::end(levels);
}

} // namespace

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
    // x264 refuses a level it does not know, which a damaged file may declare, and keeps what it had set up
    // for the encoder it then does not make: it is left to choose one.
    encoder->level = hevc || knownAvcLevel(par->level) ? par->level : FF_LEVEL_UNKNOWN;
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

} // namespace quorvane::splitter
