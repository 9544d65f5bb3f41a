// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splitter/bitstream/avcrestart.h"
#include "splitter/bitstream/avcslices.h"
#include "splitter/bitstream/avcsps.h"
#include "splitter/bitstream/hevcrestart.h"
#include "splitter/bitstream/nalbits.h"
#include "splitter/bitstream/nalunits.h"
#include "splitter/bitstream/parametersets.h"
#include "splitter/contract/commandline.h"
#include "splitter/contract/naming.h"
#include "splitter/plan/cutplan.h"
#include "splitter/plan/exactcuts.h"
#include "splitter/plan/keyframecutter.h"
#include "splitter/plan/packetrouter.h"
#include "splitter/plan/sizeplan.h"
#include "splitter/plan/timestampmender.h"
#include "splitter/reading/compositionoffsets.h"
#include "splitter/reading/indexroom.h"
#include "splitter/reading/inplacereader.h"
#include "splitter/reading/inputprobe.h"
#include "splitter/reading/mp4index.h"
#include "splitter/reading/mp4tables.h"
#include "splitter/reading/shortenedmoov.h"
#include "splitter/recoding/ratesearch.h"
#include "splitter/routing/readingplanner.h"

#include "mp4builder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>

Q_DECLARE_METATYPE(quorvane::test::Mp4Tables)

using namespace quorvane::splitter;

namespace {

std::vector<std::int64_t> every(std::int64_t step, std::int64_t from, std::int64_t to)
{
    std::vector<std::int64_t> times;
    for (std::int64_t t = from; t < to; t += step)
        times.push_back(t);
    return times;
}

// An H.264 slice for the SPS and PPS of handSets() (frame numbers of 4 bits, order counts of 6): an I or P
// slice, with list 0's reordering commands and the marking commands (op, number, index) given. Its data after
// the header: for CABAC whole bytes that need emulation prevention, for CAVLC 12 bits before the stop bit.
struct HandSlice {
    bool idr = false;
    unsigned refIdc = 3;
    bool p = false;
    unsigned frameNum = 0;
    unsigned pocLsb = 0;
    AvcReordering reorder;
    std::vector<AvcMmco> mmco;
};
const Bytes cabacData { 0x9c, 0, 0, 1, 0x80 };
constexpr unsigned cavlcData = 0x5a3;

Bytes handSlice(const HandSlice& s, bool cabac, unsigned pocType)
{
    BitWriter w;
    w.u(s.refIdc << 5 | (s.idr ? 5u : 1u), 8);
    w.ue(0); // first macroblock
    w.ue(s.p ? 5 : 7);
    w.ue(0); // PPS
    w.u(s.frameNum, 4);
    if (s.idr)
        w.ue(0);
    if (pocType == 0)
        w.u(s.pocLsb, 6);
    if (s.p) {
        w.u(0, 1); // the PPS's reference count
        w.u(s.reorder.empty() ? 0 : 1, 1);
        for (const auto& [idc, number] : s.reorder) {
            w.ue(idc);
            w.ue(number);
        }
        if (!s.reorder.empty())
            w.ue(3);
    }
    if (s.refIdc != 0 && s.idr) {
        w.u(0, 2);
    } else if (s.refIdc != 0) {
        w.u(s.mmco.empty() ? 0 : 1, 1);
        for (const AvcMmco& m : s.mmco) {
            w.ue(m.op);
            if (m.op >= 1 && m.op <= 4)
                w.ue(m.a);
            if (m.op == 3 || m.op == 6)
                w.ue(m.b);
        }
        if (!s.mmco.empty())
            w.ue(0);
    }
    if (cabac && s.p)
        w.ue(0); // initialisation
    w.se(-2); // quantiser
    w.ue(0); // deblocking, with its offsets
    w.se(-1);
    w.se(2);
    if (cabac) {
        while (w.bits() % 8 != 0)
            w.u(1, 1);
        for (const std::uint8_t b : cabacData)
            w.u(b, 8);
    } else {
        w.u(cavlcData, 12);
        w.stop();
    }
    return escape(w.take());
}

// An SPS (order count of `pocType`, two references) and a PPS, CABAC or not.
std::array<Bytes, 2> handSets(bool cabac, unsigned pocType)
{
    AvcSps sps;
    sps.profile = 77;
    sps.level = 30;
    sps.pocType = pocType;
    sps.log2MaxPocLsb = 6;
    sps.maxRefFrames = 2;
    sps.widthInMbsMinus1 = 3;
    sps.heightInMapUnitsMinus1 = 2;
    BitWriter pps;
    pps.u(0x68, 8);
    pps.ue(0); // its number, its SPS's
    pps.ue(0);
    pps.u(cabac ? 1 : 0, 1);
    pps.u(0, 1);
    pps.ue(0); // slice groups, references
    pps.ue(0);
    pps.ue(0);
    pps.u(0, 3); // weighted prediction
    pps.se(0); // quantisers
    pps.se(0);
    pps.se(0);
    pps.u(1, 1); // deblocking control
    pps.u(0, 2);
    pps.stop();
    return { writeAvcSps(sps), escape(pps.take()) };
}

// "0-4 4-8 8!-20": each piece as start-end, "!" marking one longer than asked.
QString describe(const std::vector<PlannedPiece>& pieces)
{
    QStringList parts;
    for (const auto& p : pieces)
        parts << QStringLiteral("%1%2-%3").arg(p.start).arg(p.longerThanAsked ? "!" : "").arg(p.end);
    return parts.join(QLatin1Char(' '));
}

// Five pictures in chunks of 2, 2 and 1 samples, keyframes the first and fourth, one every 40 ticks of 1000,
// each shown 80 after it is decoded but the second (120) and third (40).
quorvane::test::Mp4Tables fivePictures()
{
    quorvane::test::Mp4Tables t;
    t.stts = { { 5, 40 } };
    t.ctts = { { 1, 80 }, { 1, 120 }, { 1, 40 }, { 2, 80 } };
    t.stss = { 1, 4 };
    t.stsc = { 2, 2, 1 };
    t.sizes = { 100, 20, 30, 90, 10 };
    t.chunks = { 0, 200, 400 };
    return t;
}

// An MP4 file opened as the tool opens one with its own index: libavformat reads it with the tables cut after
// `keep` samples, and the index stands in for libavformat's.
struct IndexedInput {
    std::unique_ptr<Mp4Index> index;
    mp4::Bytes shortMoov;
    std::unique_ptr<ShortenedMoov> shortened;
    InputContext input;
    bool bound = false;
};

IndexedInput openIndexed(const std::string& path, std::uint32_t keep)
{
    av_log_set_level(AV_LOG_FATAL); // libavformat's complaints about the made-up pictures
    IndexedInput opened;
    opened.index = Mp4Index::read(path);
    if (!opened.index)
        return opened;
    opened.shortMoov = opened.index->shortMoov(keep);
    opened.shortened
        = std::make_unique<ShortenedMoov>(path, opened.index->moovAt(), opened.index->moovSize(), opened.shortMoov);
    opened.input = openInput(path, opened.shortened->io(), [&](AVFormatContext* in) {
        opened.bound = opened.index->bind(in);
        return true;
    });
    return opened;
}

} // namespace

