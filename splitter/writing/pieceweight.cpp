// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/writing/pieceweight.h"

#include "splitter/media/containerfacts.h"
#include "splitter/reading/indexroom.h"

#include <cmath>

namespace quorvane::splitter {

namespace {

// A packet's bytes in a piece: in fixed-size packets, the last one padded whole, or with its header.
std::int64_t framed(const ContainerFacts& facts, std::int64_t size)
{
    const PieceOverhead& o = facts.overhead;
    if (o.payloadPerPacket <= 0)
        return size + o.perPacket;
    return (size + o.perPacket + o.payloadPerPacket - 1) / o.payloadPerPacket * o.payloadPerPacket;
}

} // namespace

PieceWeigher::PieceWeigher(
    const AVFormatContext* in, const MediaLayout& layout, const SampleIndex& samples, std::int64_t allowance)
    : m_layout(layout)
    , m_samples(samples)
{
    const ContainerFacts& facts = containerFacts(layout.format);
    // An MP4 index's room counts its codec headers and tags.
    m_fixed = facts.overhead.perPiece + (facts.indexInFront ? 0 : layout.headerBytes) + allowance;
    const auto ticks = [&](double seconds) { return static_cast<std::int64_t>(seconds / av_q2d(layout.refBase)); };
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const StreamSlot& slot = layout.streams[s];
        const AVStream* st = in->streams[s];
        if (slot.output < 0)
            continue;
        if (slot.cover) { // a copy in every piece
            m_fixed += st->attached_pic.size;
            continue;
        }
        Stream stream;
        if (static_cast<int>(s) == layout.ref) {
            m_reference = m_streams.size();
        } else if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            stream.before = ticks(10.0);
        } else {
            stream.before = ticks(0.25);
            stream.after = ticks(0.1);
        }
        samples.forEach(static_cast<int>(s), [&](const IndexedSample& sample) {
            stream.curve.add(av_rescale_q(sample.pts, st->time_base, layout.refBase), framed(facts, sample.size));
        });
        m_streams.push_back(std::move(stream));
    }
}

std::int64_t PieceWeigher::referenceBytes(std::int64_t from, std::int64_t to) const
{
    return m_streams.empty() ? 0 : m_streams[m_reference].curve.bytesBetween(from, to);
}

std::int64_t PieceWeigher::operator()(std::int64_t from, std::int64_t to) const
{
    const ContainerFacts& facts = containerFacts(m_layout.format);
    const PieceOverhead& overhead = facts.overhead;
    std::int64_t bytes = 0; // framed
    for (const Stream& stream : m_streams)
        bytes += stream.curve.bytesBetween(from - stream.before, to + stream.after);
    const double seconds = static_cast<double>(to - from) * av_q2d(m_layout.refBase) + 1.0;
    double weight = static_cast<double>(m_fixed) + static_cast<double>(overhead.perSecond) * seconds;
    if (overhead.payloadPerPacket > 0) // counted in payloads of fixed-size packets
        weight = (weight + static_cast<double>(bytes) / overhead.payloadPerPacket * 188.0)
            * (m_layout.tsPacketSize > 0 ? m_layout.tsPacketSize : 188) / 188.0;
    else
        weight += static_cast<double>(bytes);
    if (facts.indexInFront)
        weight += static_cast<double>(indexRoomFromIndex(m_layout, m_samples, { from, to, false }));
    return static_cast<std::int64_t>(std::min(weight, 4.0e18));
}

} // namespace quorvane::splitter
