// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// Writing the pieces: what each is opened with, the packets handed to them, and a piece written again.
#include "splitter/orchestrator/split.h"

#include "splitter/reading/indexroom.h"
#include "splitter/system/signalcleanup.h"

#include <algorithm>

namespace quorvane::splitter {

void Split::pass(Packet packet, Recoder* recoder, PieceDistributor& distributor)
{
    if (const auto s = static_cast<std::size_t>(packet->stream_index); s < m_packetsRead.size())
        ++m_packetsRead[s];
    if (const std::int64_t duration = indexDuration(m_scan, packet.get()))
        packet->duration = duration;
    if (recoder)
        recoder->take(std::move(packet), [&](Packet given) { distributor.take(std::move(given)); });
    else
        distributor.take(std::move(packet));
}

void Split::makeWriter()
{
    m_writer = std::make_unique<PieceWriter>(m_input.get(), m_layout, m_request.input, m_scan.firstShown, m_switches);
    m_writer->onNamed([this] { showProgress(); });
    if (m_switches.holdAt > 0) {
        m_writer->onOpened([this](int piece) {
            if (piece != m_switches.holdAt - 1)
                return;
            m_writer->complete(); // the piece before is whole while the tool holds
            holdUntilResumed(m_err);
        });
    }
    // With every sample in the index, the pieces' media bytes can stay in the file until the kernel copies
    // them.
    if (m_index)
        m_inPlace = std::make_unique<InPlaceReader>(m_request.input, *m_index, m_input.get());
    m_writer->copyPayload(m_inPlace && !m_planWhileReading && containerFacts(m_layout.format).mediaFromSource);
}

std::int64_t Split::indexReserve(int piece) const
{
    if (m_switches.moovReserve > 0)
        return m_switches.moovReserve;
    if (m_planWhileReading)
        return indexRoomFromRates(m_input.get(), m_layout, m_seconds);
    return indexRoomFromIndex(m_layout, *m_scan.samples, m_plan.pieces[static_cast<std::size_t>(piece)]);
}

PieceSpan Split::span(int piece, bool reserveIndex, const SplitPlan& plan) const
{
    const PlannedPiece& planned = plan.pieces[static_cast<std::size_t>(piece)];
    const bool reserve = reserveIndex && containerFacts(m_layout.format).indexInFront;
    // The first piece keeps its streams' places against each other: a file that starts late (a broadcast
    // capture) is moved to start at 0, one with priming samples before 0 is left as it is.
    const std::int64_t start = piece == 0 ? std::max<std::int64_t>(m_plan.fileStart, 0) : planned.start;
    const std::int64_t end = m_planWhileReading ? PieceSpan::unknownEnd : planned.end;
    return { piece, start, end, reserve ? indexReserve(piece) : 0 };
}

void Split::rewriteInSecondPass(int piece, const SplitPlan& plan)
{
    // The index outgrew its room: read the input again and write this piece with its index moved to the
    // front afterwards.
    ++m_secondPasses;
    InputContext input = openInput(m_request.input);
    const std::unique_ptr<Recoder> recoder = m_recoder ? m_recoder->again(input->streams[m_layout.ref]) : nullptr;
    PieceWriter writer(input.get(), m_layout, m_request.input, m_scan.firstShown);
    PieceDistributor distributor(
        input.get(), m_layout, plan, m_scan.samples, writer,
        [&](int p, const SplitPlan& known) { return span(p, false, known); }, [](int, const SplitPlan&) {});
    distributor.writeOnly(piece);
    distributor.begin(piece);
    Packet packet = newPacket();
    int read = 0;
    while (distributor.referencePiece() <= piece + 1 && (read = av_read_frame(input.get(), packet.get())) >= 0) {
        pass(std::move(packet), recoder.get(), distributor);
        packet = newPacket();
    }
    if (recoder && read == AVERROR_EOF)
        recoder->end([&](Packet given) { distributor.take(std::move(given)); });
    if (read < 0 && read != AVERROR_EOF)
        throw SplitError { CutShort, "the file could not be read again to write piece " + std::to_string(piece + 1) };
    distributor.end();
    writer.complete();
    showProgress();
}

} // namespace quorvane::splitter
