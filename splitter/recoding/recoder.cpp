// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/recoding/recoder.h"

#include "splitter/bitstream/parametersets.h"
#include "splitter/contract/exitcodes.h"
#include "splitter/media/spliterror.h"
#include "splitter/media/unreadpacket.h"
#include "splitter/recoding/ratesearch.h"
#include "splitter/recoding/stretchencoder.h"
#include "splitter/recoding/stretchsets.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace quorvane::splitter {

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
    std::optional<StretchSets> sets = stretchSets(ref, recoder->m_crf, why);
    if (!sets)
        return nullptr;
    recoder->m_sets = std::move(*sets);
    return recoder;
}

std::unique_ptr<Recoder> Recoder::again(AVStream* ref) const
{
    std::unique_ptr<Recoder> recoder(new Recoder);
    recoder->m_ref = ref;
    recoder->m_sets = m_sets;
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

Packet Recoder::forPieces(const AVPacket* encoded, bool lastOfStretch)
{
    std::vector<Bytes> units = annexBUnits(encoded->data, encoded->size);
    const bool hevc = m_ref->codecpar->codec_id == AV_CODEC_ID_HEVC;
    if (m_sets.ordered) {
        // Each of our pictures refers to the one before, so counts two apart from the keyframe are their order.
        m_sinceKey = (encoded->flags & AV_PKT_FLAG_KEY) ? 0 : m_sinceKey + 1;
        for (Bytes& unit : units) {
            std::optional<Bytes> ordered = m_sets.ordered->withPictureOrder(unit, 2 * m_sinceKey, m_sets.pocBits);
            if (!ordered)
                throw SplitError { Failed, "a picture encoded again could not be given its order" };
            unit = std::move(*ordered);
        }
    }
    if (hevc) {
        for (Bytes& unit : units) {
            std::optional<Bytes> renumbered = renumberOurs(unit, m_sets.ids);
            if (!renumbered)
                throw SplitError { Failed, "a picture encoded again could not be numbered apart from the video's" };
            unit = std::move(*renumbered);
        }
    }
    // Each of our keyframes starts with our parameter sets: where the stream carries its own, as it does; and
    // in an HEVC header, which declares ours after the source's, a player may take only the first of each
    // kind (Firefox does) and learn of ours only here.
    if ((m_sets.annexB || hevc) && (encoded->flags & AV_PKT_FLAG_KEY))
        units.insert(units.begin(), m_sets.inBand.begin(), m_sets.inBand.end());
    // The source's next keyframe may be an open group's, or use other parameter sets: the stream starts over.
    if (lastOfStretch)
        units.push_back(hevc ? Bytes { HevcEndOfSequence << 1, 1 } : Bytes { 10 });
    std::size_t size = 0;
    for (const Bytes& unit : units)
        size += static_cast<std::size_t>(m_sets.lengthSize) + unit.size();
    Packet packet = newPacket();
    if (av_new_packet(packet.get(), static_cast<int>(size)) < 0)
        throw std::bad_alloc();
    std::uint8_t* at = packet->data;
    for (const Bytes& unit : units) {
        // A start code, or the unit's length as the source's samples give it.
        for (int b = m_sets.lengthSize - 1; b >= 0; --b)
            *at++ = static_cast<std::uint8_t>(m_sets.annexB ? (b == 0 ? 1 : 0) : unit.size() >> (8 * b));
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
        sampleUnits(key->data, static_cast<std::size_t>(key->size), m_sets.annexB ? 0 : m_sets.lengthSize, true)) {
        if (hevc ? hevcUnitType(unit) == HevcSps : !unit.empty() && (unit[0] & 0x1f) == 7)
            return key;
    }
    Bytes sets;
    if (m_sets.annexB) {
        const AVCodecParameters* par = m_ref->codecpar;
        sets.assign(par->extradata, par->extradata + par->extradata_size);
    } else {
        sets = joinUnits(m_sets.sourceSets, m_sets.lengthSize);
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
    const StretchEncoder encoder(m_ref, static_cast<int>(m_sets.ids[0]), m_sets.refs, m_sets.encoderSets);
    // Progress moves with the first rate's pictures only.
    const std::function<void()> counted = [this] {
        ++m_encodedPictures;
        if (m_onPicture)
            m_onPicture();
    };
    RateSearch search(m_crf, m_stretchSourceBytes);
    EncodedStretch best;
    for (std::optional<double> crf = search.next(); crf; crf = search.next()) {
        EncodedStretch attempt
            = encoder.encode(stretch, m_packets, m_pts, *crf, search.tries() == 0 ? counted : nullptr);
        if (search.tried(*crf, attempt.quality.lowest(), attempt.bytes))
            best = std::move(attempt);
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
        if (m_sets.annexB || m_ref->codecpar->codec_id == AV_CODEC_ID_HEVC)
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
