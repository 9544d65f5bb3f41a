// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/piecedistributor.h"

#include "splitter/spliterror.h"
#include "splitter/splitter.h"

extern "C" {
#include <libavcodec/codec_desc.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <string>

namespace quorvane::splitter {

namespace {

// A stream that stops early must not hold every later packet in memory.
constexpr std::int64_t memoryCap = 32 * 1024 * 1024;

bool isTextSubtitle(const AVStream* stream)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(stream->codecpar->codec_id);
    return stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && descriptor
        && (descriptor->props & AV_CODEC_PROP_TEXT_SUB);
}

} // namespace

PieceDistributor::PieceDistributor(AVFormatContext* in, const MediaLayout& layout, SplitPlan plan,
    const std::vector<std::vector<std::int64_t>>& times, PieceWriter& writer,
    std::function<PieceSpan(int, const SplitPlan&)> span, std::function<void(int, const SplitPlan&)> rewrite)
    : m_in(in)
    , m_layout(layout)
    , m_plan(std::move(plan))
    , m_times(times)
    , m_writer(writer)
    , m_span(std::move(span))
    , m_rewrite(std::move(rewrite))
    , m_router(m_plan.cutDts, m_plan.fileStart)
    , m_passed(layout.streams.size(), -1)
    , m_received(layout.streams.size(), 0)
    , m_mp3(std::string(layout.format->name) == "mp3" && in->streams[layout.ref]->codecpar->codec_id == AV_CODEC_ID_MP3
          && in->streams[layout.ref]->codecpar->sample_rate > 0)
{
}

std::optional<std::int64_t> PieceDistributor::timeOf(const AVPacket* packet) const
{
    const std::int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (t == AV_NOPTS_VALUE)
        return std::nullopt;
    return av_rescale_q(t, m_in->streams[packet->stream_index]->time_base, m_layout.refBase);
}

void PieceDistributor::planWhileReading(std::int64_t firstShown, std::int64_t length)
{
    m_cutter = std::make_unique<KeyframeCutter>(firstShown, length);
    m_plan.pieces = m_cutter->pieces();
    m_plan.cutDts = { m_plan.fileStart }; // as the router has it; each cut found is added to both
}

void PieceDistributor::begin(int piece)
{
    m_current = piece;
    PieceSpan span = m_span(piece, m_plan);
    std::deque<Packet> preroll;
    if (piece > 0 && m_mp3) {
        // MP3 frames borrow bytes from the frames before them (the bit reservoir, at most 511 bytes): enough
        // frames of the piece before come first that the piece's own first frame decodes whole, and the
        // decoder skips them.
        int bytes = 0;
        for (auto p = m_recentReference.rbegin(); p != m_recentReference.rend(); ++p) {
            preroll.push_front(std::move(*p));
            if (preroll.size() > 1)
                bytes += preroll.front()->size;
            if (bytes >= 512)
                break;
        }
        int samples = 0;
        for (const Packet& p : preroll)
            samples += static_cast<int>(av_rescale_q(p->duration, m_in->streams[m_layout.ref]->time_base,
                { 1, m_in->streams[m_layout.ref]->codecpar->sample_rate }));
        span.prerollSamples = samples;
    }
    m_recentReference.clear();
    m_writer.open(span);
    for (Packet& packet : preroll) {
        // The MP3 writer takes the LAME header's encoder delay from the first packet that says how much
        // to skip: the first says all of the frames before the piece, the others nothing.
        const int samples = &packet == &preroll.front() ? span.prerollSamples : 0;
        std::size_t size = 0;
        std::uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
        if (!skip && samples > 0)
            skip = av_packet_new_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, size = 10);
        if (samples > 0 && !skip)
            throw std::bad_alloc();
        if (skip && size >= 10) {
            AV_WL32(skip, static_cast<std::uint32_t>(samples));
            AV_WL32(skip + 4, 0);
            skip[8] = skip[9] = 0;
        }
        m_writer.write(std::move(packet));
    }
}

std::optional<int> PieceDistributor::placeOf(const AVPacket* packet) const
{
    const std::optional<int> piece = m_router.place(timeOf(packet));
    // While reading decides the cuts, a subtitle event or an MP4 audio frame that lasts past a keyframe
    // that may become a cut waits, so that both pieces can share it if it does.
    const AVStream* st = m_in->streams[packet->stream_index];
    if (piece && m_cutter && sharedAtCuts(st) && packet->pts != AV_NOPTS_VALUE) {
        const std::optional<KeyframeCutter::Cut> from = holdFrom();
        const std::int64_t end = av_rescale_q(packet->pts + packet->duration, st->time_base, m_layout.refBase);
        if (from && end > from->pts)
            return std::nullopt;
    }
    return piece;
}