class TestCutPlan : public QObject {
    Q_OBJECT

private slots:
    void plan_data()
    {
        QTest::addColumn<std::vector<std::int64_t>>("keyframes");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("pieces");
        QTest::addColumn<qint64>("slack");
        QTest::addColumn<qint64>("origin"); // -1: none
        // Keyframes every 2: a length of 5 never gives 6, and the rest that fits is the last piece.
        QTest::newRow("keyframes every 2, length 5")
            << every(2, 0, 30) << qint64(30) << qint64(5) << "0-4 4-8 8-12 12-16 16-20 20-24 24-28 28-30" << qint64(0)
            << qint64(-1);
        QTest::newRow("rest fits: no tiny trailing piece")
            << every(2, 0, 11) << qint64(11) << qint64(5) << "0-4 4-8 8-11" << qint64(0) << qint64(-1);
        QTest::newRow("length a multiple of the spacing")
            << every(2, 0, 30) << qint64(30) << qint64(10) << "0-10 10-20 20-30" << qint64(0) << qint64(-1);
        QTest::newRow("whole file fits") << every(2, 0, 30) << qint64(30) << qint64(30) << "0-30" << qint64(0)
                                         << qint64(-1);
        QTest::newRow("length longer than the file")
            << every(2, 0, 30) << qint64(30) << qint64(600) << "0-30" << qint64(0) << qint64(-1);
        // Groups of pictures longer than the length: cut at the next keyframe, flagged.
        QTest::newRow("keyframes every 10, length 5")
            << every(10, 0, 30) << qint64(30) << qint64(5) << "0!-10 10!-20 20!-30" << qint64(0) << qint64(-1);
        QTest::newRow("one keyframe only")
            << std::vector<std::int64_t> { 0 } << qint64(30) << qint64(5) << "0!-30" << qint64(0) << qint64(-1);
        QTest::newRow("long group in the middle") << std::vector<std::int64_t> { 0, 2, 4, 16, 18, 20 } << qint64(22)
                                                  << qint64(5) << "0-4 4!-16 16-20 20-22" << qint64(0) << qint64(-1);
        // Audio: every packet is a sync sample.
        QTest::newRow("dense packets") << every(1024, 0, 441000) << qint64(441000) << qint64(220500)
                                       << "0-220160 220160-440320 440320-441000" << qint64(0) << qint64(-1);
        // Under half a frame over the length counts as the length; the cuts keep to k lengths, a frame at most
        // away, rather than drifting by a little at every cut.
        QTest::newRow("frames every 10, length 19: cuts near 19k")
            << every(10, 0, 200) << qint64(200) << qint64(19)
            << "0-20 20-40 40-60 60-80 80-90 90-110 110-130 130-150 150-170 170-190 190-200" << qint64(4) << qint64(-1);
        // Sound recorded before the pictures: the first piece is measured from where the sound starts.
        QTest::newRow("audio leading the pictures") << every(200, 52, 1252) << qint64(1252) << qint64(400)
                                                    << "52-252 252-652 652-1052 1052-1252" << qint64(0) << qint64(0);
        QTest::newRow("file not starting at zero")
            << every(2, 7, 37) << qint64(37) << qint64(10) << "7-17 17-27 27-37" << qint64(0) << qint64(-1);
    }
    void plan()
    {
        QFETCH(std::vector<std::int64_t>, keyframes);
        QFETCH(qint64, end);
        QFETCH(qint64, length);
        QFETCH(QString, pieces);
        QFETCH(qint64, slack);
        QFETCH(qint64, origin);
        const std::int64_t start = keyframes.empty() ? 0 : keyframes.front();
        const PieceLength rule { length, slack, origin >= 0 ? std::optional<std::int64_t>(origin) : std::nullopt };
        const auto planned = planPieces(keyframes, start, end, rule);
        QCOMPARE(describe(planned), pieces);
        // Pieces tile the file exactly.
        QCOMPARE(planned.front().start, start);
        QCOMPARE(planned.back().end, end);
        for (std::size_t i = 1; i < planned.size(); ++i)
            QCOMPARE(planned[i].start, planned[i - 1].end);
    }

    // Pieces of at most a size, over packets of one tick each, a keyframe's of 20 bytes and the others' of 2,
    // a piece's headers 10 bytes: groups of 10 ticks weigh 38 bytes. Parts of a count, at the keyframes
    // nearest their shares. Pieces starting at exact cuts, at the keyframes made there.
    void bySizeAndCount_data()
    {
        QTest::addColumn<std::vector<std::int64_t>>("keyframes");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QString>("rule"); // "size N", "parts N" or "cuts a b c"
        QTest::addColumn<QString>("pieces");
        QTest::newRow("two groups fit") << every(10, 0, 60) << qint64(60) << "size 86"
                                        << "0-20 20-40 40-60";
        QTest::newRow("a byte short of two groups") << every(10, 0, 60) << qint64(60) << "size 85"
                                                    << "0-10 10-20 20-30 30-40 40-50 50-60";
        QTest::newRow("a group alone too large: each as small as the keyframes allow")
            << every(10, 0, 30) << qint64(30) << "size 40"
            << "0!-10 10!-20 20!-30";
        QTest::newRow("the rest fits") << every(10, 0, 55) << qint64(55) << "size 90"
                                       << "0-20 20-40 40-55";
        QTest::newRow("the whole file fits") << every(10, 0, 60) << qint64(60) << "size 1000"
                                             << "0-60";
        QTest::newRow("one keyframe only") << std::vector<std::int64_t> { 0 } << qint64(30) << "size 40"
                                           << "0!-30";
        QTest::newRow("parts at the keyframes nearest their shares, the earlier at a tie")
            << every(2, 0, 12) << qint64(12) << "parts 4"
            << "0-2 2-6 6-8 8-12";
        QTest::newRow("parts on keyframes") << every(2, 0, 12) << qint64(12) << "parts 3"
                                            << "0-4 4-8 8-12";
        QTest::newRow("one part") << every(2, 0, 12) << qint64(12) << "parts 1"
                                  << "0-12";
        QTest::newRow("too few keyframes for the parts")
            << std::vector<std::int64_t> { 0, 10 } << qint64(20) << "parts 4"
            << "0-10 10-20";
        QTest::newRow("keyframes kept for the parts still to come")
            << std::vector<std::int64_t> { 0, 1, 2, 3, 50 } << qint64(60) << "parts 4"
            << "0-2 2-3 3-50 50-60";
        QTest::newRow("exact cuts at the keyframes made there, within half a frame")
            << std::vector<std::int64_t> { 0, 10, 20, 25, 30 } << qint64(40) << "cuts 9 24 26"
            << "0-10 10-25 25-40";
    }
    void bySizeAndCount()
    {
        QFETCH(std::vector<std::int64_t>, keyframes);
        QFETCH(qint64, end);
        QFETCH(QString, rule);
        QFETCH(QString, pieces);
        ByteCurve curve;
        for (std::int64_t t = end - 1; t >= 0; --t) // in any order
            curve.add(t, t % 10 == 0 ? 20 : 2);
        const auto weight = [&](std::int64_t from, std::int64_t to) { return 10 + curve.bytesBetween(from, to); };
        const QStringList words = rule.split(' ');
        std::vector<PlannedPiece> planned;
        if (words[0] == "size") {
            planned = planBySize(keyframes, 0, end, words[1].toLongLong(), weight);
            for (const PlannedPiece& p : planned) // within the size, but where no keyframe allows it
                QVERIFY(p.longerThanAsked || weight(p.start, p.end) <= words[1].toLongLong());
        } else if (words[0] == "parts") {
            planned = planParts(keyframes, 0, end, words[1].toInt(), 0);
        } else {
            std::vector<std::int64_t> cuts;
            for (qsizetype w = 1; w < words.size(); ++w)
                cuts.push_back(words[w].toLongLong());
            planned = planAtCuts(keyframes, 0, end, cuts, 1);
        }
        QCOMPARE(describe(planned), pieces);
        QCOMPARE(planned.front().start, std::int64_t(0));
        QCOMPARE(planned.back().end, std::int64_t(end));
        for (std::size_t i = 1; i < planned.size(); ++i)
            QCOMPARE(planned[i].start, planned[i - 1].end);
    }

