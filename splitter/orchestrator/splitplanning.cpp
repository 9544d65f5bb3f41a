// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// Opening the input and planning its pieces.
#include "splitter/orchestrator/split.h"

#include "splitter/contract/naming.h"
#include "splitter/orchestrator/stretchplanner.h"
#include "splitter/plan/sizeplan.h"
#include "splitter/reading/scannedindex.h"
#include "splitter/writing/writertrial.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace quorvane::splitter {

void Split::open()
{
    // The tool's own index lets pieces leave their media bytes in the source, which needs a writer that hands
    // packets on as given.
    if (m_switches.copyPayload)
        m_index = Mp4Index::read(m_request.input);
    if (m_index && !mp4WriterWritesPacketsAsGiven()) {
        m_index.reset();
        m_writerRefused = true;
    }
    if (m_index) {
        // Enough samples of each track for libavformat to find the streams' parameters.
        const std::uint32_t probedSamples = m_switches.probedSamples > 0 ? m_switches.probedSamples : 4096;
        m_shortened = std::make_unique<ShortenedMoov>(
            m_request.input, m_index->moovAt(), m_index->moovSize(), m_index->shortMoov(probedSamples));
        try {
            if (m_shortened->io())
                m_input = openInput(m_request.input, m_shortened->io(), [this](AVFormatContext* in) {
                    const std::string demuxer = in->iformat->name;
                    return demuxer.find("mp4") != std::string::npos && m_index->bind(in);
                });
        } catch (const SplitError&) {
            m_input.reset(); // libavformat reads the whole file itself, and says what is wrong with it
        }
        if (!m_input) {
            m_index.reset();
            m_shortened.reset();
        }
    }
    if (!m_input)
        m_input = openInput(m_request.input);
}

void Split::plan()
{
    const bool measured = m_request.maxBytes > 0 || m_request.parts > 0;
    m_seconds = m_request.seconds;
    m_length.slack = std::max<std::int64_t>(0, (m_layout.refFrame + 1) / 2 - 1);
    const SampleIndex* samples = m_index.get();
    if (!samples)
        samples = (m_libraryIndex = libraryIndex(m_input.get(), m_request.input, m_layout.ref)).get();
    // Pieces of a size or parts of a count need every packet's place before the first piece is written.
    if (!samples
        && (measured
            || (canBeEncodedAgain(m_input->streams[m_layout.ref]->codecpar) && (m_request.exact || openGroups()))))
        samples = scanForPlanning();
    if (auto scan = samples ? scanIndex(m_input.get(), m_layout, *samples) : std::nullopt) {
        m_scan = std::move(*scan);
    } else {
        planWhileReading();
        return;
    }
    m_length.origin = std::max<std::int64_t>(m_scan.start, 0);
    if (m_request.parts > 0) // the whole file in equal shares, the last taking what rounding leaves
        m_seconds = static_cast<double>(m_scan.end - *m_length.origin) * av_q2d(m_layout.refBase) / m_request.parts;
    m_length.length
        = m_request.maxBytes > 0 ? INT64_MAX / 4 : lengthInTicks(m_seconds, m_layout.refBase.num, m_layout.refBase.den);
    if (m_request.parts > 0 && m_request.exact) // so that the rounding leaves the last part no tiny piece of its own
        m_length.length = (m_scan.end - *m_length.origin + m_request.parts - 1) / m_request.parts;
    StretchPlanner stretches(m_request.input, m_input->streams[m_layout.ref], m_layout, m_scan);
    PieceRule rule = pieceRule();
    if (m_request.exact && makeRecoder()) {
        rule = planExactCuts(stretches);
    } else {
        if (m_request.exact)
            warn(m_whyNotRecoded + "; this file is cut at keyframes");
        encodeLeadingPictures(stretches, rule);
    }
    stretches.passOverOpenKeyframes();
    // Each exact cut falls where asked, whatever the keyframes: those an open group keeps from starting a
    // piece shape nothing, and are not worth a line.
    if (m_request.exact && m_recoder)
        m_scan.keys.passedOver = 0;
    m_plan = planFromKeyframes(m_scan.keys, rule, m_scan.start);
    warnAboutPlan(m_plan, m_scan.keys.passedOver);
}