void PieceDistributor::routeReference(Packet packet)
{
    const AVStream* st = m_in->streams[packet->stream_index];
    const std::optional<std::int64_t> pts = packet->pts != AV_NOPTS_VALUE
        ? std::optional(av_rescale_q(packet->pts, st->time_base, m_layout.refBase))
        : std::nullopt;
    const int before = m_router.referencePiece();
    const int piece = m_router.reference(timeOf(packet.get()), pts);
    if (piece != before && m_plan.pieces[static_cast<std::size_t>(piece)].openStart && pts) {
        // The keyframe of an open group: it ends the piece before too, decoded for the leading pictures
        // that follow it there but not shown (its length 0 ends that piece's edit list where it shows).
        Packet hidden = newPacket();
        if (av_packet_ref(hidden.get(), packet.get()) < 0)
            throw std::bad_alloc();
        hidden->duration = 0;
        m_leading = Leading { piece, *pts };
        route(piece - 1, std::move(hidden), false);
        route(piece, std::move(packet), false);
        return;
    }
    if (m_leading && piece == m_leading->piece) {
        if (pts && *pts < m_leading->pts) {
            route(piece - 1, std::move(packet), false); // a leading picture: shown before the cut
            return;
        }
        m_leading.reset(); // the piece before has all it shows
    }
    route(piece, std::move(packet));
}

std::optional<KeyframeCutter::Cut> PieceDistributor::holdFrom() const
{
    // The earliest keyframe that may still become a cut: a settled candidate or one not yet verified.
    std::optional<KeyframeCutter::Cut> from = m_cutter->candidate();
    if (m_unverified && (!from || m_unverified->dts < from->dts))
        from = KeyframeCutter::Cut { m_unverified->pts, m_unverified->dts };
    return from;
}

void PieceDistributor::applyCuts(const std::vector<KeyframeCutter::Cut>& cuts)
{
    for (const KeyframeCutter::Cut& cut : cuts) {
        m_router.addCut(cut.dts);
        m_plan.cutDts.push_back(cut.dts);
    }
    m_plan.pieces = m_cutter->pieces();
}

void PieceDistributor::feedUnverified()
{
    // A keyframe is known to open a closed group once the next keyframe has come: no picture decoded
    // after it showed before it.
    const UnverifiedKey key = *m_unverified;
    m_unverified.reset();
    if (key.open)
        ++m_openKeyframes;
    else
        applyCuts(m_cutter->keyframe(key.pts, key.dts));
}

void PieceDistributor::releaseHeld()
{
    const std::optional<KeyframeCutter::Cut> from = holdFrom();
    m_router.setPossibleCut(from ? std::optional(from->dts) : std::nullopt);
    while (!m_heldReference.empty()) {
        const std::optional<std::int64_t> t = timeOf(m_heldReference.front().get());
        if (from && t && *t >= from->dts)
            break;
        Packet packet = std::move(m_heldReference.front());
        m_heldReference.pop_front();
        m_heldBytes -= packet->size;
        routeReference(std::move(packet));
    }
}

void PieceDistributor::holdReference(Packet packet)
{
    const AVStream* st = m_in->streams[packet->stream_index];
    const std::optional<std::int64_t> dts = timeOf(packet.get());
    const std::optional<std::int64_t> pts = packet->pts != AV_NOPTS_VALUE
        ? std::optional(av_rescale_q(packet->pts, st->time_base, m_layout.refBase))
        : dts;
    if ((packet->flags & AV_PKT_FLAG_KEY) && dts && pts) {
        if (m_unverified)
            feedUnverified();
        m_unverified = UnverifiedKey { *pts, *dts };
    } else if (m_unverified && pts && *pts < m_unverified->pts) {
        m_unverified->open = true; // a leading picture: it needs the group before
    }
    m_heldBytes += packet->size;
    m_heldReference.push_back(std::move(packet));
    if (m_heldBytes > memoryCap) {
        // Too much waits: settle now, at the cost of a piece shorter than it might have been.
        if (m_unverified)
            feedUnverified();
        if (const auto cut = m_cutter->settleNow())
            applyCuts({ *cut });
    }
    releaseHeld();
}

