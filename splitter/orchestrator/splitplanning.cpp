// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// Opening the input and planning its pieces.
#include "splitter/orchestrator/split.h"

#include "splitter/orchestrator/stretchplanner.h"
#include "splitter/reading/scannedindex.h"
#include "splitter/writing/writertrial.h"

#include <algorithm>
#include <cmath>

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
    m_length.length = lengthInTicks(m_request.seconds, m_layout.refBase.num, m_layout.refBase.den);
    m_length.slack = std::max<std::int64_t>(0, (m_layout.refFrame + 1) / 2 - 1);
    const SampleIndex* samples = m_index.get();
    if (!samples)
        samples = (m_libraryIndex = libraryIndex(m_input.get(), m_request.input, m_layout.ref)).get();
    if (!samples && canBeEncodedAgain(m_input->streams[m_layout.ref]->codecpar) && (m_request.exact || openGroups()))
        samples = scanForPlanning();
    if (auto scan = samples ? scanIndex(m_input.get(), m_layout, *samples) : std::nullopt) {
        m_scan = std::move(*scan);
    } else {
        // No full index to plan from (Matroska, TS, a fragmented MP4): plan while writing, reading the file
        // once. An MP4 piece's index then gets room from the streams' rates.
        m_planWhileReading = true;
        const AVStream* ref = m_input->streams[m_layout.ref];
        m_scan.firstShown = ref->start_time != AV_NOPTS_VALUE ? ref->start_time : 0;
        m_scan.start = m_input->start_time != AV_NOPTS_VALUE
            ? std::min(m_scan.firstShown, av_rescale_q(m_input->start_time, AV_TIME_BASE_Q, m_layout.refBase))
            : m_scan.firstShown;
        m_plan.fileStart = m_scan.start;
        m_length.origin = std::max<std::int64_t>(m_scan.start, 0);
        if (m_request.exact)
            warn("exact lengths are made for H.264 and HEVC video only; this file is cut at keyframes");
        if (m_input->duration > 0 && m_request.seconds > 0)
            m_piecesExpected = static_cast<int>(std::min(
                1e6, std::ceil(static_cast<double>(m_input->duration) / AV_TIME_BASE / m_request.seconds - 1e-9)));
        return;
    }
    m_length.origin = std::max<std::int64_t>(m_scan.start, 0);
    StretchPlanner stretches(m_request.input, m_input->streams[m_layout.ref], m_layout, m_scan);
    if (m_request.exact)
        planExactCuts(stretches);
    else
        encodeLeadingPictures(stretches);
    stretches.passOverOpenKeyframes();
    // Each exact cut falls where asked, whatever the keyframes: those an open group keeps from starting a
    // piece shape nothing, and are not worth a line.
    if (m_request.exact && m_recoder)
        m_scan.keys.passedOver = 0;
    m_plan = planFromKeyframes(m_scan.keys, m_scan.firstShown, m_scan.end, m_length, m_scan.start);
    warnAboutPlan(m_plan, m_scan.keys.passedOver);
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

void Split::planExactCuts(StretchPlanner& stretches)
{
    if (!makeRecoder()) {
        warn(m_whyNotRecoded + "; this file is cut at keyframes");
        return;
    }
    stretches.planExactCuts(*m_recoder, m_length);
    m_recoder->onPicture([this] { showProgress(); });
    m_length.slack = std::max<std::int64_t>(m_length.slack, m_layout.refFrame - 1);
}

void Split::encodeLeadingPictures(StretchPlanner& stretches)
{
    const std::vector<bool>& open = m_scan.keys.open;
    if (std::find(open.begin(), open.end(), true) == open.end() || !makeRecoder())
        return;
    if (stretches.encodeLeadingPictures(*m_recoder, m_length))
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
    for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
        if (!plan.pieces[p].longerThanAsked)
            continue;
        char text[160];
        std::snprintf(text, sizeof text, "piece %zu is %.1f s long: no keyframe within %g s of its start", p + 1,
            static_cast<double>(plan.pieces[p].end - plan.pieces[p].start) * tick, m_request.seconds);
        warn(text);
    }
}

} // namespace quorvane::splitter
