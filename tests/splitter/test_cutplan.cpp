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
#include "splitter/plan/timestampmender.h"
#include "splitter/reading/compositionoffsets.h"
#include "splitter/reading/indexroom.h"

#include <QRandomGenerator>
#include <QTest>

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

    void keyframesWithLeadingPicturesCannotStartAPiece()
    {
        // Decoding order I P B B | I B B P: the second I's B-frames show before it (an open group).
        const std::vector<std::int64_t> open { 0, 3, 1, 2, 7, 5, 6, 8 };
        const std::vector<bool> key { true, false, false, false, true, false, false, false };
        QCOMPARE(cleanKeyframes(open, key), (std::vector<bool> { true, false }));
        // I P B B | I P B B: closed groups, every keyframe can start a piece.
        const std::vector<std::int64_t> closed { 0, 3, 1, 2, 4, 7, 5, 6 };
        QCOMPARE(cleanKeyframes(closed, key), (std::vector<bool> { true, true }));
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
};

QTEST_GUILESS_MAIN(TestCutPlan)
#include "test_cutplan.moc"