void PieceDistributor::take(Packet packet)
{
    const int s = packet->stream_index;
    if (s < 0 || static_cast<unsigned>(s) >= m_in->nb_streams
        || m_layout.streams[static_cast<std::size_t>(s)].output < 0
        || m_layout.streams[static_cast<std::size_t>(s)].cover)
        return; // left out, or a cover, which every piece gets when it is opened
    ++m_received[static_cast<std::size_t>(s)];
    if (s == m_layout.ref) {
        ++m_refPackets;
        const AVStream* st = m_in->streams[s];
        const std::optional<std::int64_t> t = timeOf(packet.get());
        const std::optional<std::int64_t> pts = packet->pts != AV_NOPTS_VALUE
            ? std::optional(av_rescale_q(packet->pts, st->time_base, m_layout.refBase))
            : std::nullopt;
        if (t) {
            const std::int64_t shownUntil
                = pts ? av_rescale_q(packet->pts + packet->duration, st->time_base, m_layout.refBase) : *t;
            m_lastShown = std::max(m_lastShown.value_or(shownUntil), shownUntil);
        }
        if (m_cutter)
            holdReference(std::move(packet));
        else
            routeReference(std::move(packet));
        drainPending(false);
        return;
    }
    if (m_pending.empty()) {
        if (const auto piece = placeOf(packet.get())) {
            route(*piece, std::move(packet));
            return;
        }
    }
    m_heldBytes += packet->size;
    m_pending.push_back(std::move(packet));
}

void PieceDistributor::drainPending(bool atEnd)
{
    while (!m_pending.empty()) {
        const std::optional<int> piece = placeOf(m_pending.front().get());
        if (!piece && !atEnd)
            break;
        Packet packet = std::move(m_pending.front());
        m_pending.pop_front();
        m_heldBytes -= packet->size;
        route(piece.value_or(m_router.referencePiece()), std::move(packet));
    }
}

bool PieceDistributor::sharedAtCuts(const AVStream* stream) const
{
    // MP4's edit lists say how much of a track's first and last sample is shown, so an audio frame that
    // crosses a cut can be in both pieces, each showing its part: the pieces meet exactly.
    return isTextSubtitle(stream)
        || (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && isMovFamily(m_layout.format));
}

Packet PieceDistributor::splitAtCut(int piece, AVPacket* packet) const
{
    const AVStream* st = m_in->streams[packet->stream_index];
    const bool text = isTextSubtitle(st);
    if (piece + 1 >= static_cast<int>(m_plan.pieces.size()) || !sharedAtCuts(st) || packet->pts == AV_NOPTS_VALUE
        || packet->duration <= 0)
        return {};
    const std::int64_t cut
        = av_rescale_q(m_plan.pieces[static_cast<std::size_t>(piece) + 1].start, m_layout.refBase, st->time_base);
    const std::int64_t endsAt = packet->pts + packet->duration;
    if (packet->pts >= cut || endsAt <= cut)
        return {};
    Packet rest = newPacket();
    if (av_packet_ref(rest.get(), packet) < 0)
        throw std::bad_alloc();
    if (text) {
        // A text event that lasts past the cut ends there; its remainder opens the next piece, so no piece
        // outlasts its pictures and no event is lost.
        rest->pts = rest->dts = cut;
        rest->duration = endsAt - cut;
    }
    // An audio frame is whole in both: the later piece starts it before its own start, which its edit list
    // skips, and the earlier one shows it up to the cut.
    packet->duration = cut - packet->pts;
    return rest;
}

void PieceDistributor::queue(int piece, Packet packet)
{
    // Before anything of its stream for that piece or later, so every stream stays in decoding order, and
    // before what lies after it in the file, so a piece's media bytes keep the file's order.
    m_heldBytes += packet->size;
    const auto later = std::find_if(m_queue.begin(), m_queue.end(), [&](const Waiting& w) {
        return w.piece >= piece
            && (w.packet->stream_index == packet->stream_index || (packet->pos >= 0 && w.packet->pos > packet->pos));
    });
    m_queue.insert(later, { piece, std::move(packet) });
}

void PieceDistributor::writeNow(Packet packet)
{
    if (m_mp3 && packet->stream_index == m_layout.ref) {
        Packet copy = newPacket();
        if (av_packet_ref(copy.get(), packet.get()) < 0)
            throw std::bad_alloc();
        m_recentReference.push_back(std::move(copy));
        if (m_recentReference.size() > 16)
            m_recentReference.pop_front();
    }
    if (Packet rest = splitAtCut(m_current, packet.get()))
        queue(m_current + 1, std::move(rest));
    m_writer.write(std::move(packet));
}

