// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/orchestrator/splitter.h"

#include "splitter/contract/exitcodes.h"
#include "splitter/contract/naming.h"
#include "splitter/orchestrator/split.h"
#include "splitter/system/partfile.h"
#include "splitter/system/signalcleanup.h"
#include "splitter/system/systemfile.h"

#include <algorithm>

namespace quorvane::splitter {

int Split::run()
{
    try {
        open();
        m_layout = probeLayout(
            m_input.get(), m_request.input, [this](const std::string& text) { warn(text); },
            m_index ? m_index->declared() : std::vector<DeclaredHeader> {});
        m_packetsRead.assign(m_input->nb_streams, 0);
        plan();
        // Pieces an earlier, killed run left half-written here go first.
        PartFile::removeStaleParts(folderOf(m_request.input));
        makeWriter();
        PieceDistributor distributor(
            m_input.get(), m_layout, m_plan, m_scan.samples, *m_writer,
            [&](int p, const SplitPlan& plan) { return span(p, true, plan); },
            [&](int p, const SplitPlan& plan) { rewriteInSecondPass(p, plan); });
        if (m_planWhileReading)
            distributor.planWhileReading(m_scan.firstShown, m_length);
        distributor.begin(0);
        m_inputSize = m_input->pb ? avio_size(m_input->pb) : 0;
        Packet packet = newPacket();
        int read = 0;
        while ((read = m_inPlace ? m_inPlace->read(packet.get()) : av_read_frame(m_input.get(), packet.get())) >= 0) {
            pass(std::move(packet), m_recoder.get(), distributor);
            packet = newPacket();
            showProgress();
        }
        if (m_recoder && read == AVERROR_EOF)
            m_recoder->end([&](Packet given) { distributor.take(std::move(given)); });
        checkEveryTrackWasRead();
        distributor.end();
        m_writer->complete();
        if (m_planWhileReading)
            warnAboutPlan(distributor.plan(), distributor.openKeyframes());
        const int result = report(distributor, read);
        if (result == Success && (m_excess = excessOverSize(distributor.plan())) > 0)
            return result; // the caller splits the file again, with pieces planned smaller
        if (result == Success) {
            const std::vector<PlannedPiece>& pieces = distributor.plan().pieces;
            for (std::size_t p = 0; p < pieces.size(); ++p)
                m_progress.piece(static_cast<int>(p) + 1,
                    static_cast<double>(pieces[p].end - pieces[p].start) * av_q2d(m_layout.refBase));
            if (m_recoder)
                m_progress.recoded(m_recoder->cutsRecoded(), m_recoder->secondsRecoded());
            m_progress.complete(work().second, m_writer->piecesWritten() + m_secondPasses);
        }
        return result;
    } catch (const SplitError& error) {
        return fail(error);
    } catch (const std::bad_alloc&) {
        return fail({ Failed, "out of memory" });
    }
}

int Split::fail(const SplitError& error)
{
    // A piece finished before the failure is kept, unless it fails as well: then it failed first.
    try {
        if (m_writer)
            m_writer->abandon();
    } catch (const SplitError& earlier) {
        warn(earlier.message);
        return earlier.exitCode;
    } catch (const std::bad_alloc&) {
    }
    warn(error.message);
    return error.exitCode;
}

std::int64_t Split::excessOverSize(const SplitPlan& plan) const
{
    if (m_request.maxBytes <= 0)
        return 0;
    // The weights are bounds from the container's habits; a piece is held to the size on disk.
    std::int64_t excess = 0;
    for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
        const SystemFile piece = SystemFile::openForReading(pieceFileName(m_request.input, static_cast<int>(p) + 1));
        const std::int64_t size = piece.isOpen() ? piece.regularFileSize() : 0;
        if (!plan.pieces[p].longerThanAsked && size > m_request.maxBytes) {
            // What the weighing left out, which the next plan allows for in every piece.
            excess
                = std::max(excess, size - std::min((*m_weigher)(plan.pieces[p].start, plan.pieces[p].end), size - 1));
            if (m_allowance > 0)
                throw SplitError { Failed,
                    "piece " + std::to_string(p + 1) + " came to " + byteSize(size) + ", more than the "
                        + byteSize(m_request.maxBytes) + " asked, though it was planned smaller twice" };
        }
    }
    return excess;
}

void Split::checkEveryTrackWasRead()
{
    // A track the file lists that yields nothing (its timing table emptied, say) is damaged. Where it decides
    // the cuts, pieces would hold everything else or nothing: no piece is made.
    for (std::size_t s = 0; s < m_layout.streams.size(); ++s) {
        const AVStream* st = m_input->streams[s];
        const AVMediaType type = st->codecpar->codec_type;
        const StreamSlot& slot = m_layout.streams[s];
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || slot.output < 0 || slot.cover
            || m_packetsRead[s] > 0)
            continue;
        const std::string kind = av_get_media_type_string(type);
        if (static_cast<int>(s) == m_layout.ref)
            throw SplitError { NotMedia, "the file is damaged: its " + kind + " track has nothing that can be read" };
        warn("the file is damaged: its " + kind + " track (stream " + std::to_string(s)
            + ") has nothing that can be read, so the pieces have none of it");
    }
}

