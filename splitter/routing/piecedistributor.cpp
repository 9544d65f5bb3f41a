// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/routing/piecedistributor.h"

#include "splitter/media/codecpolicy.h"
#include "splitter/media/spliterror.h"
#include "splitter/writing/cutsharing.h"

#include <algorithm>
#include <string>

namespace quorvane::splitter {

namespace {

std::vector<RoutedStream> routedStreams(const AVFormatContext* in, const MediaLayout& layout)
{
    std::vector<RoutedStream> streams(layout.streams.size());
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const AVStream* st = in->streams[s];
        streams[s].stream = st;
        streams[s].ownKeyframes = static_cast<int>(s) != layout.ref && layout.streams[s].output >= 0
            && !layout.streams[s].cover && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    }
    return streams;
}

} // namespace

PieceDistributor::PieceDistributor(AVFormatContext* in, const MediaLayout& layout, SplitPlan plan,
    const SampleIndex* samples, PieceWriter& writer, std::function<PieceSpan(int, const SplitPlan&)> span,
    std::function<void(int, const SplitPlan&)> rewrite)
    : m_in(in)
    , m_layout(layout)
    , m_plan(std::move(plan))
    , m_samples(samples)
    , m_writer(writer)
    , m_span(std::move(span))
    , m_rewrite(std::move(rewrite))
    , m_router(m_plan.cutDts, m_plan.fileStart)
    , m_clock(in, layout.refBase)
    , m_streams(routedStreams(in, layout))
    , m_crossing(in, layout, m_streams, m_clock)
{
}

void PieceDistributor::planWhileReading(std::int64_t firstShown, const PieceLength& length)
{
    m_planner = std::make_unique<ReadingPlanner>(firstShown, length, m_plan, m_router, m_clock, m_heldBytes);
}

void PieceDistributor::begin(int piece)
{
    m_current = piece;
    PieceSpan span = m_span(piece, m_plan);
    std::deque<Packet> opening = m_crossing.opening(piece, span, m_only.has_value());
    m_writer.open(span);
    for (Packet& packet : opening)
        m_writer.write(std::move(packet));
}

std::optional<int> PieceDistributor::placeOf(const AVPacket* packet) const
{
    const RoutedStream& stream = m_streams[static_cast<std::size_t>(packet->stream_index)];
    if (stream.ownKeyframes) {
        // Its pictures stay in a piece until its first keyframe shown at or after the next piece's start,
        // which starts that piece: each piece decodes from its own keyframe.
        if (!(packet->flags & AV_PKT_FLAG_KEY))
            return stream.videoPiece;
        const std::optional<int> piece
            = m_router.place(packet->pts != AV_NOPTS_VALUE ? m_clock.shown(packet) : m_clock.decoded(packet));
        return piece ? std::optional(std::max(*piece, stream.videoPiece)) : std::nullopt;
    }
    const std::optional<int> piece = m_router.place(m_clock.decoded(packet));
    // While reading decides the cuts, a subtitle event or an MP4 audio frame that lasts past a keyframe
    // that may become a cut waits, so that both pieces can share it if it does.
    const AVStream* st = m_in->streams[packet->stream_index];
    if (piece && m_planner && sharedAtCuts(st, m_layout.format) && packet->pts != AV_NOPTS_VALUE) {
        const std::optional<KeyframeCutter::Cut> from = m_planner->possibleCut();
        if (from && m_clock.shownUntil(packet) > from->pts)
            return std::nullopt;
    }
    return piece;
}

void PieceDistributor::routeReference(Packet packet)
{
    const int piece = m_router.reference(m_clock.decoded(packet.get()), m_clock.shown(packet.get()));
    route(piece, std::move(packet));
}

void PieceDistributor::releaseHeld()
{
    while (Packet packet = m_planner->released())
        routeReference(std::move(packet));
}