void PieceDistributor::route(int piece, Packet packet, bool passes)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    if (passes)
        m_passed[s] = std::max(m_passed[s], piece);
    if (m_only) {
        // The second pass: this piece's packets, and the remainder of an event that began before it.
        Packet rest = splitAtCut(piece, packet.get());
        if (piece == *m_only)
            m_writer.write(std::move(packet));
        else if (rest && piece + 1 == *m_only)
            m_writer.write(std::move(rest));
        return;
    }
    if (piece > m_current) {
        // In the file's order within the piece (a packet that waited for its place may come late), after
        // what its own stream has queued: MP4 pieces then hold their media bytes as the file does.
        m_heldBytes += packet->size;
        auto at = m_queue.end();
        while (at != m_queue.begin()) {
            const Waiting& before = *std::prev(at);
            if (before.piece != piece || before.packet->stream_index == packet->stream_index || packet->pos < 0
                || before.packet->pos < packet->pos)
                break;
            --at;
        }
        m_queue.insert(at, { piece, std::move(packet) });
    } else if (piece < m_current && isTextSubtitle(m_in->streams[s])) {
        // Read after its piece was closed (only when memory ran short): the part that still shows in the
        // open piece goes there; an event over before it is left out, and counted.
        const AVStream* st = m_in->streams[s];
        const std::int64_t start
            = av_rescale_q(m_plan.pieces[static_cast<std::size_t>(m_current)].start, m_layout.refBase, st->time_base);
        if (packet->pts == AV_NOPTS_VALUE || packet->pts + packet->duration <= start) {
            ++m_lateLeftOut;
        } else {
            packet->duration = packet->pts + packet->duration - start;
            packet->pts = packet->dts = start;
            writeNow(std::move(packet));
        }
    } else {
        // A packet that arrives after its piece was closed joins the open one, so nothing is lost.
        writeNow(std::move(packet));
    }
    while (m_current + 1 < static_cast<int>(m_plan.pieces.size()) && (currentCanClose() || m_heldBytes > memoryCap))
        closeCurrentAndOpenNext();
}

bool PieceDistributor::currentCanClose() const
{
    const std::int64_t cut = m_plan.pieces[static_cast<std::size_t>(m_current) + 1].start;
    for (std::size_t s = 0; s < m_layout.streams.size(); ++s) {
        const StreamSlot& slot = m_layout.streams[s];
        if (slot.output < 0 || slot.cover)
            continue;
        // Dense streams show they are done by passing the cut; sparse ones by having delivered every packet
        // that falls before it, since a file may store them well after their time (MP4's subtitles).
        if (!slot.sparse && m_passed[s] <= m_current)
            return false;
        if (slot.sparse && s < m_times.size()) {
            const auto& times = m_times[s];
            if (m_received[s] < std::lower_bound(times.begin(), times.end(), cut) - times.begin())
                return false;
        }
    }
    return true;
}

void PieceDistributor::finishCurrent()
{
    m_writer.setEnd(m_plan.pieces[static_cast<std::size_t>(m_current)].end);
    if (!m_writer.finish())
        m_rewrite(m_current, m_plan);
}

void PieceDistributor::closeCurrentAndOpenNext()
{
    finishCurrent();
    begin(m_current + 1);
    std::deque<Waiting> later;
    while (!m_queue.empty()) {
        Waiting item = std::move(m_queue.front());
        m_queue.pop_front();
        if (item.piece <= m_current) {
            m_heldBytes -= item.packet->size;
            writeNow(std::move(item.packet));
        } else {
            later.push_back(std::move(item));
        }
    }
    m_queue = std::move(later);
}

void PieceDistributor::end()
{
    if (m_cutter) {
        if (m_unverified)
            feedUnverified();
        applyCuts(m_cutter->finish(m_lastShown.value_or(m_plan.pieces.front().start)));
        releaseHeld();
    }
    drainPending(true);
    if (m_only) {
        if (!m_writer.finish())
            throw SplitError { Failed, "cannot write piece " + std::to_string(*m_only + 1) };
        return;
    }
    // Close the open piece and any that only queued packets reached.
    while (std::any_of(m_queue.begin(), m_queue.end(), [&](const Waiting& w) { return w.piece > m_current; }))
        closeCurrentAndOpenNext();
    while (!m_queue.empty()) {
        Packet packet = std::move(m_queue.front().packet);
        m_queue.pop_front();
        writeNow(std::move(packet));
    }
    finishCurrent();
}

} // namespace quorvane::splitter