const char* Split::indexRead() const
{
    if (m_index)
        return "yes";
    if (m_writerRefused)
        return "no (this FFmpeg's MP4 writer was tried and did not hand packets on as given)";
    return "no";
}

int Split::report(const PieceDistributor& distributor, int readResult)
{
    const int written = m_writer->piecesWritten() + m_secondPasses;
    if (m_request.stats)
        std::fprintf(m_err,
            "%s: %d pieces written, %d moov reservations too small, media bytes copied by the kernel %lld, by "
            "reading %lld, never read into the tool %lld, written again from bytes read %d, index read by the tool "
            "%s\n",
            m_request.input.c_str(), written, m_secondPasses - m_writer->piecesSpoiled(),
            static_cast<long long>(m_writer->payloadCopied().inKernel),
            static_cast<long long>(m_writer->payloadCopied().byReading),
            static_cast<long long>(m_inPlace ? m_inPlace->bytesLeftUnread() : 0), m_writer->piecesSpoiled(),
            indexRead());
    if (m_recoder && m_request.stats)
        std::fprintf(m_err,
            "%s: %d cuts encoded again, %.2f s of video, at %.2f times its bytes in the file, luma PSNR %.2f dB "
            "overall and %.2f dB at the lowest\n",
            m_request.input.c_str(), m_recoder->cutsRecoded(), m_recoder->secondsRecoded(), m_recoder->bitrateRatio(),
            m_recoder->quality().overall(), m_recoder->quality().lowest());
    if (m_recoder && !m_request.exact && m_recoder->cutsRecoded() > 0) {
        char text[200];
        std::snprintf(text, sizeof text,
            "%d cuts are at keyframes of open groups of pictures: the pictures shown just before each (%.2f s of "
            "video in all) were encoded again, so that every player shows them",
            m_recoder->cutsRecoded(), m_recoder->secondsRecoded());
        warn(text);
    }
    if (const int late = distributor.lateEventsLeftOut())
        warn(std::to_string(late) + " subtitle events stored too far from their time in the file were left out");
    if (const int mended = m_writer->timestampsMended())
        warn("the timestamps of " + std::to_string(mended)
            + " packets went backwards or were missing and were mended in the pieces");
    const bool cutShort = (readResult < 0 && readResult != AVERROR_EOF)
        || (m_scan.referencePackets >= 0 && distributor.referencePackets() < m_scan.referencePackets)
        || distributor.currentPiece() + 1 < static_cast<int>(distributor.plan().pieces.size());
    if (!cutShort)
        return Success;
    const std::optional<std::int64_t> last = distributor.lastShown();
    const double end = last ? static_cast<double>(*last - m_plan.fileStart) * av_q2d(m_layout.refBase) : 0.0;
    warn("the file ends early, at " + clockTime(end) + "; the pieces up to "
        + pieceFileName(baseName(m_request.input), written) + " hold what could be read");
    return CutShort;
}

void Split::showProgress()
{
    if (!m_progress.wanted())
        return;
    const int planned = m_planWhileReading ? m_piecesExpected : static_cast<int>(m_plan.pieces.size());
    const auto [position, total] = work();
    m_progress.update(position, total, m_writer->piecesWritten() + m_secondPasses, planned);
}

std::pair<std::int64_t, std::int64_t> Split::work() const
{
    std::int64_t position = m_scannedBytes + (m_inPlace ? m_inPlace->position() : avio_tell(m_input->pb));
    std::int64_t total = m_scannedBytes + m_inputSize;
    if (m_recoder && m_inputSize > 0) {
        // A picture encoded again takes about as long as copying five bytes a pixel does.
        const AVCodecParameters* par = m_input->streams[m_layout.ref]->codecpar;
        const std::int64_t weight = 5LL * par->width * par->height;
        position += weight * m_recoder->picturesEncoded();
        total += weight * m_recoder->picturesToEncode();
    }
    return { position, total };
}

int splitFile(const SplitRequest& request, const TestSwitches& switches, std::FILE* err)
{
    installSignalCleanup();
    // Our own one line says what failed; FFmpeg's messages would only confuse it.
    av_log_set_level(AV_LOG_QUIET);
    // Pieces of at most a size are planned from bounds of what the container adds; where one came out larger
    // all the same, the file is split again with that much more allowed for in every piece. What the first
    // split said is then not worth saying.
    std::FILE* said = request.maxBytes > 0 ? std::tmpfile() : nullptr;
    Split split(request, switches, said ? said : err);
    int result = split.run();
    if (said) {
        std::rewind(said);
        char text[4096];
        for (std::size_t n; split.excess() == 0 && (n = std::fread(text, 1, sizeof text, said)) > 0;)
            std::fwrite(text, 1, n, err);
        std::fclose(said);
    }
    if (split.excess() > 0) {
        Split again(request, switches, err, split.excess() + 4096);
        result = again.run();
    }
    return result;
}

} // namespace quorvane::splitter
