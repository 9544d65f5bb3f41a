// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/stretchsets.h"

#include "splitter/bitstream/avcsps.h"
#include "splitter/recoding/encodersetup.h"

#include <algorithm>

namespace quorvane::splitter {

namespace {

// The smallest number from `low` to `high` that `used` does not hold.
std::optional<unsigned> freeNumber(const std::vector<unsigned>& used, unsigned low, unsigned high)
{
    for (unsigned id = low; id <= high; ++id) {
        if (std::find(used.begin(), used.end(), id) == used.end())
            return id;
    }
    return std::nullopt;
}

std::optional<AvcConfig> sourceAvcConfig(const AVCodecParameters* par, bool annexB)
{
    if (!annexB)
        return readAvcC(par->extradata, par->extradata_size);
    AvcConfig config;
    for (Bytes& unit : annexBUnits(par->extradata, par->extradata_size)) {
        const int type = unit.empty() ? 0 : unit[0] & 0x1f;
        if (type == 7 || type == 8)
            (type == 7 ? config.sps : config.pps).push_back(std::move(unit));
    }
    return config;
}

// The encoder's H.264 parameter sets as ours declare them, added to `merged`.
bool declareAvcSets(
    StretchSets& sets, const AVCodecContext* encoder, const AvcSps& sourceSps, AvcConfig& merged, std::string& why)
{
    std::vector<Bytes> declared;
    for (const Bytes& unit : sets.encoderSets) {
        const bool sps = (unit[0] & 0x1f) == 7;
        const auto ours = sps ? readAvcSps(unit) : std::nullopt;
        auto matched = ours ? matchAvcSps(*ours, sourceSps) : std::nullopt;
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
            sets.pocBits = matched->log2MaxPocLsb;
            sets.ordered.emplace(encoder->extradata, encoder->extradata_size);
        }
        declared.push_back(sps ? writeAvcSps(*matched) : unit);
        (sps ? merged.sps : merged.pps).push_back(declared.back());
    }
    if (sets.annexB)
        sets.inBand = std::move(declared);
    return true;
}

std::optional<StretchSets> avcSets(const AVStream* ref, double crf, std::string& why)
{
    const AVCodecParameters* par = ref->codecpar;
    StretchSets sets;
    const auto framing = unitFraming(NalCodec::Avc, par->extradata, par->extradata_size);
    sets.annexB = framing && framing->startCodes();
    const std::optional<AvcConfig> config = sourceAvcConfig(par, sets.annexB);
    if (!config || !profileName(par)) {
        why = "the video's header is not one the tool can add to";
        return std::nullopt;
    }
    // A number for our parameter sets that the source's do not use.
    std::vector<unsigned> used;
    for (const auto* units : { &config->sps, &config->pps })
        for (const Bytes& set : *units)
            if (const auto id = avcParameterSetId(set))
                used.push_back(*id);
    sets.lengthSize = framing && !sets.annexB ? framing->lengthSize : 4;
    const auto id = freeNumber(used, 1, 31);
    if (!id) {
        why = "the video's header leaves no number free for new parameter sets";
        return std::nullopt;
    }
    sets.ids = { *id, *id, *id };
    // Our pictures refer to no more pictures than the source's declare they may, and our SPS declares the
    // source's buffer, so that a decoder keeps what it holds where one meets the other.
    const auto sourceSps = config->sps.empty() ? std::nullopt : readAvcSps(config->sps.front());
    if (!sourceSps || sourceSps->maxRefFrames == 0) {
        why = "the video's header is not one the tool can add to";
        return std::nullopt;
    }
    sets.refs = static_cast<int>(std::min(sourceSps->maxRefFrames, 2u));
    const CodecContext encoder = openEncoder(ref, static_cast<int>(*id), crf, sets.refs);
    if (!encoder) {
        why = "no H.264 encoder (libx264) takes this video here";
        return std::nullopt;
    }
    sets.encoderSets = parameterSetsOf(encoder.get());
    AvcConfig merged = *config;
    if (!declareAvcSets(sets, encoder.get(), *sourceSps, merged, why))
        return std::nullopt;
    if (sets.annexB)
        return sets;
    if (merged.sps.size() > 31 || merged.pps.size() > 255 || merged.sps.size() == config->sps.size()) {
        why = "the new parameter sets do not fit the video's header";
        return std::nullopt;
    }
    sets.header = writeAvcC(merged);
    return sets;
}

// What an HEVC source declares that ours must agree with.
struct HevcSource {
    HevcConfig config;
    unsigned profile = 0;
    unsigned level = 0;
    std::optional<Bytes> sets[2]; // its first VPS and SPS
};

std::optional<HevcSource> readHevcSource(const AVCodecParameters* par, StretchSets& sets)
{
    HevcSource source;
    if (sets.annexB) {
        for (Bytes& unit : annexBUnits(par->extradata, par->extradata_size))
            source.config.arrays.push_back({ static_cast<std::uint8_t>(hevcUnitType(unit)), { std::move(unit) } });
    } else if (auto config = readHvcC(par->extradata, par->extradata_size)) {
        source.config = std::move(*config);
    } else {
        return std::nullopt;
    }
    const HevcConfig& config = source.config;
    source.profile = sets.annexB ? static_cast<unsigned>(par->profile) : config.start[1] & 0x1fu;
    source.level = sets.annexB ? static_cast<unsigned>(par->level) : config.start[12];
    for (const HevcConfig::Array& array : config.arrays)
        for (const Bytes& unit : array.units)
            if (const int type = hevcUnitType(unit);
                (type == HevcVps || type == HevcSps) && !source.sets[type - HevcVps])
                source.sets[type - HevcVps] = unit;
    if (!sets.annexB) {
        for (const HevcConfig::Array& array : config.arrays)
            if (const int type = array.head & 0x3f; type >= HevcVps && type <= HevcPps)
                sets.sourceSets.insert(sets.sourceSets.end(), array.units.begin(), array.units.end());
    }
    return source;
}

// Numbers for our VPS, SPS and PPS that the source's do not use.
bool numberHevcSets(const HevcConfig& config, StretchSets& sets)
{
    std::vector<unsigned> used[3]; // VPS, SPS, PPS
    for (const HevcConfig::Array& array : config.arrays)
        for (const Bytes& unit : array.units)
            if (const int type = hevcUnitType(unit); type >= HevcVps && type <= HevcPps)
                if (const auto id = hevcParameterSetId(unit))
                    used[type - HevcVps].push_back(*id);
    // A slice referring to PPS 15 to 30 has a header one byte longer than one referring to PPS 0, which is
    // how the encoder numbers it.
    const auto vps = freeNumber(used[0], 0, 15);
    const auto sps = freeNumber(used[1], 0, 15);
    const auto pps = freeNumber(used[2], 15, 30);
    if (!vps || !sps || !pps)
        return false;
    sets.ids = { *vps, *sps, *pps };
    return true;
}

// One of the encoder's HEVC parameter sets as ours declare it, or nullopt with the reason in `why`.
std::optional<Bytes> declaredHevcSet(
    const Bytes& unit, int type, const HevcSource& source, const StretchSets& sets, std::string& why)
{
    // Our pictures must be of the source's profile, and at most its level.
    if (type == HevcSps) {
        const auto made = hevcSpsProfile(unit);
        if (!made || made->profile != source.profile) {
            why = "the HEVC encoder here does not make pictures of this video's profile";
            return std::nullopt;
        }
        if (made->level > source.level) {
            why = "the HEVC encoder here would make pictures of a higher level than this video's";
            return std::nullopt;
        }
    }
    std::optional<Bytes> matched = type == HevcPps ? unit : matchHevcBuffer(unit, *source.sets[type - HevcVps]);
    if (!matched) {
        why = "the encoder's pictures do not fit the picture buffer the video declares";
        return std::nullopt;
    }
    std::optional<Bytes> renumbered = renumberOurs(*matched, sets.ids);
    if (!renumbered)
        why = "the HEVC encoder's parameter sets could not be numbered apart from the video's";
    return renumbered;
}

// The encoder's HEVC parameter sets as ours declare them, added to the source's header.
bool declareHevcSets(StretchSets& sets, const AVCodecContext* encoder, HevcSource& source, std::string& why)
{
    std::size_t added = 0;
    for (const Bytes& unit : annexBUnits(encoder->extradata, encoder->extradata_size)) {
        const int type = hevcUnitType(unit);
        if (type < HevcVps || type > HevcPps)
            continue;
        std::optional<Bytes> renumbered = declaredHevcSet(unit, type, source, sets, why);
        if (!renumbered)
            return false;
        ++added;
        sets.inBand.push_back(*renumbered);
        if (sets.annexB)
            continue;
        std::vector<HevcConfig::Array>& arrays = source.config.arrays;
        auto array = std::find_if(
            arrays.begin(), arrays.end(), [&](const HevcConfig::Array& a) { return (a.head & 0x3f) == type; });
        if (array == arrays.end())
            array = arrays.insert(arrays.end(), { static_cast<std::uint8_t>(0x80 | type), {} });
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
    return true;
}

std::optional<StretchSets> hevcSets(const AVStream* ref, double crf, std::string& why)
{
    const AVCodecParameters* par = ref->codecpar;
    StretchSets sets;
    const auto framing = unitFraming(NalCodec::Hevc, par->extradata, par->extradata_size);
    sets.annexB = framing && framing->startCodes();
    sets.lengthSize = framing && !sets.annexB ? framing->lengthSize : 4;
    std::optional<HevcSource> source = readHevcSource(par, sets);
    if (!source || !profileName(par)) {
        why = "the video's header is not one the tool can add to";
        return std::nullopt;
    }
    if (!numberHevcSets(source->config, sets)) {
        why = "the video's header leaves no number free for new parameter sets";
        return std::nullopt;
    }
    // As for H.264: our pictures need no more room than the source's declare, and our VPS and SPS declare
    // theirs.
    const auto room = source->sets[1] ? hevcBuffer(*source->sets[1]) : std::nullopt;
    if (!source->sets[0] || !room || room->ordering.empty() || room->ordering.back()[0] == 0) {
        why = "the video's header is not one the tool can add to";
        return std::nullopt;
    }
    sets.refs = static_cast<int>(std::min(room->ordering.back()[0], 2u));
    const CodecContext encoder = openEncoder(ref, 0, crf, sets.refs);
    if (!encoder) {
        why = "no HEVC encoder (libx265) takes this video here";
        return std::nullopt;
    }
    sets.encoderSets = parameterSetsOf(encoder.get());
    if (!declareHevcSets(sets, encoder.get(), *source, why))
        return std::nullopt;
    if (!sets.annexB)
        sets.header = writeHvcC(source->config);
    return sets;
}

} // namespace

std::optional<StretchSets> stretchSets(const AVStream* ref, double crf, std::string& why)
{
    return ref->codecpar->codec_id == AV_CODEC_ID_HEVC ? hevcSets(ref, crf, why) : avcSets(ref, crf, why);
}

std::optional<Bytes> renumberOurs(const Bytes& unit, const std::array<unsigned, 3>& ids)
{
    switch (hevcUnitType(unit)) {
    case HevcVps:
        return renumberHevcParameterSet(unit, ids[0], 0);
    case HevcSps:
        return renumberHevcParameterSet(unit, ids[1], ids[0]);
    case HevcPps:
        return renumberHevcParameterSet(unit, ids[2], ids[1]);
    default:
        if (hevcUnitType(unit) <= 31)
            return renumberHevcSlice(unit, ids[2]);
        return unit;
    }
}

} // namespace quorvane::splitter