void Split::planWhileReading()
{
    // No full index to plan from (Matroska, TS, a fragmented MP4): plan while writing, reading the file
    // once. An MP4 piece's index then gets room from the streams' rates.
    if (m_request.maxBytes > 0)
        throw SplitError { NotMedia,
            "the file is damaged: its packets cannot be listed, so no piece can be measured "
            "by its size" };
    m_planWhileReading = true;
    const AVStream* ref = m_input->streams[m_layout.ref];
    m_scan.firstShown = ref->start_time != AV_NOPTS_VALUE ? ref->start_time : 0;
    m_scan.start = m_input->start_time != AV_NOPTS_VALUE
        ? std::min(m_scan.firstShown, av_rescale_q(m_input->start_time, AV_TIME_BASE_Q, m_layout.refBase))
        : m_scan.firstShown;
    m_plan.fileStart = m_scan.start;
    m_length.origin = std::max<std::int64_t>(m_scan.start, 0);
    const double duration = m_input->duration > 0 ? static_cast<double>(m_input->duration) / AV_TIME_BASE : 0.0;
    if (m_request.parts > 0) {
        if (duration <= 0)
            throw SplitError { NotMedia, "the file does not say how long it is, so it cannot be parted" };
        m_seconds = duration / m_request.parts;
    }
    m_length.length = lengthInTicks(m_seconds, m_layout.refBase.num, m_layout.refBase.den);
    if (m_request.exact)
        warn("exact lengths are made for H.264 and HEVC video only; this file is cut at keyframes");
    if (duration > 0 && m_seconds > 0)
        m_piecesExpected = static_cast<int>(std::min(1e6, std::ceil(duration / m_seconds - 1e-9)));
}

PieceRule Split::pieceRule()
{
    const std::int64_t from = m_scan.firstShown;
    const std::int64_t to = m_scan.end;
    if (m_request.parts > 0) {
        const int parts = m_request.parts;
        const std::int64_t origin = *m_length.origin;
        return [=](const std::vector<std::int64_t>& keys) { return planParts(keys, from, to, parts, origin); };
    }
    if (m_request.maxBytes > 0) {
        m_weigher = std::make_unique<PieceWeigher>(
            m_input.get(), m_layout, *m_scan.samples, m_allowance - m_switches.weighLess);
        const std::int64_t most = m_request.maxBytes;
        return [=, this](const std::vector<std::int64_t>& keys) {
            return planBySize(keys, from, to, most, std::ref(*m_weigher));
        };
    }
    return byLength(from, to, m_length);
}

bool Split::openGroups()
{
    const bool open = opensWithOpenGroups(m_input.get(), m_layout.ref);
    m_input = openInput(m_request.input);
    return open;
}

const SampleIndex* Split::scanForPlanning()
{
    // Every picture's times are needed before the first piece is written (exact pieces, or cuts at open
    // groups' keyframes): the file is read through once, counted as half the work, and opened again to split
    // it.
    const std::int64_t size = m_input->pb ? avio_size(m_input->pb) : 0;
    m_libraryIndex = scanSamples(m_input.get(), [&](std::int64_t read) { m_progress.update(read, 2 * size, 0, 0); });
    if (!m_libraryIndex)
        return nullptr;
    m_scannedBytes = size;
    m_input = openInput(m_request.input);
    return m_libraryIndex.get();
}

bool Split::makeRecoder()
{
    AVStream* ref = m_input->streams[m_layout.ref];
    std::string why = "exact lengths are made for H.264 and HEVC video only";
    if (canBeEncodedAgain(ref->codecpar))
        m_recoder = Recoder::make(ref, why);
    if (!m_recoder)
        m_whyNotRecoded = why;
    // Kept when no stretch comes to be encoded again after all, as the pieces have always declared it.
    else if (const Bytes* header = m_recoder->header())
        m_layout.streams[static_cast<std::size_t>(m_layout.ref)].declared.extradata = *header;
    return m_recoder != nullptr;
}

