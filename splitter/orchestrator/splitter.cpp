// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/orchestrator/splitter.h"

#include "splitter/bitstream/avcrestart.h"
#include "splitter/contract/exitcodes.h"
#include "splitter/contract/naming.h"
#include "splitter/contract/progressreport.h"
#include "splitter/media/codecpolicy.h"
#include "splitter/media/spliterror.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/exactcuts.h"
#include "splitter/reading/indexroom.h"
#include "splitter/reading/inplacereader.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/keyframescan.h"
#include "splitter/reading/mp4index.h"
#include "splitter/reading/scannedindex.h"
#include "splitter/reading/shortenedmoov.h"
#include "splitter/recoding/recoder.h"
#include "splitter/routing/piecedistributor.h"
#include "splitter/system/partfile.h"
#include "splitter/system/signalcleanup.h"
#include "splitter/system/systemfile.h"
#include "splitter/writing/piecewriter.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quorvane::splitter {

namespace {

class Split {
public:
    Split(const SplitRequest& request, const TestSwitches& switches, std::FILE* err)
        : m_request(request)
        , m_switches(switches)
        , m_err(err)
    {
    }

    int run();

private:
    void warn(const std::string& text) const { std::fprintf(m_err, "%s: %s\n", m_request.input.c_str(), text.c_str()); }
    void open();
    void plan();
    // An index of every sample made by reading the file through, for a file without one.
    const SampleIndex* scanForPlanning();
    // Whether the file's first groups of pictures are open, from reading its start (it is opened again).
    bool openGroups();
    // The stretches encoded again for pieces that start at `cuts`, from the index.
    ExactCuts planStretches(const std::vector<std::int64_t>& cuts);
    void applyStretches(ExactCuts cuts);
    bool makeRecoder();
    void planExactCuts();
    void encodeLeadingPictures();
    // Open groups' keyframes whose leading pictures are not encoded again start no piece.
    void passOverOpenKeyframes();
    // Hands a packet read to the pieces, through the stretches encoded again for exact pieces.
    void pass(Packet packet, Recoder* recoder, PieceDistributor& distributor);
    void warnAboutPlan(const SplitPlan& plan, int openKeyframes) const;
    void makeWriter();
    PieceSpan span(int piece, bool reserveIndex, const SplitPlan& plan) const;
    std::int64_t indexReserve(int piece) const;
    void rewriteInSecondPass(int piece, const SplitPlan& plan);
    int report(const PieceDistributor& distributor, int readResult);
    int fail(const SplitError& error);
    void showProgress();
    // How far the split has come, and how far it goes: the file's bytes, and the pictures encoded again.
    std::pair<std::int64_t, std::int64_t> work() const;