    // Exact cuts in a stream of 10-tick frames, `bframes` B-frames between references, a keyframe every
    // `group` frames; `leading`: each keyframe after the first has a picture decoded after it but shown
    // before it (an open group). The new keyframes' times, the open ones that need nothing before them any
    // more, and every stretch decodes in order.
    void exactCuts_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("bframes");
        QTest::addColumn<bool>("leading");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("three cuts in each group") << 100 << 2 << false << 250 << "250 500 750 1250 1500 1750"
                                                  << "";
        QTest::newRow("a keyframe within half a frame of the cut") << 100 << 2 << false << 996 << ""
                                                                   << "";
        QTest::newRow("the first picture after the cut") << 100 << 0 << false << 333 << "340 670 1340 1670"
                                                         << "";
        QTest::newRow("open groups: the next one's leading pictures too")
            << 100 << 2 << true << 250 << "250 500 750 1250 1500 1750"
            << "1000";
        QTest::newRow("a cut at an open group's keyframe") << 100 << 2 << true << 1000 << ""
                                                           << "1000";
        // Open here means not an IDR picture too, whose keyframe may only follow new pictures where it starts a
        // piece (H.264).
        QTest::newRow("a keyframe that cannot follow new pictures, inside a piece")
            << 100 << 2 << true << 300 << "1200 1500 1800"
            << "";
    }
    void exactCuts()
    {
        QFETCH(int, group);
        QFETCH(int, bframes);
        QFETCH(bool, leading);
        QFETCH(int, length);
        QFETCH(QString, keys);
        QFETCH(QString, cleaned);
        std::vector<std::int64_t> pts;
        std::vector<std::int64_t> dts;
        std::vector<bool> key;
        std::vector<int> shown; // each picture's number, in decoding order
        for (int start = 0; start < 200; start += group) {
            shown.push_back(start);
            for (int at = start; at < start + group - 1;) {
                const int reference = std::min(at + bframes + 1, start + group - 1);
                shown.push_back(reference);
                for (int b = at + 1; b < reference; ++b)
                    shown.push_back(b);
                at = reference;
            }
        }
        if (leading) { // the picture before the second keyframe is decoded after it
            shown.erase(std::find(shown.begin(), shown.end(), group - 1));
            shown.insert(std::find(shown.begin(), shown.end(), group) + 1, group - 1);
        }
        for (const int picture : shown) {
            pts.push_back(10 * picture);
            key.push_back(picture % group == 0);
        }
        for (std::size_t i = 0; i < pts.size(); ++i)
            dts.push_back(10 * static_cast<std::int64_t>(i) - 10 * bframes);
        const ExactCuts cuts
            = planExactCuts(pts, dts, key, exactCutTimes(0, length, 4, 2000), 4, [&](std::size_t) { return !leading; });
        const auto text = [](const std::vector<std::int64_t>& times) {
            QStringList list;
            for (const std::int64_t t : times)
                list << QString::number(t);
            return list.join(' ');
        };
        QCOMPARE(text(cuts.keyPts), keys);
        QCOMPARE(text(cuts.cleanedPts), cleaned);
        for (const RecodedStretch& stretch : cuts.stretches) {
            QCOMPARE(stretch.order.size() + (stretch.kept ? 1 : 0), stretch.end - stretch.first);
            for (std::size_t o = 0; o < stretch.order.size(); ++o) {
                QVERIFY(stretch.dts[o] <= pts[stretch.order[o]]);
                QVERIFY(o == 0 || pts[stretch.order[o - 1]] < pts[stretch.order[o]]);
                QVERIFY(!stretch.kept || stretch.dts[o] < stretch.keptDts);
            }
            QVERIFY(!stretch.kept || stretch.keptDts <= pts[*stretch.kept]);
        }
    }

    // x265's parameter sets and slices (10-bit, 64x64), numbered apart and back: what is asked is read back,
    // a slice grows by one byte, and numbered back each unit is as it was, byte for byte.
    void parameterSetNumbers_data()
    {
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<uint>("id");
        QTest::addColumn<uint>("referred");
        const auto bytes = [](std::initializer_list<int> list) {
            QByteArray out;
            for (const int b : list)
                out.append(static_cast<char>(b));
            return out;
        };
        QTest::newRow("VPS") << bytes({ 0x40, 0x01, 0x0c, 0x01, 0xff, 0xff, 0x02, 0x20, 0x00, 0x00, 0x03, 0x00, 0x90,
            0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1e, 0x92, 0x80, 0x90 })
                             << 3u << 0u;
        QTest::newRow("SPS") << bytes({ 0x42, 0x01, 0x01, 0x02, 0x20, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03,
            0x00, 0x00, 0x03, 0x00, 0x1e, 0xa0, 0x20, 0x81, 0x04, 0xd9, 0x64, 0xa9, 0x24, 0xca, 0xf0, 0x16, 0x80, 0x80,
            0x00, 0x00, 0x03, 0x00, 0x80, 0x00, 0x00, 0x0c, 0x84 })
                             << 5u << 3u;
        QTest::newRow("PPS") << bytes({ 0x44, 0x01, 0xc1, 0x72, 0xb4, 0x22, 0x40 }) << 17u << 5u;
        QTest::newRow("keyframe slice") << bytes(
            { 0x28, 0x01, 0xaf, 0x1d, 0x80, 0xc4, 0xf5, 0xfe, 0xec, 0x46, 0xf7, 0xe7, 0xce, 0x2e, 0x76, 0xe6 })
                                        << 17u << 0u;
        QTest::newRow("slice") << bytes({ 0x02, 0x01, 0xd0, 0x09, 0x7e, 0x11, 0x18, 0xec, 0xbe, 0xf7, 0xca, 0xd4 })
                               << 30u << 0u;
    }
    void parameterSetNumbers()
    {
        QFETCH(QByteArray, unit);
        QFETCH(uint, id);
        QFETCH(uint, referred);
        const Bytes original(unit.begin(), unit.end());
        const bool slice = hevcUnitType(original) < HevcVps;
        const auto renumbered
            = slice ? renumberHevcSlice(original, id) : renumberHevcParameterSet(original, id, referred);
        QVERIFY(renumbered);
        if (slice) {
            QCOMPARE(renumbered->size(), original.size() + 1);
            QVERIFY(std::equal(original.end() - 6, original.end(), renumbered->end() - 6));
        } else {
            QCOMPARE(hevcParameterSetId(*renumbered), std::optional<unsigned>(id));
        }
        const auto back = slice ? renumberHevcSlice(*renumbered, 0) : renumberHevcParameterSet(*renumbered, 0, 0);
        QVERIFY(back == original);
        if (hevcUnitType(original) == HevcSps)
            QCOMPARE(hevcSpsProfile(original)->level, 30u);
    }

    // x264's SPS for pictures encoded again (no B-frames, two references, order of type 2) against a source's
    // (a B-pyramid, four references), 320x240: each reads and writes back byte for byte. Ours is made to
    // declare the source's level, references, reordering, buffering and timing, and keeps what its slices are
    // read by; it is refused where the pictures differ in size, or ours need more references. Given picture
    // order counts of its own, our keyframe's slice keeps its data as it was.
    void avcSpsDeclaresTheSourcesBuffer()
    {
        const Bytes source { 0x67, 0x64, 0x00, 0x0d, 0xac, 0xd9, 0x41, 0x41, 0xfb, 0x01, 0x10, 0x00, 0x00, 0x03, 0x00,
            0x10, 0x00, 0x00, 0x03, 0x03, 0xc0, 0xf1, 0x42, 0x99, 0x60 };
        const Bytes ours { 0x67, 0x64, 0x00, 0x0d, 0x4b, 0x2d, 0x82, 0x83, 0xf6, 0x02, 0x20, 0x00, 0x00, 0x03, 0x00,
            0x20, 0x00, 0x00, 0x07, 0x81, 0xe2, 0x85, 0x5c };
        const Bytes ourPps { 0x68, 0x4a, 0xac, 0x3f, 0x2c };
        const auto theirs = readAvcSps(source);
        const auto mine = readAvcSps(ours);
        QVERIFY(theirs && mine);
        QVERIFY(writeAvcSps(*theirs) == source);
        QVERIFY(writeAvcSps(*mine) == ours);
        QVERIFY(mine->vui && mine->vui->restriction && theirs->vui && theirs->vui->restriction);
        QCOMPARE(mine->vui->restriction->maxDecFrameBuffering, 2u);

        const auto matched = matchAvcSps(*mine, *theirs);
        QVERIFY(matched);
        const auto back = readAvcSps(writeAvcSps(*matched));
        QVERIFY(back && *back == *matched);
        QCOMPARE(back->level, theirs->level);
        QCOMPARE(back->maxRefFrames, 4u);
        QCOMPARE(back->vui->restriction->maxDecFrameBuffering, 4u);
        QCOMPARE(back->vui->restriction->maxReorderFrames, 2u);
        QVERIFY(back->vui->timing == theirs->vui->timing);
        QCOMPARE(back->id, mine->id);
        QCOMPARE(back->pocType, mine->pocType);
        QCOMPARE(back->log2MaxFrameNum, mine->log2MaxFrameNum);

        AvcSps wider = *theirs;
        wider.widthInMbsMinus1 += 1;
        QVERIFY(!matchAvcSps(*mine, wider));
        AvcSps moreRefs = *mine;
        moreRefs.maxRefFrames = 5;
        QVERIFY(!matchAvcSps(moreRefs, *theirs));
        QVERIFY(!readAvcSps(Bytes(ours.begin(), ours.end() - 6))); // cut short

        Bytes header;
        for (const Bytes* unit : { &ours, &ourPps }) {
            header.insert(header.end(), { 0, 0, 0, 1 });
            header.insert(header.end(), unit->begin(), unit->end());
        }
        const AvcRestart ordered(header.data(), static_cast<int>(header.size()));
        const Bytes idr { 0x65, 0x88, 0x41, 0x09, 0xff, 0xd9, 0x67, 0x4d, 0x18, 0x2b, 0x87, 0x02, 0x98, 0xdc, 0x9e,
            0xe9 };
        const auto counted = ordered.withPictureOrder(idr, 6, mine->log2MaxFrameNum + 1);
        QVERIFY(counted && *counted != idr);
        QVERIFY(std::equal(idr.end() - 10, idr.end(), counted->end() - 10)); // the slice data
        const Bytes sei { 0x06, 0x05, 0x01, 0x80 };
        QVERIFY(ordered.withPictureOrder(sei, 6, 5) == sei);
    }

    // x265's VPS and SPS (64x64): ours (no B-frames, three pictures held) declares the source's buffer (five
    // pictures) but still shows each picture as soon as it is decoded; a source whose buffer is smaller than
    // ours needs is refused.
    void hevcSetsDeclareTheSourcesBuffer_data()
    {
        QTest::addColumn<QByteArray>("ours");
        QTest::addColumn<QByteArray>("source");
        const auto bytes = [](std::initializer_list<int> list) {
            QByteArray out;
            for (const int b : list)
                out.append(static_cast<char>(b));
            return out;
        };
        QTest::newRow("VPS") << bytes({ 0x40, 0x01, 0x0c, 0x01, 0xff, 0xff, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90,
            0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1e, 0xba, 0x02, 0x40 })
                             << bytes({ 0x40, 0x01, 0x0c, 0x01, 0xff, 0xff, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90,
                                    0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1e, 0x95, 0x94, 0x09 });
        QTest::newRow("SPS") << bytes({ 0x42, 0x01, 0x01, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03,
            0x00, 0x00, 0x03, 0x00, 0x1e, 0xa0, 0x20, 0x81, 0x05, 0x96, 0xea, 0x49, 0x32, 0xbc, 0x05, 0xa0, 0x20, 0x00,
            0x00, 0x03, 0x00, 0x20, 0x00, 0x00, 0x03, 0x03, 0x21 })
                             << bytes({ 0x42, 0x01, 0x01, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03,
                                    0x00, 0x00, 0x03, 0x00, 0x1e, 0xa0, 0x20, 0x81, 0x05, 0x96, 0x56, 0x54, 0xa4, 0xc2,
                                    0xf0, 0x16, 0x80, 0x80, 0x00, 0x00, 0x03, 0x00, 0x80, 0x00, 0x00, 0x0c, 0x84 });
    }
    void hevcSetsDeclareTheSourcesBuffer()
    {
        QFETCH(QByteArray, ours);
        QFETCH(QByteArray, source);
        const Bytes mine(ours.begin(), ours.end());
        const Bytes theirs(source.begin(), source.end());
        QCOMPARE(hevcBuffer(mine)->ordering, (std::vector<std::array<unsigned, 3>> { { 2, 0, 1 } }));
        QCOMPARE(hevcBuffer(theirs)->ordering, (std::vector<std::array<unsigned, 3>> { { 4, 2, 4 } }));
        const auto matched = matchHevcBuffer(mine, theirs);
        QVERIFY(matched);
        const auto read = hevcBuffer(*matched);
        QCOMPARE(read->ordering, (std::vector<std::array<unsigned, 3>> { { 4, 0, 1 } }));
        QCOMPARE(read->level, 30u);
        QCOMPARE(hevcParameterSetId(*matched), hevcParameterSetId(mine));
        QVERIFY(!matchHevcBuffer(theirs, mine));
    }

    // x265's parameter sets (64x64, order counts of 8 bits), a CRA picture's slice (count 10) and the slice of the
    // picture after it (count 13), each cut short after its first bytes. Where a piece after the first starts with
    // it, the CRA picture becomes an IDR picture, its slice data as it was; the picture after it counts its order
    // from it (3), the rest of its header and its data as they were. The file's own first picture is left alone.
    void hevcKeyframesStartAfresh()
    {
        const Bytes header { 0, 0, 0, 1, 0x40, 0x01, 0x0c, 0x01, 0xff, 0xff, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90,
            0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1e, 0x95, 0x90, 0x09, 0, 0, 0, 1, 0x42, 0x01, 0x01, 0x01, 0x60,
            0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1e, 0xa0, 0x20, 0x81, 0x05, 0x96,
            0x56, 0x44, 0xa4, 0xc2, 0xf0, 0x16, 0x80, 0x80, 0x00, 0x00, 0x03, 0x00, 0x80, 0x00, 0x00, 0x0c, 0x84, 0, 0,
            0, 1, 0x44, 0x01, 0xc0, 0x73, 0xc0, 0x89 };
        const Bytes cra { 0, 0, 0, 1, 0x2a, 0x01, 0xac, 0x28, 0x5d, 0x25, 0x18, 0x80, 0x9a, 0x19, 0x5e, 0x3a, 0xfd,
            0x09, 0x50, 0x99, 0x7a, 0x7e, 0x5d, 0x28, 0xe0, 0xf6, 0x62, 0x4d };
        const Bytes after { 0, 0, 0, 1, 0x02, 0x01, 0xd0, 0x69, 0x5e, 0x20, 0xe4, 0xda, 0x10, 0x4a, 0x63, 0xa3, 0x93,
            0xd3, 0x1d, 0x6c };
        HevcRestart piece(header.data(), static_cast<int>(header.size()), true);
        const auto idr = piece.picture(cra.data(), cra.size());
        QVERIFY(idr && idr->size() < cra.size());
        QCOMPARE(int((*idr)[4] >> 1), 19); // IDR_W_RADL
        QVERIFY(std::equal(cra.end() - 12, cra.end(), idr->end() - 12));
        QVERIFY(piece.wants(false));
        const auto counted = piece.picture(after.data(), after.size());
        QVERIFY(counted && counted->size() == after.size());
        const Bytes payload(counted->begin() + 4, counted->end());
        BitReader bits(payload, 21);
        QCOMPARE(bits.u(8), std::optional<unsigned>(3));
        QVERIFY(std::equal(after.begin() + 8, after.end(), counted->begin() + 8)); // past the count

        HevcRestart file(header.data(), static_cast<int>(header.size()), false);
        QVERIFY(!file.picture(cra.data(), cra.size()));
        QVERIFY(!file.wants(false));
        QVERIFY(!file.picture(after.data(), after.size()));
    }

    // The rate a stretch is encoded again at, for a stretch whose pictures lose likeness (luma PSNR, dB) by `loss`
    // a step of rate from `likeness` at rate 0, and whose bytes halve every six steps from `bytes` times the
    // source's at rate 0: the rates tried from `start`, in order, and the one chosen. The aim is 45 dB or more
    // at no more than three times the source's bytes.
    void rateSearch_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("likeness");
        QTest::addColumn<double>("loss");
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("tried");
        QTest::addColumn<double>("chosen");
        QTest::newRow("the first rate serves") << 12.0 << 53.0 << 0.5 << 8.0 << "12" << 12.0;
        // Six times the bytes at 54 dB: up by six steps for each halving to 2.4 times, once.
        QTest::newRow("too many bytes: up by the excess") << 12.0 << 60.0 << 0.5 << 24.0 << "12 20" << 20.0;
        // 44 dB: down by the 2.5 dB short of 46.5; then by one step while still short of it, and the better
        // likeness kept where both keep within bounds.
        QTest::newRow("too little likeness: down by the shortfall") << 20.0 << 60.0 << 0.8 << 8.0 << "20 17 16" << 16.0;
        // Below the rate known to lose likeness, halfway to 0 each time; never below 0.
        QTest::newRow("likeness short at every rate: towards 0") << 4.0 << 40.0 << 0.1 << 1.0 << "4 2 1 0.5" << 0.5;
        // Above the rate known to give too many bytes, halfway to 52; never above 51, and five tries at most.
        QTest::newRow("bytes too many at every rate: up to 51, five tries")
            << 40.0 << 60.0 << 0.0 << 10000.0 << "40 46 49 50.5 51" << 51.0;
        // 45 dB needs rate 10 at most, three times the bytes rate 20 at least: the bounds close in on 10,
        // and the likeness is kept.
        QTest::newRow("no rate keeps both: gives up, likeness kept")
            << 12.0 << 50.0 << 0.5 << 30.0 << "12 10 11 10.5" << 10.0;
    }
    void rateSearch()
    {
        QFETCH(double, start);
        QFETCH(double, likeness);
        QFETCH(double, loss);
        QFETCH(double, bytes);
        QFETCH(QString, tried);
        QFETCH(double, chosen);
        constexpr std::int64_t source = 100000;
        RateSearch search(start, source);
        QStringList rates;
        for (std::optional<double> rate = search.next(); rate && rates.size() < 10; rate = search.next()) {
            rates << QString::number(*rate);
            search.tried(*rate, likeness - loss * *rate,
                static_cast<std::int64_t>(static_cast<double>(source) * bytes * std::exp2(-*rate / 6.0)));
        }
        QCOMPARE(rates.join(QLatin1Char(' ')), tried);
        QCOMPARE(search.best(), chosen);
    }

    // Slices made by hand, as the encoders' vary: a keyframe that is not an IDR picture, made one, then the
    // pictures after it counted from it (a reference naming the keyframe by its new number, a marking command
    // naming a picture from before it dropped), and an IDR picture, kept as it is. Each header reads back as
    // written, the data after it as it was. A slice cut short within its header, or with a command no slice
    // has, is refused.
    void avcKeyframesStartAfresh_data()
    {
        QTest::addColumn<bool>("cabac");
        QTest::addColumn<uint>("pocType");
        QTest::addColumn<int>("lengthSize");
        QTest::newRow("CAVLC, order counts, start codes") << false << 0u << 0;
        QTest::newRow("CABAC, order counts, lengths") << true << 0u << 4;
        QTest::newRow("CAVLC, decoding order, lengths") << false << 2u << 4;
        QTest::newRow("CABAC, decoding order, start codes") << true << 2u << 0;
    }
    void avcKeyframesStartAfresh()
    {
        QFETCH(bool, cabac);
        QFETCH(uint, pocType);
        QFETCH(int, lengthSize);
        const auto [sps, pps] = handSets(cabac, pocType);
        const Bytes header = lengthSize == 0 ? joinUnits({ sps, pps }, 0)
                                             : writeAvcC({ { 1, 77, 0, 30, 0xff }, { sps }, { pps }, {} });
        AvcSlices reader;
        reader.learn(sps);
        reader.learn(pps);
        const auto sample = [&](const HandSlice& s) { return joinUnits({ handSlice(s, cabac, pocType) }, lengthSize); };
        // The last unit of a picture, which must be its slice, read back, with the data after its header.
        const auto readBack = [&](const Bytes& picture) {
            const std::vector<Bytes> units = sampleUnits(picture.data(), picture.size(), lengthSize);
            const Bytes payload = units.empty() ? Bytes {} : unescape(units.back());
            auto slice = reader.read(payload);
            bool data = false;
            if (slice && cabac) {
                const int ones = static_cast<int>(7 - (slice->dataAt + 7) % 8); // alignment
                data = BitReader(payload, slice->dataAt).u(ones) == (1u << ones) - 1
                    && std::equal(payload.begin() + static_cast<std::ptrdiff_t>((slice->dataAt + 7) / 8), payload.end(),
                        cabacData.begin(), cabacData.end());
            } else if (slice) {
                BitReader bits(payload, slice->dataAt);
                data = bits.u(12) == cavlcData && bitsBeforeStop(payload) == slice->dataAt + 12;
            }
            return std::tuple(std::move(slice), payload, data, units.size());
        };

        AvcRestart restart(header.data(), static_cast<int>(header.size()));
        const Bytes key = sample({ false, 3, false, 5, 10, {}, {} });
        QVERIFY(restart.canRestart(key.data(), key.size()));
        const auto idr = restart.picture(key.data(), key.size(), true);
        QVERIFY(idr);
        auto [slice, payload, data, units] = readBack(*idr);
        QVERIFY(slice && data);
        QCOMPARE(units, lengthSize == 0 ? 3u : 1u); // given its sets where start codes part the units
        QVERIFY(slice->idr);
        QCOMPARE(slice->frameNum, 0u);
        QCOMPARE(slice->idrPicId, 1u);
        if (pocType == 0)
            QCOMPARE(BitReader(payload, slice->pocAt).u(6), std::optional(10u));

        QVERIFY(restart.wants(false));
        const Bytes next = sample({ false, 2, true, 8, 16, { { 0, 2 } }, { { 1, 0, 0 }, { 1, 2, 0 } } });
        std::tie(slice, payload, data, units) = readBack(restart.picture(next.data(), next.size(), false).value());
        QVERIFY(slice && data && !slice->idr);
        QCOMPARE(slice->frameNum, 1u);
        QCOMPARE(slice->reorder[0], (AvcReordering { { 0, 0 } }));
        QVERIFY(slice->adaptive);
        QCOMPARE(slice->mmco.size(), std::size_t(1));
        QCOMPARE(slice->mmco[0].a, 0u);
        const Bytes unreferenced = sample({ false, 0, true, 9, 18, {}, {} });
        std::tie(slice, payload, data, units)
            = readBack(restart.picture(unreferenced.data(), unreferenced.size(), false).value());
        QVERIFY(slice && data);
        QCOMPARE(slice->frameNum, 2u);
        const Bytes damaged = sample({ false, 2, true, 9, 20, {}, { { 7, 0, 0 } } });
        QVERIFY(!restart.picture(damaged.data(), damaged.size(), false));
        QVERIFY(!restart.wants(false)); // what follows is left alone

        AvcRestart again(header.data(), static_cast<int>(header.size()));
        const Bytes realIdr = sample({ true, 3, false, 0, 0, {}, {} });
        QVERIFY(!again.picture(realIdr.data(), realIdr.size(), true));
        QVERIFY(!again.wants(false));
        const auto [keySlice, keyPayload, keyData, keyUnits] = readBack(key);
        QVERIFY(keySlice && keyData);
        const std::size_t headerEnd = static_cast<std::size_t>(lengthSize == 0 ? 4 : lengthSize) + keySlice->dataAt / 8;
        for (std::size_t cut = 0; cut < headerEnd; ++cut) {
            AvcRestart cutShort(header.data(), static_cast<int>(header.size()));
            QVERIFY2(!cutShort.canRestart(key.data(), cut) && !cutShort.picture(key.data(), cut, true),
                qPrintable(QString::number(cut)));
        }
    }

    void idrPictures()
    {
        const Bytes idr { 0, 0, 0, 2, 0x09, 0x10, 0, 0, 0, 3, 0x65, 0x88, 0x84 }; // a delimiter, then an IDR slice
        const Bytes other { 0, 0, 0, 2, 0x09, 0x10, 0, 0, 0, 3, 0x41, 0x9a, 0x02 };
        const Bytes startCodes { 0, 0, 0, 1, 0x06, 0x05, 0x01, 0, 0, 1, 0x65, 0x88 }; // SEI, then IDR
        QCOMPARE(avcStartsAfresh(idr.data(), idr.size(), 4), std::optional(true));
        QCOMPARE(avcStartsAfresh(other.data(), other.size(), 4), std::optional(false));
        QCOMPARE(avcStartsAfresh(idr.data(), 6, 4), std::optional<bool>()); // no slice in what was read
        QCOMPARE(avcStartsAfresh(startCodes.data(), startCodes.size(), 0), std::optional(true));

        // How units are parted, from the stream's header: an avcC's length size is in its fifth byte, an
        // hvcC's in its twenty-second.
        const auto lengthSize = [](NalCodec codec, const Bytes& header) {
            const auto framing = unitFraming(codec, header.data(), static_cast<int>(header.size()));
            return framing ? framing->lengthSize : -1;
        };
        Bytes hvcC(23, 0);
        hvcC[0] = 1;
        hvcC[21] = 0xfd;
        QCOMPARE(lengthSize(NalCodec::Avc, {}), 0);
        QCOMPARE(lengthSize(NalCodec::Hevc, Bytes(startCodes.begin() + 1, startCodes.end())), 0);
        QCOMPARE(lengthSize(NalCodec::Avc, { 1, 0x64, 0, 0x1f, 0xfd, 0xe0, 0 }), 2);
        QCOMPARE(lengthSize(NalCodec::Hevc, hvcC), 2);
        QCOMPARE(lengthSize(NalCodec::Avc, { 1, 0x64, 0, 0x1f, 0xff }), -1); // cut short
        QCOMPARE(lengthSize(NalCodec::Hevc, Bytes(hvcC.begin(), hvcC.end() - 1)), -1);
        QCOMPARE(lengthSize(NalCodec::Avc, { 0, 0, 0, 0, 1, 0x67 }), 0);
        QCOMPARE(lengthSize(NalCodec::Avc, { 0, 0, 2, 0x67 }), -1);
    }

    void lengths()
    {
        QCOMPARE(lengthInTicks(5, 1, 15360), std::int64_t(76800));
        QCOMPARE(lengthInTicks(2.5, 1, 1000), std::int64_t(2500));
        QCOMPARE(lengthInTicks(0.1, 1, 44100), std::int64_t(4410));
        QCOMPARE(lengthInTicks(1e-9, 1, 1000), std::int64_t(1)); // never zero
        QVERIFY(lengthInTicks(1e300, 1, 90000) > 0); // never overflows

        QCOMPARE(parseSeconds("60"), std::optional<double>(60));
        QCOMPARE(parseSeconds("2.5"), std::optional<double>(2.5));
        for (const char* bad : { "0", "-5", "abc", "", " 5", "5s", "inf", "nan", "-0", "1e999" })
            QVERIFY2(!parseSeconds(bad), bad);

        QCOMPARE(parseSize("700"), std::optional<std::int64_t>(716800)); // kilobytes
        QCOMPARE(parseSize("25M"), std::optional<std::int64_t>(26214400));
        QCOMPARE(parseSize("1.5g"), std::optional<std::int64_t>(1610612736));
        QCOMPARE(parseSize("0.5K"), std::optional<std::int64_t>(512));
        for (const char* bad : { "0", "-1", "M", "25MB", " 5", "5 M", "1e999", "0.0001", "9e15G", "nan" })
            QVERIFY2(!parseSize(bad), bad);
        QCOMPARE(QString::fromStdString(byteSize(26214400)), QStringLiteral("25.0 MB"));
        QCOMPARE(QString::fromStdString(byteSize(512)), QStringLiteral("512 bytes"));
        QCOMPARE(QString::fromStdString(byteSize(4294967295)), QStringLiteral("4.00 GB"));

        const auto asked = [](std::vector<std::string> words) {
            words.insert(words.begin(), "quorvane-split");
            words.push_back("clip.mp4");
            return parseCommandLine(words, nullptr);
        };
        QCOMPARE(asked({ "-splits", "25M" }).request.maxBytes, std::int64_t(26214400));
        const Command parts = asked({ "--exact", "-parts", "3" });
        QCOMPARE(parts.kind, Command::Split);
        QVERIFY(parts.request.exact && parts.request.parts == 3 && parts.request.seconds == 0);
        for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>> {
                 { "-parts", "0" }, { "-parts", "2.5" }, { "-parts", "10001" }, { "-splits", "0" }, { "-splits" } })
            QCOMPARE(asked(bad).kind, Command::Wrong);
    }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("piece");
        QTest::newRow("plain") << "/v/clip.mp4" << 1 << "/v/clip_001.mp4";
        QTest::newRow("capitals kept") << "/v/Clip.MP4" << 2 << "/v/Clip_002.MP4";
        QTest::newRow("last dot only") << "/v/a.b.c.m4a" << 12 << "/v/a.b.c_012.m4a";
        QTest::newRow("dot in the folder, none in the name") << "/v.d/clip" << 3 << "/v.d/clip_003";
        QTest::newRow("no folder") << "clip.mov" << 999 << "clip_999.mov";
        QTest::newRow("past 999") << "clip.mkv" << 1000 << "clip_1000.mkv";
        QTest::newRow("leading dash and blanks") << "-my clip.mp4" << 1 << "-my clip_001.mp4";
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(int, number);
        QFETCH(QString, piece);
        QCOMPARE(QString::fromStdString(pieceFileName(path.toStdString(), number)), piece);
    }

    void reservationAndClock()
    {
        // Grows with the samples of every track, never below what an empty piece needs.
        const auto small = moovReservation({ 100, 170 }, 0);
        const auto large = moovReservation({ 1500, 2580 }, 0);
        QVERIFY(small >= 4096);
        QVERIFY(large - small >= 53 * (1500 + 2580 - 270));
        QVERIFY(moovReservation({ 100 }, 5000) > moovReservation({ 100 }, 0));

        QCOMPARE(QString::fromStdString(clockTime(754.24)), QStringLiteral("0:12:34.2"));
        QCOMPARE(QString::fromStdString(clockTime(3600)), QStringLiteral("1:00:00.0"));
    }

    void packetsGoToThePieceTheirTimeFallsIn()
    {
        // Pictures with B-frames: the keyframe that starts piece 1 is decoded at 95 and shown at 100.
        const std::vector<PlannedPiece> plan { { 0, 100, false }, { 100, 200, false } };
        PacketRouter router(cutDecodingTimes(plan, { 0, 100 }, { -5, 95 }), 0);
        QCOMPARE(router.reference(-5, 0), 0);
        QCOMPARE(router.place(50), std::optional<int>(0));
        // Audio at 97 shows before the cut, but nothing yet says so for a time at or past the next cut's
        // decoding time: it waits.
        QCOMPARE(router.place(97), std::optional<int>());
        QCOMPARE(router.reference(95, 100), 1);
        QCOMPARE(router.start(1), std::optional<std::int64_t>(100));
        QCOMPARE(router.place(97), std::optional<int>(0));
        QCOMPARE(router.place(100), std::optional<int>(1));
        // A B-frame decoded after the keyframe but shown before it still belongs to the new piece's group.
        QCOMPARE(router.reference(96, 98), 1);
        QCOMPARE(router.place(std::nullopt), std::optional<int>(1));
        QCOMPARE(router.reference(500, 500), 1); // there is no third piece
    }

    void picturesPlannedWhileReadingGoToTheirPieces_data()
    {
        QTest::addColumn<int>("group"); // pictures from one keyframe to the next, 40 ms each
        QTest::addColumn<int>("lengthMs");
        QTest::newRow("groups of 10, 1 s") << 10 << 1000;
        QTest::newRow("groups of 25, 0.7 s") << 25 << 700;
        QTest::newRow("groups of 12, 3 s") << 12 << 3000;
    }

    void picturesPlannedWhileReadingGoToTheirPieces()
    {
        // The deciding stream counts milliseconds, the plan 90 kHz ticks. A picture waits while its piece may
        // still change, then goes, in reading order, to the piece it is shown in.
        QFETCH(int, group);
        QFETCH(int, lengthMs);
        const std::unique_ptr<AVFormatContext, decltype(&avformat_free_context)> in(
            avformat_alloc_context(), &avformat_free_context);
        avformat_new_stream(in.get(), nullptr)->time_base = { 1, 1000 };
        const StreamClock clock(in.get(), { 1, 90000 });
        SplitPlan plan;
        PacketRouter router(plan.cutDts, plan.fileStart);
        std::int64_t held = 0;
        ReadingPlanner planner(0, PieceLength { lengthMs * 90LL, 0, std::nullopt }, plan, router, clock, held);
        std::vector<std::pair<std::int64_t, int>> routed; // shown at, in the plan's ticks; piece
        const auto release = [&] {
            while (const Packet packet = planner.released())
                routed.emplace_back(*clock.shown(packet.get()),
                    router.reference(clock.decoded(packet.get()), clock.shown(packet.get())));
        };
        const int pictures = 200;
        for (int i = 0; i < pictures; ++i) {
            Packet packet = newPacket();
            QCOMPARE(av_new_packet(packet.get(), 100), 0);
            packet->pts = packet->dts = 40LL * i;
            if (i % group == 0)
                packet->flags |= AV_PKT_FLAG_KEY;
            planner.hold(std::move(packet));
            release();
        }
        planner.finish(pictures * 40 * 90);
        release();
        QCOMPARE(held, std::int64_t(0));
        QCOMPARE(routed.size(), std::size_t(pictures));
        QVERIFY(plan.pieces.size() > 2);
        for (std::size_t i = 0; i < routed.size(); ++i) {
            const auto [shown, piece] = routed[i];
            QCOMPARE(shown, std::int64_t(40 * 90) * static_cast<std::int64_t>(i));
            const auto p = static_cast<std::size_t>(piece);
            QVERIFY(p < plan.pieces.size() && plan.pieces[p].start <= shown);
            QVERIFY(p + 1 == plan.pieces.size() || shown < plan.pieces[p + 1].start);
        }
    }

    void planningWhileReadingGivesTheSamePieces()
    {
        // The one-pass plan must equal the plan made from a full index, on many random files.
        QRandomGenerator random(20261208);
        for (int file = 0; file < 2000; ++file) {
            std::vector<std::int64_t> keys { 0 };
            const int count = random.bounded(1, 60);
            for (int k = 1; k < count; ++k)
                keys.push_back(keys.back() + random.bounded(1, 400));
            const std::int64_t end = keys.back() + random.bounded(1, 400);
            PieceLength length { random.bounded(1, 900), random.bounded(0, 3), std::nullopt };
            if (random.bounded(2) == 0)
                length.origin = -random.bounded(100);
            KeyframeCutter cutter(0, length);
            for (const std::int64_t key : keys)
                cutter.keyframe(key, key - 3);
            cutter.finish(end);
            const QString expected = describe(planPieces(keys, 0, end, length));
            QCOMPARE(describe(cutter.pieces()), expected);
        }
        // Memory running short settles the candidate at once: shorter pieces, never longer ones.
        KeyframeCutter cutter(0, PieceLength { 100, 0, std::nullopt });
        cutter.keyframe(40, 40);
        QCOMPARE(cutter.settleNow().back().pts, 40);
        cutter.keyframe(130, 130);
        cutter.finish(150);
        QCOMPARE(describe(cutter.pieces()), QStringLiteral("0-40 40-130 130-150"));
    }

    // Pictures in decoding order, each with the time it shows at ("I" a keyframe), and which keyframes may start
    // a piece: not one a picture decoded after it, before the next keyframe, shows before. The plan from an index
    // and the plan made while reading ask the same rule.
    void keyframesWithLeadingPicturesCannotStartAPiece_data()
    {
        QTest::addColumn<QString>("pictures");
        QTest::addColumn<QString>("clean");
        QTest::newRow("the second I's B-frames show before it") << "I0 P3 B1 B2 I7 B5 B6 P8"
                                                                << "1 0";
        QTest::newRow("closed groups") << "I0 P3 B1 B2 I4 P7 B5 B6"
                                       << "1 1";
        QTest::newRow("a leading picture after one that is not") << "I0 P2 B1 I5 P7 B4 B6"
                                                                 << "1 0";
        QTest::newRow("shown before the keyframe before: the later group's") << "I4 P5 I8 B3"
                                                                             << "1 0";
        QTest::newRow("only the first group open") << "I2 B0 B1 I3 P4"
                                                   << "0 1";
    }

    void keyframesWithLeadingPicturesCannotStartAPiece()
    {
        QFETCH(QString, pictures);
        QFETCH(QString, clean);
        std::vector<std::int64_t> pts;
        std::vector<bool> key;
        for (const QString& picture : pictures.split(QLatin1Char(' '))) {
            key.push_back(picture.startsWith(QLatin1Char('I')));
            pts.push_back(picture.mid(1).toLongLong());
        }
        std::vector<bool> expected;
        for (const QString& flag : clean.split(QLatin1Char(' ')))
            expected.push_back(flag == QLatin1String("1"));
        QCOMPARE(cleanKeyframes(pts, key), expected);
        KeyframeCutter cutter(0, PieceLength { 1000, 0, std::nullopt });
        for (std::size_t i = 0; i < pts.size(); ++i)
            cutter.picture(pts[i], static_cast<std::int64_t>(i), key[i]);
        cutter.finish(100);
        QCOMPARE(cutter.openKeyframes(), static_cast<int>(std::count(expected.begin(), expected.end(), false)));
    }

    void timestampsAreMendedWithinAStream()
    {
        TimestampMender mender;
        const auto mend = [&](std::optional<std::int64_t> dts, std::optional<std::int64_t> pts) {
            const auto t = mender.mend({ dts, pts });
            return QStringLiteral("%1/%2").arg(*t.dts).arg(*t.pts);
        };
        QCOMPARE(mend(0, 2), QStringLiteral("0/2"));
        QCOMPARE(mend(10, 10), QStringLiteral("10/10"));
        QCOMPARE(mend(9, 9), QStringLiteral("11/11")); // a join stepped back: decoding time moves on
        QCOMPARE(mend(11, 20), QStringLiteral("12/20"));
        QCOMPARE(mend(std::nullopt, 30), QStringLiteral("13/30")); // no decoding time: right after the last
        QCOMPARE(mend(std::nullopt, std::nullopt), QStringLiteral("14/14"));
        QCOMPARE(mend(40, 35), QStringLiteral("40/40")); // never shown before it is decoded
        QCOMPARE(mender.mended(), 3);

        // Matroska's first pictures of a stream with B-frames have no decoding time; the pictures after
        // them keep where they show.
        TimestampMender matroska;
        QStringList shown;
        for (const auto& [dts, pts] : std::vector<std::pair<std::optional<std::int64_t>, std::int64_t>> {
                 { std::nullopt, 0 }, { std::nullopt, 160 }, { 0, 80 }, { 40, 40 }, { 80, 120 }, { 120, 320 } })
            shown << QString::number(*matroska.mend({ dts, pts }).pts);
        QCOMPARE(shown, QStringList({ "0", "160", "80", "40", "120", "320" }));
        QCOMPARE(matroska.mended(), 0);
    }

    void compositionOffsetsFromTheIndex()
    {
        // moov > trak(tkhd id 2, mdia > minf > stbl > stts(5 samples), ctts v1 with a negative offset).
        const auto box = [](const char* type, const QByteArray& payload) {
            QByteArray b;
            const quint32 size = static_cast<quint32>(payload.size() + 8);
            b.append(char(size >> 24)).append(char(size >> 16)).append(char(size >> 8)).append(char(size));
            return b.append(type, 4).append(payload);
        };
        const auto be32 = [](qint64 v) {
            const auto u = static_cast<quint32>(v);
            return QByteArray().append(char(u >> 24)).append(char(u >> 16)).append(char(u >> 8)).append(char(u));
        };
        const QByteArray tkhd = be32(0) + be32(0) + be32(0) + be32(2) + QByteArray(72, 0);
        const QByteArray stts = be32(0) + be32(1) + be32(5) + be32(512);
        const QByteArray ctts = be32(0x01000000) + be32(4) + be32(1) + be32(1024) + be32(2) + be32(-512) + be32(1)
            + be32(0) + be32(1) + be32(0);
        const QByteArray stbl = box("stbl", box("stts", stts) + box("ctts", ctts));
        const QByteArray moov = box("trak", box("tkhd", tkhd) + box("mdia", box("minf", stbl)));
        const std::vector<unsigned char> bytes(moov.begin(), moov.end());
        const auto found = compositionOffsetsInMoov(bytes, 2);
        QVERIFY(found);
        QCOMPARE(found->offsets, (std::vector<std::int64_t> { 1024, -512, -512, 0, 0 }));
        QCOMPARE(found->decodeShift, 512);
        QVERIFY(!compositionOffsetsInMoov(bytes, 1)); // no such track
        // A fragmented file describes its samples elsewhere.
        const QByteArray fragmented = moov + box("mvex", QByteArray());
        QVERIFY(!compositionOffsetsInMoov(std::vector<unsigned char>(fragmented.begin(), fragmented.end()), 2));
        // A table that claims more entries than it holds is not trusted.
        QByteArray broken = moov;
        broken.chop(8);
        QVERIFY(!compositionOffsetsInMoov(std::vector<unsigned char>(broken.begin(), broken.end()), 2));
    }

    void mp4IndexReadsItsTables_data()
    {
        QTest::addColumn<quorvane::test::Mp4Tables>("tables");
        QTest::addColumn<int>("keep"); // samples of each track libavformat is shown
        QTest::addColumn<QStringList>("samples"); // "position size dts pts", "K" for a keyframe; none: refused

        using quorvane::test::Mp4Tables;
        // mdat's payload starts at byte 36.
        const QStringList five { "36 100 0 80 K", "136 20 40 160", "236 30 80 120", "266 90 120 200 K",
            "436 10 160 240" };
        QTest::newRow("whole tables") << fivePictures() << 4096 << five;
        QTest::newRow("cut after the second chunk") << fivePictures() << 3 << five;
        QTest::newRow("cut after the first chunk") << fivePictures() << 1 << five;
        const auto damaged = [](auto change) {
            Mp4Tables t = fivePictures();
            change(t);
            return t;
        };
        QTest::newRow("more sizes counted than held")
            << damaged([](Mp4Tables& t) { t.sizesCount = 7; }) << 4096 << QStringList();
        QTest::newRow("no time-to-sample entry counted")
            << damaged([](Mp4Tables& t) { t.sttsCount = 0; }) << 4096 << QStringList();
        QTest::newRow("a time-to-sample run of none") << damaged([](Mp4Tables& t) {
            t.stts = { { 0, 40 }, { 5, 40 } };
        }) << 4096 << QStringList();
        QTest::newRow("times for fewer samples") << damaged([](Mp4Tables& t) {
            t.stts = { { 4, 40 } };
        }) << 4096 << QStringList();
        QTest::newRow("chunks for more samples") << damaged([](Mp4Tables& t) {
            t.stsc = { 2, 2, 2 };
        }) << 4096 << QStringList();
        QTest::newRow("offsets for fewer samples") << damaged([](Mp4Tables& t) {
            t.ctts = { { 3, 80 } };
        }) << 4096 << QStringList();
        QTest::newRow("two sample descriptions")
            << damaged([](Mp4Tables& t) { t.descriptions = 2; }) << 4096 << QStringList();
    }

    void mp4IndexReadsItsTables()
    {
        QFETCH(quorvane::test::Mp4Tables, tables);
        QFETCH(int, keep);
        QFETCH(QStringList, samples);
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("five.mp4"));
        const quorvane::test::Mp4File file = quorvane::test::mp4File(tables);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<qint64>(file.bytes.size()));
        out.close();

        const IndexedInput opened = openIndexed(path.toStdString(), static_cast<std::uint32_t>(keep));
        QCOMPARE(opened.index != nullptr, !samples.isEmpty());
        if (samples.isEmpty())
            return;
        QVERIFY(opened.input);
        QVERIFY(opened.bound); // libavformat listed of the tables what the index lists
        QStringList listed;
        opened.index->forEach(0, [&](const IndexedSample& s) {
            listed
                << QStringLiteral("%1 %2 %3 %4%5").arg(s.pos).arg(s.size).arg(s.dts).arg(s.pts).arg(s.key ? " K" : "");
        });
        QCOMPARE(listed, samples);
        // What the pieces declare of the stream is what the whole tables say: 250 bytes over 200 ms.
        const MediaLayout layout = probeLayout(
            opened.input.get(), path.toStdString(), [](const std::string&) {}, opened.index->declared());
        const AVStream* st = opened.input->streams[0];
        QCOMPARE(durationOf(layout, st), std::int64_t(200));
        QCOMPARE(st->avg_frame_rate.num, 25);
        QCOMPARE(st->avg_frame_rate.den, 1);
        QCOMPARE(bitRateOf(layout, st), std::int64_t(10000));

        // The shortened index read back holds the tables up to the end of the chunk with sample `keep`.
        const bool cut = keep < 5;
        QCOMPARE(opened.shortMoov.empty(), !cut);
        if (!cut)
            return;
        // A moov box, then the header of a free box that fills the rest of the original's room.
        const mp4::Bytes& moov = opened.shortMoov;
        const auto moovSize = static_cast<std::size_t>(mp4::readBig(moov.data(), 4));
        QCOMPARE(moov.size(), moovSize + 8);
        QVERIFY(std::memcmp(&moov[4], "moov", 4) == 0 && std::memcmp(&moov[moovSize + 4], "free", 4) == 0);
        QCOMPARE(static_cast<std::int64_t>(moovSize + mp4::readBig(&moov[moovSize], 4)), opened.index->moovSize());
        const mp4::Bytes inner(moov.begin() + 8, moov.begin() + static_cast<std::ptrdiff_t>(moovSize));
        const auto trak = mp4::findTrak(inner, 1);
        const auto read = trak ? mp4::readSampleTables(inner, *trak) : std::nullopt;
        QVERIFY(read);
        const std::uint32_t kept = keep < 2 ? 2 : 4;
        QCOMPARE(read->sizes.count, kept);
        QCOMPARE(read->chunks.count, kept / 2);
        QCOMPARE(read->stss.count, keep < 2 ? 1u : 2u);
    }

    void mp4IndexStopsWhereTheFileEnds()
    {
        // The last chunk lies past the end of the file: the samples before it are read, then the file ends.
        quorvane::test::Mp4Tables tables = fivePictures();
        tables.chunks = { 0, 200, 1 << 20 };
        tables.dataSize = 320;
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("short.mp4"));
        const quorvane::test::Mp4File file = quorvane::test::mp4File(tables);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<qint64>(file.bytes.size()));
        out.close();

        IndexedInput opened = openIndexed(path.toStdString(), 4096);
        QVERIFY(opened.input && opened.bound);
        InPlaceReader reader(path.toStdString(), *opened.index, opened.input.get());
        Packet packet = newPacket();
        int read = 0;
        int packets = 0;
        while ((read = reader.read(packet.get())) >= 0) {
            ++packets;
            av_packet_unref(packet.get());
        }
        QCOMPARE(read, AVERROR_EOF);
        QCOMPARE(packets, 4);
    }
};

QTEST_GUILESS_MAIN(TestCutPlan)
#include "test_cutplan.moc"