void PieceDistributor::take(Packet packet)
{
    const int s = packet->stream_index;
    // A stream that shows only while the file is read (a transport stream's late programme) is not in the
    // layout, nor in any piece.
    if (s < 0 || static_cast<std::size_t>(s) >= m_layout.streams.size()
        || m_layout.streams[static_cast<std::size_t>(s)].output < 0
        || m_layout.streams[static_cast<std::size_t>(s)].cover)
        return; // left out, or a cover, which every piece gets when it is opened
    ++m_streams[static_cast<std::size_t>(s)].received;
    noteEnd(packet.get());
    if (s == m_layout.ref) {
        ++m_refPackets;
        if (const std::optional<std::int64_t> t = m_clock.decoded(packet.get())) {
            const std::int64_t shownUntil = packet->pts != AV_NOPTS_VALUE ? m_clock.shownUntil(packet.get()) : *t;
            m_lastShown = std::max(m_lastShown.value_or(shownUntil), shownUntil);
        }
        if (m_planner) {
            m_planner->hold(std::move(packet));
            releaseHeld();
        } else {
            routeReference(std::move(packet));
        }
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

void PieceDistributor::noteEnd(const AVPacket* packet)
{
    const AVMediaType type = m_streams[static_cast<std::size_t>(packet->stream_index)].stream->codecpar->codec_type;
    if (m_layout.streams[static_cast<std::size_t>(packet->stream_index)].sparse || packet->pts == AV_NOPTS_VALUE
        || (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO))
        return;
    const std::int64_t end = m_clock.shownUntil(packet);
    m_lastEnd = std::max(m_lastEnd.value_or(end), end);
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
    m_crossing.seen(packet.get());
    if (Packet early = m_crossing.frameBefore(m_current, packet.get()))
        m_writer.write(std::move(early));
    if (Packet rest = m_crossing.splitAtCut(m_current, packet.get(), m_plan)) {
        Packet early = m_crossing.frameBefore(m_current + 1, rest.get());
        queue(m_current + 1, std::move(rest));
        if (early)
            queue(m_current + 1, std::move(early)); // goes before the rest, as queue() puts it
    }
    m_crossing.rememberFrame(packet.get());
    m_writer.write(std::move(packet));
}

void PieceDistributor::routeToOnly(int piece, Packet packet)
{
    Packet rest = m_crossing.splitAtCut(piece, packet.get(), m_plan);
    const AVPacket* first = piece == *m_only ? packet.get() : (piece + 1 == *m_only ? rest.get() : nullptr);
    if (Packet early = first ? m_crossing.frameBefore(*m_only, first) : Packet {})
        m_writer.write(std::move(early));
    m_crossing.rememberFrame(packet.get());
    if (piece == *m_only)
        m_writer.write(std::move(packet));
    else if (rest && piece + 1 == *m_only)
        m_writer.write(std::move(rest));
}

void PieceDistributor::waitForPiece(int piece, Packet packet)
{
    // In the file's order within the piece (a packet that waited for its place may come late), after what its
    // own stream has queued: MP4 pieces then hold their media bytes as the file does.
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
}

void PieceDistributor::route(int piece, Packet packet)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    RoutedStream& stream = m_streams[s];
    stream.passed = std::max(stream.passed, piece);
    if (stream.ownKeyframes)
        stream.videoPiece = std::max(stream.videoPiece, piece);
    if (m_only) {
        routeToOnly(piece, std::move(packet));
        return;
    }
    if (piece > m_current) {
        waitForPiece(piece, std::move(packet));
    } else if (piece < m_current && isTextSubtitle(stream.stream->codecpar)) {
        // Read after its piece was closed (only when memory ran short): the part that still shows in the
        // open piece goes there; an event over before it is left out, and counted.
        const std::int64_t start = m_plan.pieces[static_cast<std::size_t>(m_current)].start;
        if (keepWhatShowsFrom(packet.get(), m_clock.toStream(packet->stream_index, start)))
            writeNow(std::move(packet));
        else
            ++m_lateLeftOut;
    } else {
        // A packet that arrives after its piece was closed joins the open one, so nothing is lost.
        writeNow(std::move(packet));
    }
    while (m_current + 1 < static_cast<int>(m_plan.pieces.size()) && (currentCanClose() || m_heldBytes > heldMemoryCap))
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
        if (!slot.sparse && m_streams[s].passed <= m_current)
            return false;
        if (slot.sparse && m_samples
            && m_streams[s].received < m_samples->samplesBefore(static_cast<int>(s), cut, m_layout.refBase))
            return false;
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
    // A subtitle picture still showing at the cut shows from the new piece's start too.
    const std::int64_t start = m_plan.pieces[static_cast<std::size_t>(m_current)].start;
    for (std::size_t s = 0; s < m_streams.size(); ++s) {
        if (m_streams[s].showing)
            writeNow(showAgainAt(
                m_streams[s].showing.get(), m_streams[s].stream, m_clock.toStream(static_cast<int>(s), start)));
    }
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
    if (m_planner) {
        // The last piece lasts as long as its longest stream: sound that runs on past the pictures may need
        // one more cut.
        const std::int64_t shown = m_lastShown.value_or(m_plan.pieces.front().start);
        m_planner->finish(std::max(shown, m_lastEnd.value_or(shown)));
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