PieceRule Split::planExactCuts(StretchPlanner& stretches)
{
    const std::int64_t halfFrame = m_length.slack;
    std::vector<std::int64_t> cuts;
    if (m_request.maxBytes > 0)
        cuts = exactSizeCuts();
    else
        cuts = exactCutTimes(*m_length.origin, m_length.length, halfFrame, m_scan.end);
    stretches.planExactCuts(*m_recoder, cuts, halfFrame);
    m_recoder->onPicture([this] { showProgress(); });
    // A piece may run up to the first picture shown at or after its length.
    m_length.slack = std::max<std::int64_t>(m_length.slack, m_layout.refFrame - 1);
    if (m_request.maxBytes <= 0)
        return byLength(m_scan.firstShown, m_scan.end, m_length);
    const std::int64_t from = m_scan.firstShown;
    const std::int64_t to = m_scan.end;
    return [=](const std::vector<std::int64_t>& keys) { return planAtCuts(keys, from, to, cuts, halfFrame); };
}

std::vector<std::int64_t> Split::exactSizeCuts()
{
    // Any picture may end a piece. The piece after it starts with the pictures up to the next keyframe encoded
    // again, a keyframe first: counted at twice their bytes in the file and a keyframe's besides (they come to
    // less than twice in all, as a rule; a piece that comes out larger all the same is planned again).
    std::vector<std::int64_t> pictures;
    const AVStream* ref = m_input->streams[m_layout.ref];
    m_scan.samples->forEach(m_layout.ref, [&](const IndexedSample& sample) {
        if (!sample.discard)
            pictures.push_back(av_rescale_q(sample.pts, ref->time_base, m_layout.refBase));
    });
    std::sort(pictures.begin(), pictures.end());
    pictures.erase(std::unique(pictures.begin(), pictures.end()), pictures.end());
    const std::vector<std::int64_t>& keys = m_scan.keys.pts;
    const PieceWeigher& weigher = *m_weigher;
    const auto weight = [&](std::int64_t from, std::int64_t to) {
        std::int64_t w = weigher(from, to);
        const auto next = std::lower_bound(keys.begin(), keys.end(), from);
        if (next == keys.end() || *next != from) {
            const std::int64_t stretchEnd = next == keys.end() ? m_scan.end : std::min(*next, to);
            const std::int64_t keyframe
                = next == keys.begin() ? 0 : weigher.referenceBytes(*std::prev(next), *std::prev(next) + 1);
            w += weigher.referenceBytes(from, stretchEnd) + keyframe;
        }
        return w;
    };
    std::vector<std::int64_t> cuts;
    for (const PlannedPiece& piece : planBySize(pictures, m_scan.firstShown, m_scan.end, m_request.maxBytes, weight))
        if (piece.start != m_scan.firstShown)
            cuts.push_back(piece.start);
    return cuts;
}

void Split::encodeLeadingPictures(StretchPlanner& stretches, const PieceRule& rule)
{
    const std::vector<bool>& open = m_scan.keys.open;
    if (std::find(open.begin(), open.end(), true) == open.end() || !makeRecoder())
        return;
    if (stretches.encodeLeadingPictures(*m_recoder, rule, m_length.slack))
        m_recoder->onPicture([this] { showProgress(); });
    else
        m_recoder.reset();
}

void Split::warnAboutPlan(const SplitPlan& plan, int openKeyframes) const
{
    if (openKeyframes > 0)
        warn(std::to_string(openKeyframes)
            + " keyframes need pictures from before them (an open group of pictures) and are not used as cuts, "
              "so no piece starts with pictures it cannot show");
    const double tick = av_q2d(m_layout.refBase);
    if (m_request.parts > 0 && static_cast<int>(plan.pieces.size()) < m_request.parts)
        warn("the file has keyframes for only " + std::to_string(plan.pieces.size()) + " parts, not "
            + std::to_string(m_request.parts));
    for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
        if (!plan.pieces[p].longerThanAsked)
            continue;
        char text[200];
        const PlannedPiece& piece = plan.pieces[p];
        if (m_request.maxBytes > 0)
            std::snprintf(text, sizeof text,
                "piece %zu may come to %s, more than %s: no keyframe comes early enough to keep it within that", p + 1,
                byteSize((*m_weigher)(piece.start, piece.end)).c_str(), byteSize(m_request.maxBytes).c_str());
        else
            std::snprintf(text, sizeof text, "piece %zu is %.1f s long: no keyframe within %g s of its start", p + 1,
                static_cast<double>(piece.end - piece.start) * tick, m_seconds);
        warn(text);
    }
}

} // namespace quorvane::splitter
