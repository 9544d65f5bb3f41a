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

// A stream that stops early must not hold every later packet in memory.
constexpr std::int64_t memoryCap = 32 * 1024 * 1024;

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
    , m_passed(layout.streams.size(), -1)
    , m_received(layout.streams.size(), 0)
    , m_ownKeyframes(layout.streams.size(), false)
    , m_videoPiece(layout.streams.size(), 0)
    , m_startsEarly(layout.streams.size(), false)
    , m_lastFrame(layout.streams.size())
    , m_earlyIn(layout.streams.size(), 0)
    , m_showing(layout.streams.size())
{
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const AVStream* st = in->streams[s];
        m_ownKeyframes[s] = static_cast<int>(s) != layout.ref && layout.streams[s].output >= 0
            && !layout.streams[s].cover && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        m_startsEarly[s] = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && sharedAtCuts(st, layout.format)
            && overlapsFrameBefore(st->codecpar->codec_id);
    }
    m_joins.resize(layout.streams.size());
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
        const AVStream* st = in->streams[s];
        if (containerFacts(layout.format).joinsFramesBefore && layout.streams[s].output >= 0
            && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && framesBeforeAPiece(st->codecpar->codec_id))
            m_joins[s] = std::make_unique<JoinPreroll>(st, sharedAtCuts(st, layout.format));
    }
    const AVStream* ref = in->streams[layout.ref];
    if (containerFacts(layout.format).encoderDelayHidesFrames && borrowsFromFramesBefore(ref->codecpar->codec_id)
        && ref->codecpar->sample_rate > 0)
        m_preroll = std::make_unique<ReservoirPreroll>(ref);
}

std::optional<std::int64_t> PieceDistributor::timeOf(const AVPacket* packet) const
{
    const std::int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (t == AV_NOPTS_VALUE)
        return std::nullopt;
    return av_rescale_q(t, m_in->streams[packet->stream_index]->time_base, m_layout.refBase);
}

void PieceDistributor::planWhileReading(std::int64_t firstShown, const PieceLength& length)
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
    if (piece > 0 && m_preroll)
        preroll = m_preroll->take(span.prerollSamples);
    std::vector<std::deque<Packet>> before = framesBefore(piece, span);
    m_writer.open(span);
    for (Packet& packet : preroll)
        m_writer.write(std::move(packet));
    for (std::deque<Packet>& frames : before) {
        for (Packet& packet : frames)
            m_writer.write(std::move(packet));
    }
}

std::vector<std::deque<Packet>> PieceDistributor::framesBefore(int piece, PieceSpan& span)
{
    std::vector<std::deque<Packet>> before(m_joins.size());
    if (piece == 0 || m_only)
        return before;
    span.preSkip.assign(m_joins.size(), -1);
    for (std::size_t s = 0; s < m_joins.size(); ++s) {
        if (!m_joins[s])
            continue;
        const AVStream* st = m_in->streams[s];
        const AVCodecParameters* par = st->codecpar;
        const std::int64_t cut = av_rescale_q(span.start, m_layout.refBase, st->time_base);
        JoinPreroll::Start start = m_joins[s]->take(cut);
        if (!start.found)
            continue; // the stream starts in this piece, with the source's own start
        if (skipsSamplesAtStart(par->codec_id)) {
            // Decoded from before the cut, and skipped up to it; the frame that crosses it follows.
            span.preSkip[s] = start.samples;
        } else {
            // Decoded before the piece's first frame but not heard: the first frame a decoder is given gives no
            // sound of its own (Vorbis). It is shown at the piece's start, as no Matroska block may come before
            // it, and keeps its own decoding time, which orders it.
            for (Packet& frame : start.frames)
                frame->pts = cut;
        }
        before[s] = std::move(start.frames);
    }
    return before;
}

std::optional<int> PieceDistributor::placeOf(const AVPacket* packet) const
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    if (m_ownKeyframes[s]) {
        // Its pictures stay in a piece until its first keyframe shown at or after the next piece's start,
        // which starts that piece: each piece decodes from its own keyframe.
        if (!(packet->flags & AV_PKT_FLAG_KEY))
            return m_videoPiece[s];
        const AVStream* st = m_in->streams[packet->stream_index];
        const std::optional<int> piece = m_router.place(packet->pts != AV_NOPTS_VALUE
                ? std::optional(av_rescale_q(packet->pts, st->time_base, m_layout.refBase))
                : timeOf(packet));
        return piece ? std::optional(std::max(*piece, m_videoPiece[s])) : std::nullopt;
    }
    const std::optional<int> piece = m_router.place(timeOf(packet));
    // While reading decides the cuts, a subtitle event or an MP4 audio frame that lasts past a keyframe
    // that may become a cut waits, so that both pieces can share it if it does.
    const AVStream* st = m_in->streams[packet->stream_index];
    if (piece && m_cutter && sharedAtCuts(st, m_layout.format) && packet->pts != AV_NOPTS_VALUE) {
        const std::optional<KeyframeCutter::Cut> from = m_cutter->possibleCut();
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
    const int piece = m_router.reference(timeOf(packet.get()), pts);
    route(piece, std::move(packet));
}

void PieceDistributor::applyCuts(const std::vector<KeyframeCutter::Cut>& cuts)
{
    if (cuts.empty())
        return; // the plan changes only with a cut, but for its end
    for (const KeyframeCutter::Cut& cut : cuts) {
        m_router.addCut(cut.dts);
        m_plan.cutDts.push_back(cut.dts);
    }
    m_plan.pieces = m_cutter->pieces();
}