    const SplitRequest& m_request;
    const TestSwitches& m_switches;
    std::FILE* m_err;
    // An MP4 file's own index, from which its packets are read with their media bytes left in place; the
    // file as libavformat reads it then has its sample tables cut short.
    std::unique_ptr<Mp4Index> m_index;
    std::unique_ptr<ShortenedMoov> m_shortened; // before the input, which reads through it
    InputContext m_input;
    std::unique_ptr<SampleIndex>
        m_libraryIndex; // libavformat's, or one made by reading the file, where there is no index of our own
    std::unique_ptr<InPlaceReader> m_inPlace;
    std::unique_ptr<Recoder> m_recoder; // for exact pieces, and open groups' leading pictures at cuts
    std::string m_whyNotRecoded;
    MediaLayout m_layout;
    KeyframeScan m_scan;
    SplitPlan m_plan;
    std::unique_ptr<PieceWriter> m_writer;
    bool m_planWhileReading = false;
    PieceLength m_length;
    int m_secondPasses = 0;
    ProgressReport m_progress { m_request.progress };
    std::int64_t m_inputSize = 0;
    std::int64_t m_scannedBytes = 0; // read once before splitting, to plan exact pieces
    int m_piecesExpected = 0; // for a plan made while reading, from the file's duration
};

void Split::open()
{
    // What the MP4 writer does with a packet left unread was checked for this version only.
    if (m_switches.copyPayload && AV_VERSION_MAJOR(avformat_version()) == 59)
        m_index = Mp4Index::read(m_request.input);
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
    if (m_request.exact)
        planExactCuts();
    else
        encodeLeadingPictures();
    passOverOpenKeyframes();
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

ExactCuts Split::planStretches(const std::vector<std::int64_t>& cuts)
{
    AVStream* ref = m_input->streams[m_layout.ref];
    std::vector<std::int64_t> pts;
    std::vector<std::int64_t> dts;
    std::vector<bool> key;
    std::map<std::size_t, IndexedSample> keySamples; // by decoding index
    m_scan.samples->forEach(m_layout.ref, [&](const IndexedSample& sample) {
        if (sample.key)
            keySamples.emplace(pts.size(), sample);
        pts.push_back(sample.pts);
        dts.push_back(sample.dts);
        key.push_back(sample.key);
    });
    // After pictures encoded again an HEVC keyframe starts over at the end of sequence between them; an
    // H.264 one if it is an IDR picture or its slice headers can make it one (AvcRestart).
    const SystemFile file = SystemFile::openForReading(m_request.input);
    const auto header = codecHeaderOf(m_layout, ref);
    AvcRestart pictures(header.data(), static_cast<int>(header.size()));
    const auto followsNewPictures = [&](std::size_t index) {
        if (ref->codecpar->codec_id != AV_CODEC_ID_H264)
            return true;
        const auto found = keySamples.find(index);
        if (found == keySamples.end())
            return false;
        const IndexedSample& sample = found->second;
        if (sample.afresh || sample.pos < 0)
            return sample.afresh.value_or(false);
        std::vector<std::uint8_t> head(static_cast<std::size_t>(std::clamp<std::int64_t>(sample.size, 0, 1 << 16)));
        return file.read(head.data(), static_cast<std::int64_t>(head.size()), sample.pos) >= 0
            && pictures.canStartAfresh(head.data(), head.size()).value_or(false);
    };
    return quorvane::splitter::planExactCuts(pts, dts, key, cuts, m_length.slack, followsNewPictures);
}

void Split::applyStretches(ExactCuts cuts)
{
    m_recoder->setStretches(std::move(cuts.stretches));
    m_recoder->onPicture([this] { showProgress(); });
    // The new keyframes start pieces; a piece may run up to the first picture shown at or after its length.
    StartingKeyframes& keys = m_scan.keys;
    for (std::size_t k = 0; k < cuts.keyPts.size(); ++k) {
        const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cuts.keyPts[k]) - keys.pts.begin();
        keys.pts.insert(keys.pts.begin() + at, cuts.keyPts[k]);
        keys.dts.insert(keys.dts.begin() + at, cuts.keyDts[k]);
        keys.open.insert(keys.open.begin() + at, false);
    }
    // Open groups' keyframes whose leading pictures are encoded again start pieces as closed ones do.
    for (std::size_t k = 0; k < cuts.cleanedPts.size(); ++k) {
        const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cuts.cleanedPts[k]) - keys.pts.begin();
        if (const auto i = static_cast<std::size_t>(at); i < keys.pts.size() && keys.pts[i] == cuts.cleanedPts[k]) {
            keys.dts[i] = cuts.cleanedDts[k];
            keys.open[i] = false;
            continue;
        }
        keys.pts.insert(keys.pts.begin() + at, cuts.cleanedPts[k]);
        keys.dts.insert(keys.dts.begin() + at, cuts.cleanedDts[k]);
        keys.open.insert(keys.open.begin() + at, false);
    }
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

void Split::planExactCuts()
{
    if (!makeRecoder()) {
        warn(m_whyNotRecoded + "; this file is cut at keyframes");
        return;
    }
    applyStretches(planStretches(exactCutTimes(*m_length.origin, m_length.length, m_length.slack, m_scan.end)));
    m_length.slack = std::max<std::int64_t>(m_length.slack, m_layout.refFrame - 1);
}

void Split::encodeLeadingPictures()
{
    // An open group's keyframe starts a piece once the pictures shown before it but decoded after it (which
    // need the group before) are encoded again: no player then has to hide a picture at the end of the piece
    // before, nor show pictures decoded from the wrong ones at the start of the next.
    StartingKeyframes& keys = m_scan.keys;
    if (std::find(keys.open.begin(), keys.open.end(), true) == keys.open.end() || !makeRecoder())
        return;
    for (;;) {
        const SplitPlan plan = planFromKeyframes(keys, m_scan.firstShown, m_scan.end, m_length, m_scan.start);
        std::vector<std::int64_t> cuts;
        for (std::size_t p = 1; p < plan.pieces.size(); ++p) {
            const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), plan.pieces[p].start);
            if (at != keys.pts.end() && *at == plan.pieces[p].start
                && keys.open[static_cast<std::size_t>(at - keys.pts.begin())])
                cuts.push_back(plan.pieces[p].start);
        }
        if (cuts.empty()) {
            m_recoder.reset();
            return;
        }
        ExactCuts made = planStretches(cuts);
        // A keyframe whose leading pictures cannot be encoded again (its groups are tangled) is no cut.
        bool all = true;
        for (const std::int64_t cut : cuts) {
            if (std::find(made.cleanedPts.begin(), made.cleanedPts.end(), cut) != made.cleanedPts.end())
                continue;
            const auto at = std::lower_bound(keys.pts.begin(), keys.pts.end(), cut) - keys.pts.begin();
            keys.pts.erase(keys.pts.begin() + at);
            keys.dts.erase(keys.dts.begin() + at);
            keys.open.erase(keys.open.begin() + at);
            ++keys.passedOver;
            all = false;
        }
        if (all) {
            applyStretches(std::move(made));
            return;
        }
    }
}