void PieceDistributor::releaseHeld()
{
    const std::optional<KeyframeCutter::Cut> from = m_cutter->possibleCut();
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
    if (dts && pts)
        applyCuts(m_cutter->picture(*pts, *dts, (packet->flags & AV_PKT_FLAG_KEY) != 0));
    m_heldBytes += packet->size;
    m_heldReference.push_back(std::move(packet));
    if (m_heldBytes > memoryCap) {
        // Too much waits: settle now, at the cost of a piece shorter than it might have been.
        applyCuts(m_cutter->settleNow());
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
    noteEnd(packet.get());
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

void PieceDistributor::noteEnd(const AVPacket* packet)
{
    const AVStream* st = m_in->streams[packet->stream_index];
    const AVMediaType type = st->codecpar->codec_type;
    if (m_layout.streams[static_cast<std::size_t>(packet->stream_index)].sparse || packet->pts == AV_NOPTS_VALUE
        || (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO))
        return;
    const std::int64_t end = av_rescale_q(packet->pts + packet->duration, st->time_base, m_layout.refBase);
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

Packet PieceDistributor::splitAtCut(int piece, AVPacket* packet) const
{
    const AVStream* st = m_in->streams[packet->stream_index];
    if (piece + 1 >= static_cast<int>(m_plan.pieces.size()) || !sharedAtCuts(st, m_layout.format))
        return {};
    return quorvane::splitter::splitAtCut(packet, st,
        av_rescale_q(m_plan.pieces[static_cast<std::size_t>(piece) + 1].start, m_layout.refBase, st->time_base),
        m_layout.format);
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

Packet PieceDistributor::frameBefore(int piece, const AVPacket* first)
{
    const auto s = static_cast<std::size_t>(first->stream_index);
    const Packet& last = m_lastFrame[s];
    if (!m_startsEarly[s] || piece <= 0 || m_earlyIn[s] >= piece || !last || last->pts == AV_NOPTS_VALUE
        || first->pts == AV_NOPTS_VALUE || last->duration <= 0 || last->pts + last->duration != first->pts)
        return {};
    m_earlyIn[s] = piece;
    Packet copy = newPacket();
    if (av_packet_ref(copy.get(), last.get()) < 0)
        throw std::bad_alloc();
    return copy;
}

void PieceDistributor::rememberFrame(const AVPacket* packet)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    if (!m_startsEarly[s])
        return;
    m_lastFrame[s] = newPacket();
    if (av_packet_ref(m_lastFrame[s].get(), packet) < 0)
        throw std::bad_alloc();
}

void PieceDistributor::writeNow(Packet packet)
{
    if (m_preroll && packet->stream_index == m_layout.ref)
        m_preroll->remember(packet.get());
    const auto s = static_cast<std::size_t>(packet->stream_index);
    if (const std::optional<bool> shows = showsPicture(m_in->streams[s]->codecpar->codec_id, packet.get())) {
        m_showing[s].reset();
        if (*shows) {
            m_showing[s] = newPacket();
            if (av_packet_ref(m_showing[s].get(), packet.get()) < 0)
                throw std::bad_alloc();
        }
    }
    if (Packet early = frameBefore(m_current, packet.get()))
        m_writer.write(std::move(early));
    if (m_joins[s])
        m_joins[s]->remember(packet.get());
    if (Packet rest = splitAtCut(m_current, packet.get())) {
        Packet early = frameBefore(m_current + 1, rest.get());
        queue(m_current + 1, std::move(rest));
        if (early)
            queue(m_current + 1, std::move(early)); // goes before the rest, as queue() puts it
    }
    rememberFrame(packet.get());
    m_writer.write(std::move(packet));
}

void PieceDistributor::route(int piece, Packet packet)
{
    const auto s = static_cast<std::size_t>(packet->stream_index);
    m_passed[s] = std::max(m_passed[s], piece);
    if (m_ownKeyframes[s])
        m_videoPiece[s] = std::max(m_videoPiece[s], piece);
    if (m_only) {
        // The second pass: this piece's packets, and the remainder of an event that began before it.
        Packet rest = splitAtCut(piece, packet.get());
        const AVPacket* first = piece == *m_only ? packet.get() : (piece + 1 == *m_only ? rest.get() : nullptr);
        if (Packet early = first ? frameBefore(*m_only, first) : Packet {})
            m_writer.write(std::move(early));
        rememberFrame(packet.get());
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
    } else if (piece < m_current && isTextSubtitle(m_in->streams[s]->codecpar)) {
        // Read after its piece was closed (only when memory ran short): the part that still shows in the
        // open piece goes there; an event over before it is left out, and counted.
        const AVStream* st = m_in->streams[s];
        if (keepWhatShowsFrom(packet.get(),
                av_rescale_q(
                    m_plan.pieces[static_cast<std::size_t>(m_current)].start, m_layout.refBase, st->time_base)))
            writeNow(std::move(packet));
        else
            ++m_lateLeftOut;
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
        if (slot.sparse && m_samples
            && m_received[s] < m_samples->samplesBefore(static_cast<int>(s), cut, m_layout.refBase))
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
    for (std::size_t s = 0; s < m_showing.size(); ++s) {
        if (!m_showing[s])
            continue;
        const AVStream* st = m_in->streams[s];
        writeNow(showAgainAt(m_showing[s].get(), st,
            av_rescale_q(m_plan.pieces[static_cast<std::size_t>(m_current)].start, m_layout.refBase, st->time_base)));
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
    if (m_cutter) {
        // The last piece lasts as long as its longest stream: sound that runs on past the pictures may need
        // one more cut.
        const std::int64_t shown = m_lastShown.value_or(m_plan.pieces.front().start);
        applyCuts(m_cutter->finish(std::max(shown, m_lastEnd.value_or(shown))));
        m_plan.pieces = m_cutter->pieces();
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