void Split::passOverOpenKeyframes()
{
    StartingKeyframes& keys = m_scan.keys;
    for (std::size_t k = keys.pts.size(); k-- > 1;) {
        if (!keys.open[k])
            continue;
        keys.pts.erase(keys.pts.begin() + static_cast<std::ptrdiff_t>(k));
        keys.dts.erase(keys.dts.begin() + static_cast<std::ptrdiff_t>(k));
        keys.open.erase(keys.open.begin() + static_cast<std::ptrdiff_t>(k));
        ++keys.passedOver;
    }
}

void Split::pass(Packet packet, Recoder* recoder, PieceDistributor& distributor)
{
    if (const std::int64_t duration = indexDuration(m_scan, packet.get()))
        packet->duration = duration;
    if (recoder)
        recoder->take(std::move(packet), [&](Packet given) { distributor.take(std::move(given)); });
    else
        distributor.take(std::move(packet));
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

std::int64_t Split::indexReserve(int piece) const
{
    if (m_switches.moovReserve > 0)
        return m_switches.moovReserve;
    if (m_planWhileReading)
        return indexRoomFromRates(m_input.get(), m_layout, m_request.seconds);
    return indexRoomFromIndex(m_layout, *m_scan.samples, m_plan.pieces[static_cast<std::size_t>(piece)]);
}

PieceSpan Split::span(int piece, bool reserveIndex, const SplitPlan& plan) const
{
    const PlannedPiece& planned = plan.pieces[static_cast<std::size_t>(piece)];
    const bool reserve = reserveIndex && isMovFamily(m_layout.format);
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
            m_index ? "yes" : "no");
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
    m_writer->copyPayload(m_inPlace && !m_planWhileReading && isMovFamily(m_layout.format));
}

int Split::run()
{
    try {
        open();
        m_layout = probeLayout(
            m_input.get(), m_request.input, [this](const std::string& text) { warn(text); },
            m_index ? m_index->declared() : std::vector<DeclaredHeader> {});
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
        distributor.end();
        m_writer->complete();
        if (m_planWhileReading)
            warnAboutPlan(distributor.plan(), distributor.openKeyframes());
        const int result = report(distributor, read);
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

} // namespace

int splitFile(const SplitRequest& request, const TestSwitches& switches, std::FILE* err)
{
    installSignalCleanup();
    // Our own one line says what failed; FFmpeg's messages would only confuse it.
    av_log_set_level(AV_LOG_QUIET);
    Split split(request, switches, err);
    return split.run();
}

} // namespace quorvane::splitter
