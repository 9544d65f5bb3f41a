// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "mediaprobe.h"
#include "pgswriter.h"
#include "splittoolfixture.h"
#include "testfiles.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <csignal>

#include <unistd.h>

using namespace quorvane::test;

namespace {

const QStringList videoSource { "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25" };
const QStringList audioSource { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100" };
const QStringList x264 { "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-sc_threshold", "0" };
const QStringList aac { "-c:a", "aac", "-b:a", "48k" };

QStringList gop(int frames) { return { "-g", QString::number(frames), "-keyint_min", QString::number(frames) }; }

// The stream that decides the cuts: the first video stream, or else the first audio stream.
int referenceStream(const ProbedFile& file)
{
    for (std::size_t i = 0; i < file.streams.size(); ++i) {
        if (file.streams[i].type == "video" && !file.streams[i].coverArt)
            return static_cast<int>(i);
    }
    for (std::size_t i = 0; i < file.streams.size(); ++i) {
        if (file.streams[i].type == "audio")
            return static_cast<int>(i);
    }
    return -1;
}

// Where the time-to-sample table of an MP4's `track`-th track (from 0) starts in `bytes`: its entry count is
// 8 bytes on; -1 when there is none.
qsizetype timeToSampleTable(const QByteArray& bytes, int track)
{
    qsizetype at = 0;
    while (at + 8 <= bytes.size() && bytes.mid(at + 4, 4) != "moov")
        at += std::max<quint32>(8, qFromBigEndian<quint32>(bytes.constData() + at));
    qsizetype stts = at + 8 <= bytes.size() ? at : -1;
    for (int t = 0; t <= track && stts >= 0; ++t)
        stts = bytes.indexOf("stts", stts + 1);
    return stts >= 0 && stts + 12 <= bytes.size() ? stts : -1;
}

} // namespace

class TestSplitTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir ownMedia;
    QString media; // the files split here; CTest's parts share one folder (QUORVANE_SPLITTOOL_MEDIA)
    QTemporaryDir work;
    int folders = 0;

    QString source(const QString& name) const { return QDir(media).filePath(name); }
    QString madeMark() const { return source(".made"); }

    // A fresh folder holding a copy of `name` under `as`; returns the copy's path.
    QString copyIntoFolder(const QString& name, const QString& as = {})
    {
        const QString folder = work.filePath(QString::number(++folders));
        QDir().mkpath(folder);
        const QString target = QDir(folder).filePath(as.isEmpty() ? name : as);
        if (!QFile::copy(source(name), target))
            qWarning("cannot copy %s", qPrintable(name));
        return target;
    }

    // Every packet of every stream of `piece`: times, flags, size and a digest of its bytes.
    static QString packetDigests(const QString& piece)
    {
        QProcess ffmpeg;
        ffmpeg.start(
            "ffmpeg", { "-nostdin", "-v", "error", "-i", piece, "-map", "0", "-c", "copy", "-f", "framemd5", "-" });
        ffmpeg.waitForFinished(60000);
        return QString::fromLatin1(ffmpeg.readAllStandardOutput()).section('\n', 4); // past the header lines
    }

    // Starts the tool on `path` in 5 s pieces, and returns once it holds with piece `piece` open.
    static void startHeld(QProcess& tool, const QString& path, int piece)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUORVANE_SPLIT_HOLD_FOR_TEST", QString::number(piece));
        tool.setProcessEnvironment(environment);
        QSignalSpy said(&tool, &QProcess::readyReadStandardError);
        tool.start(QStringLiteral(QUORVANE_SPLIT_TOOL), { "-split", "5", path });
        QVERIFY(tool.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return said.count() > 0; }, 30000));
        QVERIFY(tool.readAllStandardError().contains("holding"));
    }

    static QString pieceName(const QString& path, int number)
    {
        const QFileInfo info(path);
        const QString suffix = info.fileName().contains('.') ? "." + info.suffix() : QString();
        const QString stem = suffix.isEmpty() ? info.fileName() : info.fileName().chopped(suffix.size());
        return info.dir().filePath(QStringLiteral("%1_%2%3").arg(stem).arg(number, 3, 10, QChar('0')).arg(suffix));
    }

    // The first audio stream, decoded.
    // What a second HEVC decoder (libde265) warns of, reading the file's video.
    int secondDecoderWarnings(const QString& path) const
    {
        const QString stream = work.filePath("second-decoder.hevc");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            { "-nostdin", "-v", "error", "-y", "-i", path, "-map", "0:v", "-c", "copy", "-bsf:v", "hevc_mp4toannexb",
                "-f", "hevc", stream });
        ffmpeg.waitForFinished(60000);
        QProcess decoder;
        decoder.start("libde265-dec265", { "-q", stream });
        if (!decoder.waitForFinished(120000) || decoder.exitCode() != 0)
            return -1;
        return static_cast<int>(decoder.readAllStandardError().count("WARNING"));
    }

    // The kind of NAL unit of the first picture of a file's video, as FFmpeg names it ("IDR_W_RADL", "CRA_NUT").
    static QString firstPictureKind(const QString& path)
    {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            { "-nostdin", "-v", "trace", "-i", path, "-map", "0:v", "-frames:v", "1", "-c", "copy", "-bsf:v",
                "trace_headers", "-f", "null", "-" });
        ffmpeg.waitForFinished(60000);
        const QString said = QString::fromUtf8(ffmpeg.readAllStandardError());
        for (auto units = QRegularExpression("trace_headers.*nal_unit_type: \\d+\\((\\w+)\\)").globalMatch(said);
             units.hasNext();) {
            const QString kind = units.next().captured(1);
            if (!kind.contains("PS") && !kind.contains("SEI") && kind != "AUD")
                return kind;
        }
        return {};
    }

    static QByteArray decodedAudio(const QString& path, int stream = 0)
    {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            { "-nostdin", "-v", "error", "-i", path, "-map", QStringLiteral("0:a:%1").arg(stream), "-f", "s16le",
                "-" });
        ffmpeg.waitForFinished(60000);
        return ffmpeg.readAllStandardOutput();
    }

    // How far apart two runs of 16-bit samples are, sample for sample: the largest difference in steps.
    static int furthestApart(const QByteArray& a, const QByteArray& b)
    {
        int furthest = 0;
        for (qsizetype i = 0; i + 1 < std::min(a.size(), b.size()); i += 2)
            furthest = std::max(furthest,
                qAbs(qFromLittleEndian<qint16>(a.constData() + i) - qFromLittleEndian<qint16>(b.constData() + i)));
        return furthest;
    }

    // The subtitle pictures of a file as decoded: for each, when it comes (from the file's start, to a tenth
    // of a second) and whether it shows a picture (1) or clears it (0), each followed by a space.
    static QString subtitlePictures(const QString& path)
    {
        QProcess ffprobe;
        ffprobe.start("ffprobe",
            { "-v", "error", "-select_streams", "s", "-show_entries", "format=start_time:subtitle=pts_time,num_rects",
                "-of", "csv=p=0", path });
        ffprobe.waitForFinished(60000);
        const QStringList lines = QString::fromLatin1(ffprobe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (lines.isEmpty())
            return {};
        const double start = lines.last().toDouble(); // the format's start comes last
        QString said;
        for (const QString& line : lines.mid(0, lines.size() - 1)) {
            const QStringList fields = line.split(',');
            if (fields.size() >= 2)
                said += QStringLiteral("%1 %2 ")
                            .arg(qRound((fields[0].toDouble() - start) * 10))
                            .arg(fields[1].toInt() > 0);
        }
        return said;
    }

    // A 192-byte transport stream whose packets' arrival times (30 bits, 27 MHz, wrapping) rise throughout.
    static bool arrivalTimesRise(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || file.size() % 192 != 0)
            return false;
        const QByteArray bytes = file.readAll();
        const auto stamp = [&](qsizetype at) {
            const auto* b = reinterpret_cast<const uchar*>(bytes.constData() + at);
            return ((quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3]) & 0x3fffffffu;
        };
        for (qsizetype at = 0; at < bytes.size(); at += 192) {
            if (bytes[at + 4] != 0x47)
                return false;
            const quint32 step = (stamp(at) - (at > 0 ? stamp(at - 192) : 0u)) & 0x3fffffffu;
            if (at > 0 && (step == 0 || step > 27000000u)) // never back, never a second's jump
                return false;
        }
        return true;
    }

    // Splits `path` and checks what every split must hold; returns the pieces' probes.
    // `frameSlack`: how much longer than one audio frame a piece's audio may run past its pictures' last
    // frame; one frame at 25 per second, more for a varying frame rate. `said`, when given, gets what the tool
    // wrote on standard error.
    std::vector<ProbedFile> splitAndCheck(const QString& path, double length, int expectedPieces, bool moovFirst = true,
        int longPieces = 0, double frameSlack = 0.04, int sharedKeyframes = 0, QString* said = nullptr)
    {
        return splitAndCheckAsked({ "-split", QString::number(length) }, path, length, expectedPieces, moovFirst,
            longPieces, frameSlack, sharedKeyframes, said);
    }
    // The same, for pieces `asked` other than by a length (-splits, -parts): no piece is longer than `length`,
    // and an `expectedPieces` of -1 takes as many as the tool wrote.
    std::vector<ProbedFile> splitAndCheckAsked(const QStringList& asked, const QString& path, double length,
        int expectedPieces, bool moovFirst = true, int longPieces = 0, double frameSlack = 0.04,
        int sharedKeyframes = 0, QString* said = nullptr)
    {
        std::vector<ProbedFile> pieces;
        const ProbedFile whole = probeMedia(path.toStdString());
        const bool movFamily = QRegularExpression("\\.(mp4|mov|m4v|m4a|3gp)$").match(path).hasMatch();
        const bool matroska = QRegularExpression("\\.(mkv|webm)$").match(path).hasMatch();
        const QByteArray before = digest(path);
        const ToolRun run = runTool(asked + QStringList { path });
        if (said)
            *said = run.err;
        if (expectedPieces < 0) {
            expectedPieces = 0;
            while (QFile::exists(pieceName(path, expectedPieces + 1)))
                ++expectedPieces;
        }
        [&] {
            QVERIFY2(whole.readable, qPrintable(path));
            QVERIFY2(run.finished && !run.crashed, qPrintable(run.err));
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            QCOMPARE(run.err.count("no keyframe within"), longPieces);
            QCOMPARE(digest(path), before); // the source is only read

            QStringList expected { QFileInfo(path).fileName() };
            for (int n = 1; n <= expectedPieces; ++n)
                expected << QFileInfo(pieceName(path, n)).fileName();
            expected.sort();
            QCOMPARE(filesIn(QFileInfo(path).path()), expected);

            const int ref = referenceStream(whole);
            // Sound may run on well past the last picture: the last piece ends with it.
            double soundPast = 0;
            for (const ProbedStream& s : whole.streams) {
                if (s.type == "audio" && s.packets > 0)
                    soundPast = std::max(soundPast, s.end - whole.streams[static_cast<std::size_t>(ref)].end);
            }
            if (soundPast < 0.0233 + frameSlack)
                soundPast = 0;
            std::vector<long long> packets(whole.streams.size(), 0);
            double total = 0;
            std::vector<long long> frames(whole.streams.size(), 0);
            for (int n = 1; n <= expectedPieces; ++n) {
                const QString piece = pieceName(path, n);
                pieces.push_back(probeMedia(piece.toStdString()));
                const ProbedFile& p = pieces.back();
                QVERIFY2(p.readable, qPrintable(piece));
                // Every piece plays without an error from its first frame.
                const DecodeReport decoded = decodeReport(piece);
                QVERIFY2(decoded.errors.isEmpty(), qPrintable(piece + ": " + decoded.errors));
                QCOMPARE(p.streams.size(), whole.streams.size());
                QCOMPARE(p.title, whole.title);
                QCOMPARE(p.programs, whole.programs);
                for (std::size_t s = 0; s < p.streams.size(); ++s) {
                    // Every video stream starts at a keyframe of its own (a broadcast's second program too).
                    if (p.streams[s].type == "video" && !p.streams[s].coverArt) {
                        QVERIFY2(
                            p.streams[s].firstIsKey, qPrintable(QStringLiteral("%1, stream %2").arg(piece).arg(s)));
                        frames[s] += decoded.frames.value(static_cast<int>(s), -1);
                    }
                    QCOMPARE(p.streams[s].attachment, whole.streams[s].attachment);
                    QCOMPARE(p.streams[s].type, whole.streams[s].type);
                    QCOMPARE(p.streams[s].codec, whole.streams[s].codec);
                    QCOMPARE(p.streams[s].language, whole.streams[s].language);
                    QCOMPARE(p.streams[s].rotation, whole.streams[s].rotation);
                    QCOMPARE(p.streams[s].coverArt, whole.streams[s].coverArt);
                    if (whole.streams[s].coverArt) // the cover goes with every piece
                        QCOMPARE(p.streams[s].contentPackets, whole.streams[s].contentPackets);
                    else
                        packets[s] += p.streams[s].contentPackets;
                }
                const ProbedStream& r = p.streams[static_cast<std::size_t>(ref)];
                QVERIFY2(r.firstIsKey, qPrintable(piece));
                // Each piece starts at 0, but for the first, which keeps where the source's pictures start after
                // the file's start. (Matroska's writer and reader move Opus audio's priming by a few ms against
                // the pictures, as in any copy FFmpeg makes of such a file: within one audio frame.)
                const double refStart
                    = n == 1 ? whole.streams[static_cast<std::size_t>(ref)].start - std::max(whole.start, 0.0) : 0.0;
                // (A TS piece's clock starts at 1.4 s, as in any TS file FFmpeg writes.)
                const double fileStart = std::max(p.start, 0.0);
                QVERIFY2(qAbs(r.start - fileStart - refStart) < (n == 1 && path.endsWith(".webm") ? 0.0201 : 1e-3),
                    qPrintable(QStringLiteral("%1 starts at %2").arg(piece).arg(r.start)));
                // A piece lasts from the earliest start of its streams (sound may start before the pictures);
                // what shows before 0 (an encoder's priming frame) is decoded but never shown. Less than half
                // a frame over the length counts as the length.
                double earliest = r.start;
                for (const ProbedStream& s : p.streams) {
                    if ((s.type == "video" || s.type == "audio") && !s.coverArt && s.packets > 0)
                        earliest = std::min(earliest, s.start);
                }
                const double last = n == expectedPieces ? soundPast : 0.0;
                const double duration = r.end + last - (n == 1 ? std::max(earliest, 0.0) : earliest);
                if (longPieces == 0)
                    QVERIFY2(duration <= length + r.frame / 2 + 1e-3,
                        qPrintable(QStringLiteral("%1 lasts %2").arg(piece).arg(duration)));
                total += duration;
                // Audio stays with the picture: within one AAC frame at each end.
                for (std::size_t i = 0; i < p.streams.size(); ++i) {
                    const ProbedStream& s = p.streams[i];
                    if (s.type != "audio" || ref == static_cast<int>(i))
                        continue;
                    // The first piece keeps the source's own start (an encoder's priming frame, say).
                    const double from = n == 1 ? whole.streams[i].start - std::max(whole.start, 0.0) : 0.0;
                    QVERIFY2(s.start - fileStart > from - 1e-3
                            && s.start - fileStart < from + std::max(0.0233, whole.streams[i].frame + 1e-3),
                        qPrintable(QString::number(s.start)));
                    const double past
                        = last > 0 ? whole.streams[i].end - whole.streams[static_cast<std::size_t>(ref)].end : 0;
                    QVERIFY2(
                        qAbs(s.end - r.end - past) < 0.0233 + frameSlack, qPrintable(QString::number(s.end - r.end)));
                }
                // Nothing outlasts the pictures: a subtitle that crosses a cut ends there.
                for (const ProbedStream& s : p.streams) {
                    if (s.type == "subtitle" && s.contentPackets > 0)
                        QVERIFY2(s.end <= r.end + 0.0233 + frameSlack,
                            qPrintable(QStringLiteral("%1: a subtitle lasts to %2").arg(piece).arg(s.end)));
                }
                if (moovFirst) {
                    const auto boxes = topLevelBoxes(piece.toStdString());
                    const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
                    const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
                    QVERIFY(moov != boxes.end() && mdat != boxes.end() && moov < mdat);
                }
            }
            // Every packet of every stream in exactly one piece, and the lengths add up. A subtitle that
            // crosses a cut is in both pieces, each holding its part; so is an MP4 audio frame, and the frame
            // before each piece's first, decoded there but not shown. Matroska pieces start with a few frames
            // before their first too (80 ms of Opus, a Vorbis frame).
            for (std::size_t s = 0; s < packets.size(); ++s) {
                if (whole.streams[s].type == "subtitle"
                    || (whole.streams[s].type == "audio" && (movFamily || matroska))) {
                    QVERIFY(packets[s] >= whole.streams[s].contentPackets);
                    QVERIFY(packets[s] < whole.streams[s].contentPackets + (matroska ? 8 : 2) * expectedPieces);
                } else if (static_cast<int>(s) == ref) {
                    QCOMPARE(packets[s], whole.streams[s].contentPackets + sharedKeyframes);
                } else if (!whole.streams[s].coverArt) {
                    QCOMPARE(packets[s], whole.streams[s].contentPackets);
                }
            }
            // No picture of the source is lost or shown twice (a cover picture is in every piece).
            const DecodeReport source = decodeReport(path);
            for (std::size_t s = 0; s < whole.streams.size(); ++s) {
                if (whole.streams[s].type == "video" && !whole.streams[s].coverArt)
                    QCOMPARE(frames[s], source.frames.value(static_cast<int>(s), -2));
            }
            const ProbedStream& r = whole.streams[static_cast<std::size_t>(ref)];
            double from = r.start;
            for (const ProbedStream& s : whole.streams) {
                if ((s.type == "video" || s.type == "audio") && !s.coverArt && s.packets > 0)
                    from = std::min(from, s.start);
            }
            from = std::max(from, 0.0);
            // Where pictures come without a duration (MP4 with reordered pictures), a piece's end is measured
            // at its last picture's start: each piece may come up one picture short of where the next starts.
            QVERIFY2(qAbs(total - (r.end + soundPast - from)) < std::max(0.041, r.frame + 1e-3) * expectedPieces,
                qPrintable(QStringLiteral("%1 against %2").arg(total).arg(r.end + soundPast - from)));
            // In MP4 and Matroska pieces the sound meets exactly at every join: what the pieces show of each
            // audio stream adds up to the source's.
            for (std::size_t s = 0; (movFamily || matroska) && s < whole.streams.size(); ++s) {
                if (whole.streams[s].type != "audio" || static_cast<int>(s) == ref)
                    continue;
                double shown = 0;
                for (const ProbedFile& p : pieces)
                    shown += p.streams[s].end - p.streams[s].start;
                QVERIFY2(qAbs(shown - (whole.streams[s].end - whole.streams[s].start)) < 1e-3 * expectedPieces,
                    qPrintable(QStringLiteral("audio: %1 against %2")
                                   .arg(shown)
                                   .arg(whole.streams[s].end - whole.streams[s].start)));
            }
        }();
        return pieces;
    }

    // A failing split: its status, one line naming the file, and nothing left beside it.
    void expectFailure(const QString& path, int status, const QString& words, const QStringList& allowedPieces = {})
    {
        const QStringList before = filesIn(QFileInfo(path).path());
        const ToolRun run = runTool({ "-split", "5", path });
        QVERIFY2(run.finished && !run.crashed, qPrintable(run.err));
        QCOMPARE(run.exitCode, status);
        QVERIFY2(run.err.startsWith(path + ": ") && run.err.contains(words), qPrintable(run.err));
        QCOMPARE(run.err.count('\n'), 1);
        QStringList after = filesIn(QFileInfo(path).path());
        for (const QString& piece : allowedPieces)
            after.removeOne(piece);
        QCOMPARE(after, before);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ownMedia.isValid() && work.isValid());
        media = qEnvironmentVariable("QUORVANE_SPLITTOOL_MEDIA", ownMedia.path());
        if (QFile::exists(madeMark()))
            return;
        QVERIFY(QDir().mkpath(media));
        const auto make = [&](const QString& name, const QStringList& arguments) {
            QVERIFY2(makeMedia(source(name), arguments), qPrintable(name));
        };
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile file(source(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        make("gop2.mp4",
            videoSource + audioSource + QStringList { "-t", "12", "-bf", "2" } + x264 + gop(50) + aac
                + QStringList { "-metadata", "title=Harbour at dawn" });
        make("gop10.mp4", videoSource + audioSource + QStringList { "-t", "25" } + x264 + gop(250) + aac);
        // Keyframes 10 s apart, as encoders make them by default.
        make("exact.mp4",
            videoSource + audioSource
                + QStringList { "-t", "24", "-c:v", "libx264", "-bf", "3", "-x264-params", "b-pyramid=normal" }
                + gop(250) + aac);
        make("exactopen.mp4",
            videoSource + audioSource
                + QStringList { "-t", "24", "-c:v", "libx264", "-bf", "3", "-x264-params",
                    "b-pyramid=normal:open-gop=1:scenecut=0" }
                + gop(250) + aac);
        make("exactopen4.mp4",
            videoSource + audioSource
                + QStringList { "-t", "24", "-c:v", "libx264", "-bf", "3", "-x264-params",
                    "b-pyramid=normal:open-gop=1:scenecut=0" }
                + gop(100) + aac);
        make("exactopen4.ts", // CAVLC: the slices' data after a changed header moves by bits, not bytes
            videoSource + audioSource
                + QStringList { "-t", "24", "-c:v", "libx264", "-bf", "3", "-x264-params",
                    "b-pyramid=normal:open-gop=1:scenecut=0:cabac=0:weightp=2" }
                + gop(100) + aac);
        make("exact10.mp4",
            videoSource + audioSource
                + QStringList { "-t", "24", "-c:v", "libx265", "-pix_fmt", "yuv420p10le", "-x265-params",
                    "crf=22:keyint=250:min-keyint=250:bframes=4:log-level=error" }
                + aac);
        make("exactopen.mkv", QStringList { "-i", source("exactopen.mp4"), "-c", "copy" });
        make("exactopen.ts", QStringList { "-i", source("exactopen.mp4"), "-c", "copy" });
        make("exact10.mkv", QStringList { "-i", source("exact10.mp4"), "-c", "copy" });
        // A broadcast's: interlaced, top field first.
        make("exactinterlaced.ts",
            videoSource + audioSource
                + QStringList { "-t", "24", "-vf", "setfield=tff", "-c:v", "libx264", "-flags", "+ildct+ilme",
                    "-x264-params", "tff=1" }
                + gop(250) + aac);
        // A phone's: 30 pictures a second, three of every ten left out.
        make("exactphone.mp4",
            QStringList { "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30" } + audioSource
                + QStringList { "-t", "24", "-vf", "select='lt(mod(n\\,10)\\,7)'", "-fps_mode", "vfr" } + x264
                + QStringList { "-bf", "2" } + gop(250) + aac);
        make("audio.m4a", audioSource + QStringList { "-t", "12" } + aac);
        make("video.mp4", videoSource + QStringList { "-t", "12" } + x264 + gop(25));
        make("vfr.mp4",
            videoSource
                + QStringList { "-t", "12", "-vf", "select='lt(mod(n\\,10)\\,3)+eq(mod(n\\,10)\\,7)'", "-fps_mode",
                    "vfr" }
                + x264 + gop(10));
        make("clip.m4v", QStringList { "-i", source("gop2.mp4"), "-c", "copy" });
        make("clip.3gp", QStringList { "-i", source("gop2.mp4"), "-c", "copy" });
        make("clip.mov", videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(50) + aac);
        write("cues.srt",
            "1\n00:00:01,000 --> 00:00:02,500\nFirst\n\n2\n00:00:03,500 --> 00:00:04,500\nAcross the cut\n\n"
            "3\n00:00:09,000 --> 00:00:10,000\nLast\n\n");
        const QStringList withCues = videoSource + audioSource
            + QStringList { "-i", source("cues.srt"), "-t", "12", "-map", "0:v", "-map", "1:a", "-map", "2:s" } + x264
            + gop(50) + aac;
        make("clip.mkv", withCues + QStringList { "-c:s", "srt" });
        make("subtitled.mp4", withCues + QStringList { "-c:s", "mov_text" });
        make("upright.mp4", videoSource + QStringList { "-t", "6" } + x264 + gop(25));
        // ffmpeg turns a "rotate" tag into a display matrix when it copies a stream; ffmpeg 7 takes the rotation as
        // an option of its input instead.
        make("rotated.mp4", QStringList { "-i", source("upright.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90" });
        if (probeMedia(source("rotated.mp4").toStdString()).streams.at(0).rotation == 0.0)
            make("rotated.mp4", { "-display_rotation:v:0", "90", "-i", source("upright.mp4"), "-c", "copy" });
        make("langs.mp4",
            videoSource + audioSource
                + QStringList { "-f", "lavfi", "-i", "sine=frequency=220:sample_rate=44100", "-t", "8", "-map", "0:v",
                    "-map", "1:a", "-map", "2:a" }
                + x264 + gop(25) + aac
                + QStringList { "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=fra" });
        make("faststart.mp4",
            videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(25) + aac
                + QStringList { "-movflags", "+faststart" });
        // A phone's kind of video: a varying frame rate, B-frames, timestamps with jitter, so the delay from
        // decoding a keyframe to showing it changes from one keyframe to the next.
        make("phone.mp4",
            videoSource + audioSource
                + QStringList { "-t", "20", "-vf",
                    "settb=1/90000,setpts='(N/25+0.012*sin(N*1.3)+0.01*mod(N\\,4))/TB',"
                    "select='not(eq(mod(n\\,7)\\,3))'",
                    "-fps_mode", "vfr", "-enc_time_base", "1/90000", "-video_track_timescale", "90000", "-c:v",
                    "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-g", "37", "-keyint_min", "5",
                    "-x264-params", "scenecut=0:bframes=3:b-adapt=0:b-pyramid=normal" }
                + aac);
        // The same with its last picture's duration 0 in the time-to-sample table, as FFmpeg 7 writes a varying
        // frame rate: the reader leaves that picture's length to a guess.
        {
            QFile phone(source("phone.mp4"));
            QVERIFY(phone.open(QIODevice::ReadOnly));
            QByteArray bytes = phone.readAll();
            const qsizetype stts = timeToSampleTable(bytes, 0); // the pictures'
            QVERIFY(stts > 0);
            const auto entries = qFromBigEndian<quint32>(bytes.constData() + stts + 8);
            const qsizetype last = stts + 12 + static_cast<qsizetype>(entries - 1) * 8;
            QCOMPARE(qFromBigEndian<quint32>(bytes.constData() + last), 1u);
            qToBigEndian<quint32>(0, bytes.data() + last + 4);
            write("lastzero.mp4", bytes);
        }
        // VP9 in MP4 goes through a parser when the file is read as usual, and is read as such (its packets
        // are not left in the file) beside AAC that is.
        make("vp9.mp4",
            videoSource + audioSource
                + QStringList { "-t", "12", "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-g",
                    "50" }
                + aac);
        make("clip.webm",
            videoSource + audioSource
                + QStringList { "-t", "12", "-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "200k",
                    "-c:a", "libopus" }
                + gop(25));
        make("vorbis.webm",
            videoSource + audioSource
                + QStringList { "-t", "12", "-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "200k",
                    "-c:a", "libvorbis" }
                + gop(25));
        make("mp3.mkv",
            videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(25)
                + QStringList { "-c:a", "libmp3lame", "-b:a", "64k" });
        make("fragmented.mp4",
            videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(25) + aac
                + QStringList { "-movflags", "+frag_keyframe+empty_moov" });
        make("clip.ts", videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(25) + aac);
        // Recordings joined end to end, each announced a little shorter than its audio runs: the audio's
        // timestamps step back at every join, as in joined camera clips and broadcast captures.
        QFile joins(source("joins.txt"));
        QVERIFY(joins.open(QIODevice::WriteOnly));
        for (int i = 1; i <= 3; ++i) {
            const QString part = source(QStringLiteral("part%1.ts").arg(i));
            make(QFileInfo(part).fileName(),
                videoSource
                    + QStringList { "-f", "lavfi", "-i", QStringLiteral("sine=frequency=%1").arg(200 * i), "-t",
                        "4.01" }
                    + x264 + gop(25) + aac);
            joins.write(QStringLiteral("file '%1'\n%2").arg(part, i < 3 ? "duration 3.999\n" : "").toUtf8());
        }
        joins.close();
        make("joined.ts", QStringList { "-f", "concat", "-safe", "0", "-i", source("joins.txt"), "-c", "copy" });
        write("chapters.txt",
            ";FFMETADATA1\n"
            "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\ntitle=One\n"
            "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=7000\ntitle=Two\n"
            "[CHAPTER]\nTIMEBASE=1/1000\nSTART=7000\nEND=12000\ntitle=Three\n");
        const QStringList withChapters = videoSource + audioSource
            + QStringList { "-f", "lavfi", "-i", "sine=frequency=220:sample_rate=44100", "-i", source("cues.srt"), "-i",
                  source("chapters.txt"), "-t", "12", "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:s",
                  "-map_chapters", "4", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=deu" }
            + x264 + gop(25) + aac;
        make("chapters.mkv", withChapters + QStringList { "-c:s", "srt" });
        make("chapters.mp4", withChapters + QStringList { "-c:s", "mov_text" });
        make("timecode.mov",
            videoSource + audioSource + QStringList { "-t", "12", "-timecode", "01:00:00:00" } + x264 + gop(25) + aac);
        make("music.mp3",
            QStringList {
                "-f", "lavfi", "-i", "anoisesrc=d=12:a=0.2:sample_rate=44100", "-c:a", "libmp3lame", "-b:a", "64k" });
        make("mp3audio.mp4",
            videoSource + audioSource + QStringList { "-t", "12" } + x264 + gop(25)
                + QStringList { "-c:a", "libmp3lame", "-b:a", "64k" });
        // Open groups of pictures: every keyframe after the first has leading pictures that refer to the
        // group before it (x264 asked for it, x265 by default).
        make("open264.mp4",
            videoSource
                + QStringList { "-t", "12", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-bf",
                    "3", "-x264-params", "open-gop=1:keyint=50:min-keyint=50:scenecut=0:b-adapt=0" });
        make("open265.mp4",
            videoSource
                + QStringList { "-t", "12", "-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                    "keyint=50:min-keyint=50:scenecut=0:log-level=error" });
        make("open264.mkv", QStringList { "-i", source("open264.mp4"), "-c", "copy" });
        make("open265.mkv", QStringList { "-i", source("open265.mp4"), "-c", "copy" });
        make("open265.ts", QStringList { "-i", source("open265.mp4"), "-c", "copy" });
        make("xvid.avi", videoSource + QStringList { "-t", "4", "-c:v", "mpeg4", "-vtag", "XVID" } + gop(25));
        make("still.png", videoSource + QStringList { "-frames:v", "1" });
        make("cover.m4a",
            audioSource + QStringList { "-i", source("still.png"), "-t", "12", "-map", "0:a", "-map", "1:v" } + aac
                + QStringList { "-c:v", "copy", "-disposition:v:0", "attached_pic" });
        make("music.flac",
            audioSource
                + QStringList { "-i", source("still.png"), "-t", "12", "-map", "0:a", "-map", "1:v", "-c:a", "flac",
                    "-c:v", "copy", "-disposition:v:0", "attached_pic", "-metadata", "title=Night song" });
        // Files as cameras, phones, broadcasts and release groups make them.
        make("camcorder.MTS",
            videoSource + audioSource + QStringList { "-t", "12", "-mpegts_m2ts_mode", "1" } + x264 + gop(25) + aac);
        make("broadcast.ts",
            videoSource + audioSource
                + QStringList { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f", "lavfi", "-i",
                    "sine=frequency=880:sample_rate=44100", "-t", "12", "-map", "0:v", "-map", "1:a", "-map", "2:v",
                    "-map", "3:a", "-program", "title=One:st=0:st=1", "-program", "title=Two:st=2:st=3" }
                + x264 + QStringList { "-g:v:0", "25", "-g:v:1", "30" } + aac);
        write("Harbour.ttf", QByteArray(3000, 'f') + "glyphs"); // only its bytes matter
        write("styled.ass",
            "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
            "Style: Default,Harbour,20\n\n[Events]\nFormat: Layer, Start, End, Style, Text\n"
            "Dialogue: 0,0:00:01.00,0:00:02.50,Default,First\n"
            "Dialogue: 0,0:00:03.50,0:00:06.50,Default,Across the cut\n");
        make("styled.mkv",
            videoSource + audioSource
                + QStringList { "-i", source("styled.ass"), "-t", "12", "-map", "0:v", "-map", "1:a", "-map", "2:s",
                    "-attach", source("Harbour.ttf"), "-metadata:s:t", "mimetype=application/x-truetype-font" }
                + x264 + gop(25) + aac + QStringList { "-c:s", "ass" });
        // An old phone's H.263, whose header says 12:11 where its container says 1:1.
        make("h263.3gp",
            QStringList { "-f", "lavfi", "-i", "testsrc2=size=176x144:rate=15", "-t", "12", "-vf", "setsar=12/11",
                "-c:v", "h263", "-g", "15" });
        make("phone.3gp", QStringList { "-i", source("h263.3gp"), "-c", "copy", "-aspect", "176:144" });
        // Sound that starts before the pictures: by half a second (a camera), by 0.1 s (a phone).
        make("sound.m4a", audioSource + QStringList { "-t", "12.6" } + aac);
        make("video30.mp4",
            QStringList { "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30", "-t", "12" } + x264 + gop(30));
        make("lead.mp4",
            QStringList { "-i", source("sound.m4a"), "-itsoffset", "0.52", "-i", source("gop2.mp4"), "-map", "1:v",
                "-map", "0:a", "-c", "copy", "-t", "12.52" });
        make("soundpast.mkv",
            QStringList { "-f", "lavfi", "-t", "10.2", "-i", "testsrc2=size=160x120:rate=25", "-f", "lavfi", "-t",
                "10.9", "-i", "sine=frequency=440:sample_rate=44100" }
                + x264 + gop(30) + aac);
        make("late.mp4",
            QStringList { "-i", source("sound.m4a"), "-itsoffset", "0.1", "-i", source("video30.mp4"), "-map", "1:v",
                "-map", "0:a", "-c", "copy", "-t", "12.1" });
        // Subtitle pictures: Blu-ray's, DVD's and DVB's, one shown across the cut at 4 s.
        QVERIFY(writePgsSubtitles(source("boxes.sup").toStdString(), { { 1.0, 2.5 }, { 3.5, 6.5 }, { 9.0, 10.0 } }));
        const QStringList withBoxes = QStringList { "-f", "lavfi", "-i", "testsrc2=size=720x576:rate=25" } + audioSource
            + QStringList { "-fix_sub_duration", "-i", source("boxes.sup"), "-t", "12", "-map", "0:v", "-map", "1:a",
                  "-map", "2:s" }
            + x264 + gop(25) + aac;
        make("pgs.mkv", withBoxes + QStringList { "-c:s", "copy" });
        make("vobsub.mkv", withBoxes + QStringList { "-c:s", "dvdsub" });
        make("dvbsub.ts", withBoxes + QStringList { "-c:s", "dvbsub" });
        make("ntsc.mp4",
            QStringList { "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30000/1001", "-t", "15" } + x264 + gop(1));
        write(".made", {});
    }

    void everyFileIsMade() { QVERIFY(QFile::exists(madeMark())); }

    void cutsAtKeyframesWithinTheLength()
    {
        // Keyframes every 2 s, B-frames: 5 s pieces are 4 s long, never 6.
        const auto pieces = splitAndCheck(copyIntoFolder("gop2.mp4"), 5, 3);
        QCOMPARE(pieces.size(), std::size_t(3));
        for (const ProbedFile& p : pieces)
            QVERIFY(qAbs(p.streams[0].end - 4.0) < 1e-3);
    }

    void longGroupsOfPicturesAreSaidAndKept()
    {
        // Keyframes every 10 s: two 10 s pieces, each reported on standard error, then the 5 s rest.
        const auto pieces = splitAndCheck(copyIntoFolder("gop10.mp4"), 5, 3, true, 2);
        QCOMPARE(pieces.size(), std::size_t(3));
        QVERIFY(qAbs(pieces[0].streams[0].end - 10.0) < 1e-3);
        QVERIFY(qAbs(pieces[2].streams[0].end - 5.0) < 1e-3);
        // x264's open groups every 4 s: no keyframe after the first is an IDR picture, and the pictures after
        // each let go of pictures from before it. With their leading pictures encoded again, each starts a
        // piece of 4 s that decodes without a complaint.
        splitAndCheck(copyIntoFolder("exactopen4.mp4"), 5, 6);
    }

    // Exact pieces, cut every 5 s where keyframes are 10 s apart (or 4 s, so that the keyframes after the
    // pictures encoded again fall inside pieces): each piece shows 5 s to within a picture (`frame`), and joined
    // they show every picture of the source once; only those in `recoded` (from-to, by the order shown) may
    // differ from the source's, and those by little, at no more than three times their bytes; the sound joined
    // is the source's to within a frame a join. A file the tool cannot encode again is cut at keyframes, with
    // a line saying so.
    void exactPieces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<double>("frame");
        QTest::addColumn<QString>("recoded");
        QTest::newRow("x264, B-pyramid") << "exact.mp4" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("x264, open groups of pictures") << "exactopen.mp4" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("x264, open groups, Matroska") << "exactopen.mkv" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("x264, open groups, MPEG-TS") << "exactopen.ts" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("x264, open groups every 4 s")
            << "exactopen4.mp4" << 5 << 0.04 << "120-200 245-300 370-400 495-500";
        QTest::newRow("x264, open groups every 4 s, CAVLC, MPEG-TS")
            << "exactopen4.ts" << 5 << 0.04 << "120-200 245-300 370-400 495-500";
        QTest::newRow("x265 10-bit, CRA keyframes") << "exact10.mp4" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("x265 10-bit, CRA keyframes, Matroska") << "exact10.mkv" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("interlaced H.264, MPEG-TS") << "exactinterlaced.ts" << 5 << 0.04 << "120-250 370-500";
        QTest::newRow("a phone's varying frame rate") << "exactphone.mp4" << 5 << 0.134 << "100-250 310-500";
    }
    void exactPieces()
    {
        QFETCH(QString, name);
        QFETCH(int, pieces);
        QFETCH(double, frame);
        QFETCH(QString, recoded);
        const QString path = copyIntoFolder(name);
        const ToolRun run = runTool({ "--exact", "--stats", "-split", "5", path });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QRegularExpressionMatch said
            = QRegularExpression("([0-9]+) cuts encoded again, [0-9.]+ s of video, at ([0-9.]+) times its bytes in "
                                 "the file, luma PSNR [0-9.]+ dB overall and ([0-9.]+) dB at the lowest")
                  .match(run.err);
        QVERIFY2(said.hasMatch() && said.captured(1).toInt() >= 2 && said.captured(2).toDouble() <= 3.0
                && said.captured(3).toDouble() >= 45.0 && !run.err.contains("keyframes need pictures"),
            qPrintable(run.err));
        const auto ffmpeg = [](const QStringList& arguments) {
            QProcess process;
            process.start("ffmpeg", QStringList { "-nostdin", "-v", "error" } + arguments);
            process.waitForFinished(120000);
            return QString::fromLatin1(process.readAllStandardOutput());
        };
        // One decoding of a file: what it says on the error level, a checksum of each picture, the first audio
        // stream's samples.
        struct Decoded {
            QString errors;
            QStringList pictures;
            QByteArray sound;
        };
        const auto decode = [&](const QString& file) {
            const QString samples = work.filePath("exact-sound.raw");
            QProcess process;
            process.start("ffmpeg",
                { "-nostdin", "-v", "error", "-y", "-i", file, "-map", "0:v", "-f", "framemd5", "-", "-map", "0:a:0",
                    "-f", "s16le", samples });
            process.waitForFinished(120000);
            Decoded decoded { QString::fromUtf8(process.readAllStandardError()).trimmed(), {}, {} };
            for (const QString& line : QString::fromLatin1(process.readAllStandardOutput()).split('\n'))
                if (!line.isEmpty() && !line.startsWith('#'))
                    decoded.pictures << line.section(',', -1).trimmed();
            QFile sound(samples);
            if (sound.open(QIODevice::ReadOnly))
                decoded.sound = sound.readAll();
            return decoded;
        };
        QStringList joined;
        QByteArray sound;
        for (int n = 1; n <= pieces; ++n) {
            const QString piece = pieceName(path, n);
            const Decoded decoded = decode(piece);
            QCOMPARE(decoded.errors, QString());
            if (name.startsWith("exact10")) {
                QCOMPARE(secondDecoderWarnings(piece), 0);
                // Firefox's way: only the header's first parameter sets of each kind, and at a keyframe with
                // other parameter sets of its own, a decoder that knows only those.
                QCOMPARE(QString::fromStdString(firstParameterSetsError(piece.toStdString())), QString());
            }
            if (name == "exactinterlaced.ts" && n > 1) { // each piece starts with a picture encoded again
                QProcess ffprobe;
                ffprobe.start("ffprobe",
                    { "-v", "error", "-select_streams", "v", "-read_intervals", "%+#1", "-show_entries",
                        "frame=interlaced_frame,top_field_first", "-of", "csv=p=0", piece });
                ffprobe.waitForFinished(60000);
                const QString flags = QString::fromLatin1(ffprobe.readAllStandardOutput());
                QVERIFY2(flags.startsWith("1,1"), qPrintable(flags)); // interlaced, top field first
            }
            const double shown = probeMedia(piece.toStdString()).duration;
            QVERIFY2(n == pieces || qAbs(shown - 5.0) <= frame, qPrintable(QString::number(shown)));
            joined += decoded.pictures;
            QByteArray heard = decoded.sound;
            if (name.endsWith(".mp4") && n < pieces) {
                // What the edit list shows: FFmpeg skips what it hides at the start, but plays on to the end.
                QProcess ffprobe;
                ffprobe.start("ffprobe",
                    { "-v", "error", "-select_streams", "a", "-show_entries", "stream=duration", "-of", "csv=p=0",
                        piece });
                ffprobe.waitForFinished(60000);
                heard.truncate(2 * qRound(ffprobe.readAllStandardOutput().trimmed().toDouble() * 44100));
            }
            sound += heard;
        }
        QVERIFY(!QFile::exists(pieceName(path, pieces + 1)));
        const Decoded original = decode(path);
        const QStringList& whole = original.pictures;
        QCOMPARE(joined.size(), whole.size());
        for (int i = 0; i < whole.size(); ++i) {
            bool mayDiffer = false;
            for (const QString& range : recoded.split(' '))
                mayDiffer = mayDiffer || (i >= range.section('-', 0, 0).toInt() && i < range.section('-', 1).toInt());
            QVERIFY2(mayDiffer || joined[i] == whole[i], qPrintable(QString::number(i)));
        }
        const QByteArray& source = original.sound;
        if (name.endsWith(".mp4")) {
            // Sample for sample, each piece's sound decoded from the frame before its first (AAC's frames
            // overlap); its noise substitution draws other noise, by a few steps of 32768 at most.
            QCOMPARE(sound.size(), source.size());
            const int furthest = furthestApart(sound, source);
            QVERIFY2(furthest <= 64, qPrintable(QString::number(furthest)));
        } else {
            const int aacFrame = 1024 * 2; // samples, as 16-bit mono
            QVERIFY2(qAbs(sound.size() - source.size()) <= (pieces - 1) * aacFrame,
                qPrintable(QStringLiteral("%1 against %2").arg(sound.size()).arg(source.size())));
        }
        // The tool's own measure, checked against ffmpeg's: each piece decoded by itself, the pictures joined.
        const QString psnr = work.filePath("exact-psnr.log");
        QStringList inputs;
        QString graph;
        for (int n = 1; n <= pieces; ++n) {
            inputs << "-i" << pieceName(path, n);
            graph += QStringLiteral("[%1:v]").arg(n - 1);
        }
        ffmpeg(inputs
            + QStringList { "-i", path, "-lavfi",
                graph
                    + QStringLiteral("concat=n=%1:v=1:a=0,settb=1/25,setpts=N[a];[%1:v]settb=1/25,setpts=N[b];"
                                     "[a][b]psnr=stats_file=%2")
                          .arg(pieces)
                          .arg(psnr),
                "-f", "null", "-" });
        QFile stats(psnr);
        QVERIFY(stats.open(QIODevice::ReadOnly));
        double lowest = 1000;
        for (const QByteArray& line : stats.readAll().split('\n')) {
            const QRegularExpressionMatch luma
                = QRegularExpression("psnr_y:([0-9.]+)").match(QString::fromLatin1(line));
            if (luma.hasMatch())
                lowest = std::min(lowest, luma.captured(1).toDouble());
        }
        QVERIFY2(lowest >= 45.0, qPrintable(QString::number(lowest)));
    }

    // Files without an index of every picture are read through once and opened again before they are split;
    // nothing may be kept of the reading that was closed (this crashed on both).
    void exactPiecesOfFilesReadThroughFirst()
    {
        for (const QString name : { "clip.mkv", "fragmented.mp4" }) {
            const QString path = copyIntoFolder(name);
            const ToolRun run = runTool({ "--exact", "-split", "5", path });
            QVERIFY2(run.exitCode == 0, qPrintable(name + ": " + run.err));
            for (int n = 1; n <= 3; ++n)
                QCOMPARE(decodeErrors(pieceName(path, n)), QString());
        }
    }

    void exactLengthsElsewhereAreCutAtKeyframes()
    {
        const ToolRun other = runTool({ "--exact", "-split", "5", copyIntoFolder("clip.webm") });
        QVERIFY2(other.exitCode == 0 && other.err.contains("this file is cut at keyframes"), qPrintable(other.err));
    }

    void kindsOfInput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("moovFirst");
        QTest::newRow("audio only, keeps .m4a") << "audio.m4a" << 5.0 << 3 << true;
        QTest::newRow("video only") << "video.mp4" << 5.0 << 3 << true;
        QTest::newRow("audio with a cover picture") << "cover.m4a" << 5.0 << 3 << true;
        // The last 3.04 s fit in one piece: 0.04 s is less than half a frame at its 10 frames a second.
        QTest::newRow("variable frame rate") << "vfr.mp4" << 3.0 << 5 << true;
        QTest::newRow("MOV") << "clip.mov" << 5.0 << 3 << true;
        QTest::newRow("M4V") << "clip.m4v" << 5.0 << 3 << true;
        QTest::newRow("3GP") << "clip.3gp" << 5.0 << 3 << true;
        QTest::newRow("Matroska with subtitles") << "clip.mkv" << 5.0 << 3 << false;
        QTest::newRow("MP4 with subtitles") << "subtitled.mp4" << 5.0 << 3 << true;
        QTest::newRow("rotation kept") << "rotated.mp4" << 2.0 << 3 << true;
        QTest::newRow("two audio tracks with languages") << "langs.mp4" << 4.0 << 2 << true;
        QTest::newRow("a decimal length") << "video.mp4" << 2.5 << 6 << true;
        QTest::newRow("WebM") << "clip.webm" << 5.0 << 3 << false;
        QTest::newRow("WebM with Vorbis") << "vorbis.webm" << 5.0 << 3 << false;
        QTest::newRow("Matroska with MP3") << "mp3.mkv" << 5.0 << 3 << false;
        QTest::newRow("fragmented MP4") << "fragmented.mp4" << 5.0 << 3 << true;
        QTest::newRow("MPEG-TS") << "clip.ts" << 5.0 << 3 << false;
        QTest::newRow("joined recordings, timestamps stepping back") << "joined.ts" << 5.0 << 3 << false;
        QTest::newRow("Matroska, two languages, chapters") << "chapters.mkv" << 5.0 << 3 << false;
        QTest::newRow("MP4, two languages, chapters") << "chapters.mp4" << 5.0 << 3 << true;
        QTest::newRow("camcorder TS, 192-byte packets, named .MTS") << "camcorder.MTS" << 5.0 << 3 << false;
        QTest::newRow("TS with two programs") << "broadcast.ts" << 5.0 << 3 << false;
        QTest::newRow("Matroska, styled subtitles with their font") << "styled.mkv" << 5.0 << 3 << false;
        QTest::newRow("3GP with H.263") << "phone.3gp" << 5.0 << 3 << true;
        QTest::newRow("sound half a second before the pictures") << "lead.mp4" << 4.0 << 4 << true;
        QTest::newRow("pictures 0.1 s after the sound") << "late.mp4" << 3.0 << 5 << true;
        // The pictures' end fits in the fourth piece, the sound's does not: a fifth starts at the last keyframe.
        QTest::newRow("sound running on past the pictures, Matroska") << "soundpast.mkv" << 3.0 << 5 << false;
        QTest::newRow("29.97 frames a second, all keyframes") << "ntsc.mp4" << 1.0 << 15 << true;
        QTest::newRow("FLAC with tags and a picture") << "music.flac" << 5.0 << 3 << false;
        QTest::newRow("Blu-ray subtitles in Matroska") << "pgs.mkv" << 5.0 << 3 << false;
        QTest::newRow("DVD subtitles in Matroska") << "vobsub.mkv" << 5.0 << 3 << false;
        QTest::newRow("DVB subtitles in TS") << "dvbsub.ts" << 5.0 << 3 << false;
    }
    void kindsOfInput()
    {
        QFETCH(QString, name);
        QFETCH(double, length);
        QFETCH(int, pieces);
        QFETCH(bool, moovFirst);
        const QString path = copyIntoFolder(name);
        const auto probed = splitAndCheck(path, length, pieces, moovFirst);
        QCOMPARE(probed.size(), std::size_t(pieces));
        if (name == "rotated.mp4")
            QCOMPARE(probed.front().streams[0].rotation, 90.0);
        if (name == "langs.mp4") {
            QCOMPARE(probed.front().streams[1].language, std::string("eng"));
            QCOMPARE(probed.front().streams[2].language, std::string("fra"));
        }
        if (name == "ntsc.mp4") {
            // 30 frames each, not 29: the k-th cut is at 1.001·k s, within a frame of k s.
            for (std::size_t p = 0; p < probed.size(); ++p)
                QCOMPARE(qRound(probed[p].streams[0].end / probed[0].streams[0].frame), 30);
        }
        if (QRegularExpression("\\.(mkv|webm)$").match(name).hasMatch() && probed.front().streams.size() > 1) {
            // Each piece's sound decoded as a player does, and joined, is the source's: as many samples, and for
            // Opus and Vorbis the same ones, each piece's first frame decoded after the frames before it, which
            // Opus's pre-skip hides and which give no sound in Vorbis (the Opus decoder has settled after 80 ms, by
            // a few steps of 32768). Other codecs' frames before would need a player to honour DiscardPadding.
            const std::string codec = probed.front().streams[1].codec;
            QByteArray joined;
            for (int n = 1; n <= pieces; ++n)
                joined += decodedAudio(pieceName(path, n));
            const QByteArray whole = decodedAudio(path);
            QCOMPARE(joined.size(), whole.size());
            if (codec == "opus" || codec == "vorbis") {
                const int furthest = furthestApart(joined, whole);
                QVERIFY2(furthest <= (codec == "opus" ? 256 : 64), qPrintable(QString::number(furthest)));
            }
        }
        if (name == "music.flac") {
            // Joined, the pieces' samples are the source's, and each piece's header counts its own.
            QByteArray joined;
            for (int n = 1; n <= pieces; ++n)
                joined += decodedAudio(pieceName(path, n));
            const QByteArray whole = decodedAudio(path);
            QCOMPARE(joined.size(), whole.size());
            QVERIFY(joined == whole);
            for (const ProbedFile& p : probed)
                QVERIFY(qAbs(p.duration - (p.streams[0].end - p.streams[0].start)) < 1e-3);
        }
        if (name == "pgs.mkv" || name == "vobsub.mkv" || name == "dvbsub.ts") {
            // The box shown from 3.5 to 6.5 s shows in the first piece to its end, and from the second's start.
            const auto shown = [&](int n) { return subtitlePictures(pieceName(path, n)); };
            QVERIFY2(shown(1).endsWith("1 "), qPrintable(shown(1)));
            QVERIFY2(shown(2).startsWith("0 1 "), qPrintable(shown(2)));
        }
        if (name == "camcorder.MTS") {
            for (int n = 1; n <= pieces; ++n)
                QVERIFY2(arrivalTimesRise(pieceName(path, n)), qPrintable(pieceName(path, n)));
        }
    }

    // Pieces of at most a third (or a seventh) of the file's size, in each container the tool writes, and parts
    // of a count, with everything splitAndCheck asks of any split. Every piece is within the size on disk but
    // where the tool says no keyframe allows it, and as few as the keyframes allow: no two pieces side by side
    // would have fitted in one (within what the tool's bounds of a container's headers leave, an eighth of the
    // size on files this small). An MP4 sound file's index takes much of its pieces; its bounds are its own.
    // Parts: as many as asked, each within a keyframe interval (2 s) of its share, or within a picture with
    // --exact.
    void piecesOfAtMostASizeOrParts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("asked"); // "-splits" and a divisor of the file's size, or -parts
        QTest::addColumn<bool>("moovFirst");
        QTest::newRow("MP4, B-frames") << "gop2.mp4" << QStringList { "-splits", "3" } << true;
        QTest::newRow("MP4 sound, the index much of each piece")
            << "audio.m4a" << QStringList { "-splits", "7" } << true;
        QTest::newRow("Matroska with subtitles") << "clip.mkv" << QStringList { "-splits", "3" } << false;
        QTest::newRow("WebM") << "clip.webm" << QStringList { "-splits", "7" } << false;
        QTest::newRow("MPEG-TS") << "clip.ts" << QStringList { "-splits", "7" } << false;
        QTest::newRow("MP3") << "music.mp3" << QStringList { "-splits", "7" } << false;
        QTest::newRow("exact, a phone's varying frame rate")
            << "phone.mp4" << QStringList { "--exact", "-splits", "3" } << true;
        QTest::newRow("parts, Matroska, read through first") << "clip.mkv" << QStringList { "-parts", "3" } << false;
        QTest::newRow("parts, a phone's varying frame rate, exact")
            << "phone.mp4" << QStringList { "--exact", "-parts", "4" } << true;
    }
    void piecesOfAtMostASizeOrParts()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, asked);
        QFETCH(bool, moovFirst);
        const QString path = copyIntoFolder(name);
        const qint64 fileSize = QFileInfo(path).size();
        const bool exact = asked.contains("--exact");
        const bool bySize = asked.contains("-splits");
        const qint64 most = bySize ? fileSize / asked.last().toInt() / 1024 * 1024 : 0;
        if (bySize)
            asked.last() = QString::number(most / 1024);
        QString said;
        std::vector<ProbedFile> probed;
        if (name.endsWith(".mp3")) { // its pieces start with frames shared with the piece before (see below)
            const ToolRun run = runTool(asked + QStringList { path });
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            said = run.err;
            for (int n = 1; QFile::exists(pieceName(path, n)); ++n)
                probed.push_back(probeMedia(pieceName(path, n).toStdString()));
        } else {
            probed
                = splitAndCheckAsked(asked, path, 1e9, -1, moovFirst, 0, name == "phone.mp4" ? 0.134 : 0.04, 0, &said);
        }
        QVERIFY2(probed.size() >= 2, qPrintable(said));
        if (bySize) {
            std::vector<qint64> sizes;
            for (std::size_t n = 1; n <= probed.size(); ++n)
                sizes.push_back(QFileInfo(pieceName(path, static_cast<int>(n))).size());
            for (std::size_t n = 0; n < sizes.size(); ++n) {
                const bool allowed = said.contains(QStringLiteral("piece %1 may come to").arg(n + 1));
                QVERIFY2(
                    sizes[n] <= most || allowed, qPrintable(QStringLiteral("piece %1: %2").arg(n + 1).arg(sizes[n])));
                if (n > 0 && name != "audio.m4a")
                    QVERIFY2(sizes[n - 1] + sizes[n] > most - most / 8,
                        qPrintable(QStringLiteral("pieces %1 and %2: %3 + %4 of %5")
                                       .arg(n)
                                       .arg(n + 1)
                                       .arg(sizes[n - 1])
                                       .arg(sizes[n])
                                       .arg(most)));
            }
            return;
        }
        const int parts = asked.last().toInt();
        QCOMPARE(int(probed.size()), parts);
        const int ref = referenceStream(probed.front());
        double whole = 0;
        for (const ProbedFile& p : probed)
            whole += p.streams[static_cast<std::size_t>(ref)].end - p.streams[static_cast<std::size_t>(ref)].start;
        for (const ProbedFile& p : probed) {
            const ProbedStream& r = p.streams[static_cast<std::size_t>(ref)];
            QVERIFY2(qAbs(r.end - r.start - whole / parts) <= (exact ? 0.134 : 2.0),
                qPrintable(QStringLiteral("%1 s of %2").arg(r.end - r.start).arg(whole / parts)));
        }
    }

    // Where the tool's bounds of what a container adds fall short (here made to, by 30 KB), pieces come out
    // larger than asked: the file is split again with that much allowed for, into the pieces a true weighing
    // gives, and only that split's piece lines are said.
    void piecesThatComeOutLargerAreMadeAgainSmaller()
    {
        const QString path = copyIntoFolder("clip.mkv");
        const auto split = [&](const QByteArray& less) {
            qputenv("QUORVANE_SPLIT_WEIGH_LESS_FOR_TEST", less);
            const ToolRun run = runTool({ "--progress", "-splits", "170", path });
            qunsetenv("QUORVANE_SPLIT_WEIGH_LESS_FOR_TEST");
            QStringList sizes;
            for (int n = 1; QFile::exists(pieceName(path, n)); ++n) {
                sizes << QString::number(QFileInfo(pieceName(path, n)).size());
                QFile::remove(pieceName(path, n));
            }
            return std::make_tuple(
                run.exitCode, run.out.count(QRegularExpression("^piece ", QRegularExpression::MultilineOption)), sizes);
        };
        const auto [status, lines, sizes] = split("30000");
        QCOMPARE(status, 0);
        QCOMPARE(lines, sizes.size());
        QCOMPARE(sizes, std::get<2>(split("0")));
        for (const QString& size : sizes)
            QVERIFY(size.toLongLong() <= 170 * 1024);
    }

    void phoneVideoIsCutWhereItsKeyframesShow_data()
    {
        QTest::addColumn<double>("length");
        for (const double length : { 1.46, 2.72, 3.42, 3.46, 5.17 })
            QTest::newRow(qPrintable(QString::number(length))) << length;
    }
    void phoneVideoIsCutWhereItsKeyframesShow()
    {
        // The oracle: where the keyframes really show, as decoding the source tells. Each piece must end at
        // the last keyframe within its length (less than half a frame over counting as within, but only as far
        // as k lengths from the start, so the cuts do not drift), or, with none there, at the next one, and
        // say so.
        QFETCH(double, length);
        const QString path = copyIntoFolder("phone.mp4");
        const ProbedFile whole = probeMedia(path.toStdString());
        const std::vector<double>& keys = whole.streams.at(0).keyTimes;
        const double end = whole.streams.at(0).end;
        // The last piece runs to the end of the sound, which may outlast the pictures.
        const double lastEnd = std::max(end, whole.streams.at(1).end);
        const double slack = whole.streams.at(0).frame / 2 - 1e-4;
        std::vector<double> cuts { whole.streams.at(0).start };
        double grid = std::max(0.0, std::min(whole.streams.at(0).start, whole.streams.at(1).start)) + length;
        const double origin = grid - length;
        int longOnes = 0;
        while (lastEnd - (cuts.size() == 1 ? std::min(origin, cuts.back()) : cuts.back()) > length + slack) {
            const double from = cuts.back();
            const double limit = std::min((cuts.size() == 1 ? std::min(origin, from) : from) + length, grid) + slack;
            const auto after = std::upper_bound(keys.begin(), keys.end(), limit);
            if (after != keys.begin() && *std::prev(after) > from + 1e-6) {
                cuts.push_back(*std::prev(after));
                grid = grid + length > cuts.back() ? grid + length : cuts.back() + length;
                continue;
            }
            ++longOnes;
            if (after == keys.end())
                break;
            cuts.push_back(*after);
            grid = cuts.back() + length;
        }
        const int pieces = static_cast<int>(cuts.size());
        // A frame may last up to three times as long as at a steady 25 per second.
        const auto probed = splitAndCheck(path, length, pieces, true, longOnes, 0.12);
        QCOMPARE(probed.size(), std::size_t(pieces));
        // Each piece holds exactly the source's pictures from its cut to the next.
        cuts.push_back(end + 1);
        const std::vector<double>& times = whole.streams.at(0).times;
        for (std::size_t n = 0; n < probed.size(); ++n) {
            const auto from = std::lower_bound(times.begin(), times.end(), cuts[n] - 1e-6);
            const auto to = std::lower_bound(times.begin(), times.end(), cuts[n + 1] - 1e-6);
            QVERIFY2(probed[n].streams.at(0).contentPackets == to - from,
                qPrintable(QStringLiteral("piece %1 has %2 pictures, not %3")
                               .arg(n + 1)
                               .arg(probed[n].streams.at(0).contentPackets)
                               .arg(to - from)));
        }
    }

    // Open groups of pictures (keyframes every 2 s, each with leading pictures that need the group before).
    // In MP4 they are cut losslessly: the leading pictures end the piece before, with the keyframe decoded
    // there but hidden by the edit list, and the next piece starts with the keyframe. Every piece decodes
    // cleanly from its first frame, and every picture of the source shows exactly once.
    // MP3 frames borrow bytes from the frames before them. Each piece after the first starts with enough
    // frames of the piece before, marked to be skipped, that it decodes whole: played one after the other,
    // the pieces give exactly the source's samples.
    void mp3PiecesPlayBackToBackAsTheSource()
    {
        const QString path = copyIntoFolder("music.mp3");
        const ToolRun run = runTool({ "-split", "5", path });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const auto samples = [](const QString& file) {
            QProcess ffmpeg;
            ffmpeg.start("ffmpeg", { "-nostdin", "-v", "error", "-i", file, "-f", "s16le", "-" });
            ffmpeg.waitForFinished(60000);
            return ffmpeg.readAllStandardOutput();
        };
        QByteArray joined;
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(decodeErrors(pieceName(path, n)), QString());
            joined += samples(pieceName(path, n));
        }
        QVERIFY(!QFile::exists(pieceName(path, 4)));
        const QByteArray whole = samples(path);
        QCOMPARE(joined.size(), whole.size());
        QVERIFY(joined == whole);
    }

    // The media bytes of MP4 pieces can be copied into place by the kernel instead of written by the tool (it
    // does so by itself where the file system shares blocks or where it leaves the video's bytes unread;
    // here it is told to). The pieces are the same, byte for byte, as when the tool reads and writes every
    // byte itself, as when the kernel cannot copy (another file system, an old kernel) and the bytes are read
    // and written instead, and as when bytes left unread are read in before the muxer gets them. Whether
    // libavformat is shown the whole index or only its first samples (the tool reads the rest itself), the
    // pieces are the same as when libavformat reads the file by itself.
    void mediaBytesCopiedByTheKernelMakeTheSamePieces()
    {
        const QStringList names = QDir(media).entryList({ "*.mp4", "*.mov", "*.m4v", "*.m4a", "*.3gp" });
        QVERIFY(names.size() >= 20);
        // Each file split five ways, the five runs side by side: the pieces' digests, and what the tool said.
        const auto environment = [](std::initializer_list<std::pair<const char*, const char*>> variables) {
            QProcessEnvironment added;
            for (const auto& [name, value] : variables)
                added.insert(name, value);
            return added;
        };
        const std::vector<QProcessEnvironment> ways {
            environment({ { "QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST", "1" } }),
            environment(
                { { "QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST", "1" }, { "QUORVANE_SPLIT_NO_KERNEL_COPY_FOR_TEST", "1" } }),
            environment(
                { { "QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST", "1" }, { "QUORVANE_SPLIT_UNREAD_FOR_TEST", "fill" } }),
            environment({ { "QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST", "1" },
                { "QUORVANE_SPLIT_PROBED_SAMPLES_FOR_TEST", "20" } }),
            environment({ { "QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST", "1" } }),
        };
        const auto split = [&](const QString& name) {
            QStringList paths;
            std::vector<std::pair<QStringList, QProcessEnvironment>> runs;
            for (const QProcessEnvironment& way : ways) {
                paths << copyIntoFolder(name);
                runs.emplace_back(QStringList { "--stats", "-split", "5", paths.back() }, way);
            }
            const std::vector<ToolRun> done = runToolsTogether(runs);
            std::vector<std::pair<ToolRun, QStringList>> results;
            for (std::size_t w = 0; w < done.size(); ++w) {
                QStringList pieces;
                const QString& path = paths[static_cast<qsizetype>(w)];
                for (int n = 1; QFile::exists(pieceName(path, n)); ++n)
                    pieces << QString::fromLatin1(digest(pieceName(path, n)).toHex());
                results.emplace_back(done[w], pieces);
            }
            return results;
        };
        qint64 inKernel = 0;
        qint64 byReading = 0;
        qint64 unread = 0;
        const QRegularExpression copied("by the kernel (\\d+), by reading (\\d+), never read into the tool (\\d+)");
        for (const QString& name : names) {
            const auto results = split(name);
            const auto& [fast, fastPieces] = results[0];
            const auto& [read, readPieces] = results[1]; // the kernel cannot copy: read and written
            const auto& [filled, filledPieces] = results[2]; // bytes left unread are read in before muxing
            const auto& [shown, shownPieces] = results[3]; // libavformat shown only the index's first samples
            const auto& [plain, plainPieces] = results[4]; // every byte read and written by the tool
            QVERIFY2(
                fast.exitCode == plain.exitCode && fast.exitCode == read.exitCode && fast.exitCode == filled.exitCode,
                qPrintable(name));
            QVERIFY2(!plainPieces.isEmpty() || fast.exitCode != 0, qPrintable(name));
            QVERIFY2(fastPieces == plainPieces, qPrintable(name + ": fast path differs"));
            QVERIFY2(readPieces == plainPieces, qPrintable(name + ": read-and-write fallback differs"));
            QVERIFY2(filledPieces == plainPieces, qPrintable(name + ": bytes read in before muxing differ"));
            QVERIFY2(shown.exitCode == plain.exitCode && shownPieces == plainPieces,
                qPrintable(name + ": the index shown to libavformat in part differs"));
            // Every file here but the fragmented one has its index in one place.
            QVERIFY2(shown.err.contains(
                         name == "fragmented.mp4" ? "index read by the tool no" : "index read by the tool yes"),
                qPrintable(name + ": " + shown.err));
            unread += copied.match(fast.err).captured(3).toLongLong();
            QVERIFY2(copied.match(plain.err).captured(3) == "0", qPrintable(plain.err));
            const QRegularExpressionMatch said = copied.match(fast.err);
            const QRegularExpressionMatch fallback = copied.match(read.err);
            QVERIFY2(said.hasMatch() && fallback.hasMatch(), qPrintable(fast.err));
            inKernel += said.captured(1).toLongLong();
            QCOMPARE(fallback.captured(1).toLongLong(), 0);
            QCOMPARE(fallback.captured(2).toLongLong(), said.captured(1).toLongLong() + said.captured(2).toLongLong());
            byReading += said.captured(2).toLongLong();
            QVERIFY2(copied.match(plain.err).captured(1) == "0" && copied.match(plain.err).captured(2) == "0",
                qPrintable(plain.err));
        }
        // The media went around the tool: by the kernel where the file system copies in it, else read; and
        // most video bytes never entered the tool at all.
        QVERIFY2(inKernel + byReading > 0, qPrintable(QStringLiteral("%1 %2").arg(inKernel).arg(byReading)));
        QVERIFY2(unread > (inKernel + byReading) / 2, qPrintable(QStringLiteral("%1 unread").arg(unread)));
    }

    // Should the muxer ever hand on the bytes of a packet left unread other than as they came (a converted
    // copy, say), the piece would hold whatever the unfilled buffer held. The writer notices and writes the
    // piece again from bytes read: the pieces hold the same packets as pieces written byte by byte.
    void piecesWhoseUnreadBytesWentAstrayAreWrittenAgain()
    {
        for (const char* name : { "gop2.mp4", "phone.mp4" }) {
            const QString path = copyIntoFolder(name);
            qputenv("QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST", "1");
            qputenv("QUORVANE_SPLIT_UNREAD_FOR_TEST", "spoil");
            const ToolRun spoiled = runTool({ "--stats", "-split", "5", path });
            qunsetenv("QUORVANE_SPLIT_UNREAD_FOR_TEST");
            qunsetenv("QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST");
            QVERIFY2(spoiled.exitCode == 0, qPrintable(spoiled.err));
            const QString plainPath = copyIntoFolder(name);
            qputenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST", "1");
            const ToolRun plain = runTool({ "-split", "5", plainPath });
            qunsetenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST");
            QCOMPARE(plain.exitCode, 0);
            int pieces = 0;
            for (; QFile::exists(pieceName(plainPath, pieces + 1)); ++pieces) {
                QCOMPARE(decodeErrors(pieceName(path, pieces + 1)), QString());
                QCOMPARE(packetDigests(pieceName(path, pieces + 1)), packetDigests(pieceName(plainPath, pieces + 1)));
            }
            QVERIFY(pieces >= 3);
            QVERIFY(!QFile::exists(pieceName(path, pieces + 1)));
            QVERIFY2(spoiled.err.contains(QStringLiteral("written again from bytes read %1,").arg(pieces)),
                qPrintable(spoiled.err));
        }
    }

    // On a file system that shares blocks (XFS here, in an image file of its own), the pieces' media bytes
    // are the source's own blocks: the pieces take next to no new space, and hold the same packets as pieces
    // written byte by byte (only the padding in front of the media differs).
    void onASharingFileSystemPiecesShareTheSourcesBlocks()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable("mkfs.xfs").isEmpty())
            QSKIP("needs root and mkfs.xfs (Debian's xfsprogs) to make an XFS file system in an image file");
        const QString image = work.filePath("xfs.img");
        const QString mount = work.filePath("xfs");
        QVERIFY(QDir().mkpath(mount));
        QFile sparse(image);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(400LL << 20));
        sparse.close();
        if (QProcess::execute("mkfs.xfs", { "-q", image }) != 0
            || QProcess::execute("mount", { "-o", "loop", image, mount }) != 0)
            QSKIP("no loop device to mount an XFS image on here");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", { mount }); });
        // A longer file, so that whole blocks are what counts.
        const QString path = QDir(mount).filePath("long.mp4");
        QVERIFY(makeMedia(path, { "-stream_loop", "9", "-i", source("gop2.mp4"), "-c", "copy" }));
        const auto used = [&] {
            QProcess::execute("sync", {});
            const QStorageInfo fs(mount);
            return fs.bytesTotal() - fs.bytesFree();
        };
        const qint64 before = used();
        const ToolRun fast = runTool({ "--stats", "-split", "20", path });
        QVERIFY2(fast.exitCode == 0, qPrintable(fast.err));
        const qint64 grown = used() - before;
        QStringList fastPackets;
        for (int n = 1; QFile::exists(pieceName(path, n)); ++n) {
            fastPackets << packetDigests(pieceName(path, n));
            const auto boxes = topLevelBoxes(pieceName(path, n).toStdString());
            QVERIFY(std::find(boxes.begin(), boxes.end(), "moov") < std::find(boxes.begin(), boxes.end(), "mdat"));
            QVERIFY(QFile::remove(pieceName(path, n)));
        }
        const qint64 beforePlain = used();
        qputenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST", "1");
        const ToolRun plain = runTool({ "-split", "20", path });
        qunsetenv("QUORVANE_SPLIT_WRITE_PAYLOAD_FOR_TEST");
        QCOMPARE(plain.exitCode, 0);
        // What is left of new space is the pieces' index room and the partial blocks at the runs' ends.
        const qint64 grownPlain = used() - beforePlain;
        QVERIFY2(
            grown < grownPlain / 4, qPrintable(QStringLiteral("%1 against %2 new bytes").arg(grown).arg(grownPlain)));
        QStringList plainPackets;
        for (int n = 1; QFile::exists(pieceName(path, n)); ++n)
            plainPackets << packetDigests(pieceName(path, n));
        QVERIFY(fastPackets.size() >= 6);
        QCOMPARE(fastPackets, plainPackets);
    }

    void aFragmentedMp4IsReadOnce()
    {
        // Its index is spread over its fragments: the plan is made while writing, and each piece's index gets
        // room from the streams' rates, enough that no piece has to be written again from a second reading.
        const ToolRun run = runTool({ "--stats", "-split", "5", copyIntoFolder("fragmented.mp4") });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(": 3 pieces written, 0 moov reservations too small"), qPrintable(run.err));
    }

    void openGroupsOfPicturesAreCutWithTheirLeadingPicturesEncodedAgain_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("HEVC in MP4") << "open265.mp4";
        QTest::newRow("H.264 in MP4 (reference marking may name the group before)") << "open264.mp4";
        QTest::newRow("H.264 in Matroska") << "open264.mkv";
        QTest::newRow("HEVC in Matroska") << "open265.mkv";
        QTest::newRow("HEVC in MPEG-TS") << "open265.ts";
    }
    void openGroupsOfPicturesAreCutWithTheirLeadingPicturesEncodedAgain()
    {
        // Keyframes every 2 s, each after the first with leading pictures that refer to the group before. A
        // piece that ended with the next keyframe hidden, for its leading pictures, would play right only
        // where a player honours an edit list's end; so the leading pictures are encoded again, and each
        // piece ends with them and starts with its keyframe alone. Every piece decodes cleanly, every picture
        // of the source shows once, and the row says what was encoded again.
        QFETCH(QString, name);
        const QString path = copyIntoFolder(name);
        QString said;
        splitAndCheck(path, 5, 3, name.endsWith(".mp4"), 0, 0.04, 0, &said);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(said.contains("2 cuts are at keyframes of open groups of pictures"), qPrintable(said));
        QVERIFY2(!said.contains("mended"), qPrintable(said));
        // In Matroska some players take only an IDR picture for a keyframe (Firefox): each piece starts with one.
        if (name == "open265.mkv") {
            for (int n = 2; n <= 3; ++n)
                QCOMPARE(firstPictureKind(pieceName(path, n)), QStringLiteral("IDR_W_RADL"));
        }
    }

    void chaptersFollowThePieces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Matroska") << "chapters.mkv";
        QTest::newRow("MP4") << "chapters.mp4";
    }
    void chaptersFollowThePieces()
    {
        // Chapters 0-3 "One", 3-7 "Two", 7-12 "Three"; pieces of 5 s, which end where the keyframes allow (FFmpeg
        // 5's Matroska writer moves the pictures 23 ms after the sound, so its first piece ends at 4.023 s). Each
        // piece holds the chapters it overlaps, cut to its length and timed from its start.
        QFETCH(QString, name);
        const QString path = copyIntoFolder(name);
        QCOMPARE(runTool({ "-split", "5", path }).exitCode, 0);
        const std::vector<std::tuple<std::string, double, double>> chapters { { "One", 0, 3 }, { "Two", 3, 7 },
            { "Three", 7, 12 } };
        double start = 0;
        int n = 1;
        for (; QFile::exists(pieceName(path, n)); ++n) {
            const ProbedFile piece = probeMedia(pieceName(path, n).toStdString());
            // Where the piece ends in the source, as far as its length tells (its sound may run a frame past its
            // pictures); the last runs to the source's end, 12 s.
            const double end = QFile::exists(pieceName(path, n + 1)) ? start + piece.duration : 12.0;
            std::vector<ProbedChapter> overlapped;
            for (const auto& [title, from, to] : chapters) {
                if (to > start + 0.2 && from < end - 0.2)
                    overlapped.push_back({ std::max(from, start) - start, std::min(to, end) - start, title });
            }
            QCOMPARE(piece.chapters.size(), overlapped.size());
            for (std::size_t c = 0; c < overlapped.size(); ++c) {
                const ProbedChapter& held = piece.chapters[c];
                QVERIFY2(held.title == overlapped[c].title && qAbs(held.start - overlapped[c].start) < 0.15
                        && qAbs(held.end - overlapped[c].end) < 0.15,
                    qPrintable(QStringLiteral("piece %1: %2 %3-%4")
                                   .arg(n)
                                   .arg(QString::fromStdString(held.title))
                                   .arg(held.start)
                                   .arg(held.end)));
            }
            start = end;
        }
        QCOMPARE(n - 1, 3);
    }

    void aTimecodeStartsWhereThePieceStarts()
    {
        const QString path = copyIntoFolder("timecode.mov");
        QCOMPARE(probeMedia(path.toStdString()).timecode, std::string("01:00:00:00"));
        QCOMPARE(runTool({ "-split", "5", path }).exitCode, 0);
        QCOMPARE(probeMedia(pieceName(path, 1).toStdString()).timecode, std::string("01:00:00:00"));
        QCOMPARE(probeMedia(pieceName(path, 2).toStdString()).timecode, std::string("01:00:05:00"));
        QCOMPARE(probeMedia(pieceName(path, 3).toStdString()).timecode, std::string("01:00:10:00"));
    }

    void aStreamThePiecesCannotHoldIsLeftOut()
    {
        // Matroska content under an .mp4 name: the pieces are MP4, which has no room for SubRip.
        const QString path = copyIntoFolder("clip.mkv", "mislabelled.mp4");
        const ToolRun run = runTool({ "-split", "5", path });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("stream 2 (subrip subtitle) cannot be kept in mp4 pieces; it is left out"),
            qPrintable(run.err));
        const ProbedFile piece = probeMedia(pieceName(path, 1).toStdString());
        QCOMPARE(piece.format.substr(0, 3), std::string("mov"));
        QCOMPARE(piece.streams.size(), std::size_t(2));
    }

    void aCodecTagThePiecesDoNotKnowIsReplaced()
    {
        // AVI content under an .mp4 name: its "XVID" tag means nothing to MP4, which names the codec "mp4v".
        const QString path = copyIntoFolder("xvid.avi", "xvid.mp4");
        const ToolRun run = runTool({ "-split", "2", path });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        for (int n = 1; n <= 2; ++n) {
            const ProbedFile piece = probeMedia(pieceName(path, n).toStdString());
            QVERIFY2(piece.readable, qPrintable(pieceName(path, n)));
            QCOMPARE(piece.format.substr(0, 3), std::string("mov"));
            QCOMPARE(piece.streams.at(0).codec, std::string("mpeg4"));
        }
    }

    void awkwardNamesFromAnotherFolder()
    {
        const QString path = copyIntoFolder("gop2.mp4", QStringLiteral("-clip 'q' \"x\" %d $HOME [1] é.mp4"));
        const QString elsewhere = work.filePath("elsewhere");
        QDir().mkpath(elsewhere);
        const ToolRun run = runTool({ "-split", "5", path }, elsewhere);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFile::exists(pieceName(path, 1)));
        QVERIFY(QFile::exists(pieceName(path, 3)));
        QVERIFY(filesIn(elsewhere).isEmpty());

        // A name given relative to the current folder, beginning with "-".
        const ToolRun relative = runTool({ "-split", "5", QFileInfo(path).fileName() }, QFileInfo(path).path());
        QCOMPARE(relative.exitCode, 0);
    }

    void aMoovReservationThatFallsShortIsWrittenAgain()
    {
        const QString path = copyIntoFolder("gop2.mp4");
        qputenv("QUORVANE_SPLIT_MOOV_SIZE_FOR_TEST", "64");
        const ToolRun run = runTool({ "--stats", "-split", "5", path });
        qunsetenv("QUORVANE_SPLIT_MOOV_SIZE_FOR_TEST");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("3 pieces written, 3 moov reservations too small"), qPrintable(run.err));
        // The second pass still gives whole pieces with their moov first.
        const ProbedFile whole = probeMedia(path.toStdString());
        long long packets = 0;
        for (int n = 1; n <= 3; ++n) {
            const ProbedFile piece = probeMedia(pieceName(path, n).toStdString());
            QVERIFY(piece.readable);
            QVERIFY(piece.streams[0].firstIsKey);
            packets += piece.streams[0].contentPackets;
            const auto boxes = topLevelBoxes(pieceName(path, n).toStdString());
            QVERIFY(std::find(boxes.begin(), boxes.end(), "moov") < std::find(boxes.begin(), boxes.end(), "mdat"));
        }
        QCOMPARE(packets, whole.streams[0].contentPackets);
        QVERIFY(filesIn(QFileInfo(path).path()).filter(".part").isEmpty());
    }

    void existingPiecesAreReplaced()
    {
        const QString path = copyIntoFolder("gop2.mp4");
        QFile stale(pieceName(path, 2));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("an old piece");
        stale.close();
        splitAndCheck(path, 5, 3);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // a pattern the whole of standard output matches
        QTest::addColumn<QString>("err"); // words standard error holds
        const QString nothing = "";
        QTest::newRow("nothing") << QStringList {} << 64 << nothing << "usage:";
        QTest::newRow("zero length") << QStringList { "-split", "0", "x.mp4" } << 64 << nothing << "above 0";
        QTest::newRow("negative length") << QStringList { "-split", "-5", "x.mp4" } << 64 << nothing << "above 0";
        QTest::newRow("not a number") << QStringList { "-split", "abc", "x.mp4" } << 64 << nothing << "above 0";
        QTest::newRow("no file") << QStringList { "-split", "5" } << 64 << nothing << "usage:";
        QTest::newRow("two files") << QStringList { "-split", "5", "a.mp4", "b.mp4" } << 64 << nothing << "usage:";
        QTest::newRow("other option") << QStringList { "-cat", "5", "x.mp4" } << 64 << nothing << "usage:";
        // Help and version answer on standard output, and say nothing on standard error.
        QTest::newRow("help")
            << QStringList { "--help" } << 0
            << "usage: quorvane-split .*-split <seconds> \\| -splits <size> \\| -parts <count> "
               "<file>\n.*-splits <size> makes .*--progress writes .*Exit status:\n +0  Every piece .*"
            << nothing;
        QTest::newRow("version") << QStringList { "--version" } << 0 << "quorvane-split \\d+\\.\\d+\\.\\d+\n"
                                 << nothing;
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const ToolRun run = runTool(arguments, work.path());
        QCOMPARE(run.exitCode, status);
        const QRegularExpression whole(
            QRegularExpression::anchoredPattern(out), QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(whole.match(run.out).hasMatch(), qPrintable(run.out));
        if (err.isEmpty())
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        else
            QVERIFY2(run.err.contains(err), qPrintable(run.err));
    }

    void inputsThatAreNoMedia()
    {
        const QString folder = work.filePath("bad");
        QDir().mkpath(folder);
        const auto write = [&](const QString& name, const QByteArray& content) -> QString {
            QFile file(QDir(folder).filePath(name));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(name));
            file.write(content);
            return file.fileName();
        };
        expectFailure(write("empty.mp4", {}), 65, "not a video or audio file");
        expectFailure(write("notes.mp4", "Shopping list\nbread\nmilk\n"), 65, "not a video or audio file");
        expectFailure(write("notes.txt", "Shopping list\nbread\nmilk\n"), 65, "not a video or audio file");
        QVERIFY(QFile::copy(source("still.png"), QDir(folder).filePath("still.png")));
        expectFailure(QDir(folder).filePath("still.png"), 65, "still picture");

        // Cut off before its index (at the end): nothing can be read.
        QFile whole(source("gop2.mp4"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        expectFailure(write("cut.mp4", whole.read(whole.size() / 2)), 65, "not a video or audio file");

        // A track's time-to-sample table emptied: its samples cannot be read. Where that track decides the cuts,
        // no piece is made; where it does not, the pieces hold the rest, and the tool says what is missing.
        const auto emptied = [&](const QString& name, int track) {
            QFile file(source(name));
            QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const qsizetype stts = timeToSampleTable(bytes, track);
            if (stts < 0)
                qFatal("%s has no track %d", qPrintable(name), track);
            qToBigEndian<quint32>(0, bytes.data() + stts + 8);
            return write(QString::number(track) + "-" + name, bytes);
        };
        expectFailure(emptied("gop2.mp4", 0), 65, "the file is damaged: its video track has nothing");
        expectFailure(emptied("audio.m4a", 0), 65, "the file is damaged: its audio track has nothing");
        const QString soundless = emptied("gop2.mp4", 1);
        const ToolRun run = runTool({ "-split", "5", soundless });
        QVERIFY2(run.exitCode == 0 && run.err.contains("its audio track (stream 1) has nothing that can be read"),
            qPrintable(run.err));
        QVERIFY(QFile::exists(pieceName(soundless, 3)) && !QFile::exists(pieceName(soundless, 4)));

        expectFailure(QDir(folder).filePath("missing.mp4"), 66, "cannot open");
    }

    void aRecordingCutShortIsSplitAsFarAsItGoes()
    {
        const QString folder = work.filePath("short");
        QDir().mkpath(folder);
        QFile whole(source("faststart.mp4"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString path = QDir(folder).filePath("short.mp4");
        QFile cut(path);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(whole.size() * 6 / 10));
        cut.close();

        const ToolRun run = runTool({ "-split", "3", path });
        QCOMPARE(run.exitCode, 68);
        QVERIFY2(run.err.contains(path + ": the file ends early, at 0:00:0"), qPrintable(run.err));
        QStringList pieces = filesIn(folder);
        pieces.removeOne("short.mp4");
        QVERIFY(pieces.size() >= 2);
        for (const QString& piece : pieces) {
            QVERIFY2(!piece.contains(".part"), qPrintable(piece));
            QVERIFY(probeMedia(QDir(folder).filePath(piece).toStdString()).readable);
        }
    }

    void staleHalfPiecesOfDeadRunsAreRemoved()
    {
        // Hidden pieces that a killed tool left, this version's and an earlier one's, whose process is gone;
        // one of a tool still running (this test program) and a user's own hidden files stay.
        const QString path = copyIntoFolder("gop2.mp4");
        const QDir folder = QFileInfo(path).dir();
        const QString dead = endedProcessId();
        const QString alive = QString::number(QCoreApplication::applicationPid());
        const QStringList stale { ".quorvane-" + dead + "-3.part", ".gop2_002.mp4.part" + dead };
        const QStringList kept { ".quorvane-" + alive + "-1.part", ".notes.part" + dead, ".gop2_001.mp4" };
        for (const QString& name : stale + kept) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(runTool({ "-split", "5", path }).exitCode, 0);
        for (const QString& name : stale)
            QVERIFY2(!folder.exists(name), qPrintable(name));
        for (const QString& name : kept)
            QVERIFY2(folder.exists(name), qPrintable(name));
    }

    void theLongestNameThatFitsIsSplit()
    {
        // A name of 251 characters, whose pieces' names take all the 255 a file system allows.
        const QString name = QString(247, QLatin1Char('n')) + ".mp4";
        const QString path = copyIntoFolder("gop2.mp4", name);
        const ToolRun run = runTool({ "-split", "5", path });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY(QFile::exists(pieceName(path, 3)));
        QCOMPARE(QFileInfo(pieceName(path, 3)).fileName().size(), 255);
    }

    void aPieceThatCannotBeWrittenFails()
    {
        // A folder where the second piece should go: that piece cannot be put in place.
        const QString path = copyIntoFolder("gop2.mp4");
        QVERIFY(QDir().mkpath(pieceName(path, 2)));
        expectFailure(path, 73, "cannot write gop2_002.mp4", { "gop2_001.mp4" });
        QVERIFY(probeMedia(pieceName(path, 1).toStdString()).readable);
    }

    // --progress: ascending lines on standard output, one per piece with its length, and a last one at the
    // whole file with the pieces' count; without it, nothing at all on standard output.
    void progressIsReportedOnStandardOutput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pieces");
        QTest::newRow("MP4, planned from its index") << "gop2.mp4" << 3;
        QTest::newRow("MPEG-TS, planned while reading") << "clip.ts" << 3;
    }
    void progressIsReportedOnStandardOutput()
    {
        QFETCH(QString, name);
        QFETCH(int, pieces);
        const QString path = copyIntoFolder(name);
        const qint64 size = QFileInfo(path).size();
        const ToolRun run = runTool({ "--progress", "-split", "5", path });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        qint64 lastRead = -1;
        QList<double> lengths;
        QStringList progress;
        for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
            const QStringList words = line.split(' ');
            if (words[0] == "piece") {
                QCOMPARE(words.size(), 3);
                QCOMPARE(words[1].toInt(), lengths.size() + 1);
                lengths << words[2].toDouble();
                continue;
            }
            QCOMPARE(words.size(), 5);
            QCOMPARE(words[0], QStringLiteral("progress"));
            QVERIFY2(words[1].toLongLong() >= lastRead, qPrintable(run.out));
            lastRead = words[1].toLongLong();
            QCOMPARE(words[2].toLongLong(), size);
            progress << line;
        }
        QVERIFY(progress.size() >= 2);
        QCOMPARE(progress.last(), QStringLiteral("progress %1 %1 %2 %2").arg(size).arg(pieces));
        QCOMPARE(lengths.size(), pieces);
        for (int p = 0; p < pieces; ++p) {
            const ProbedFile piece = probeMedia(pieceName(path, p + 1).toStdString());
            const double shown = piece.streams[0].end - piece.streams[0].start;
            QVERIFY2(qAbs(shown - lengths[p]) < 0.05, qPrintable(QStringLiteral("%1: %2").arg(shown).arg(lengths[p])));
        }
        QCOMPARE(runTool({ "-split", "5", copyIntoFolder(name) }).out, QString());
    }

    // The disk refusing a piece halfway through a split is a write failure (73) naming that piece; the pieces
    // already written stay whole and nothing half-written is left.
    void aFolderMadeReadOnlyMidRunFailsCleanly()
    {
        const QString path = copyIntoFolder("gop2.mp4");
        const QString folder = QFileInfo(path).path();
        QProcess tool;
        startHeld(tool, path, 2);
        if (QTest::currentTestFailed())
            return;
        // Permissions do not stop the superuser; the immutable flag does.
        const bool root = ::geteuid() == 0;
        const auto setReadOnly = [&](bool on) {
            if (!root)
                return QFile::setPermissions(folder,
                    on ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                       : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            return QProcess::execute(QStringLiteral("chattr"), { on ? "+i" : "-i", folder }) == 0;
        };
        const bool readOnly = setReadOnly(true);
        ::kill(static_cast<pid_t>(tool.processId()), SIGUSR1);
        QVERIFY(tool.waitForFinished(30000));
        setReadOnly(false);
        if (!readOnly)
            QSKIP("this file system cannot make a folder read-only for the superuser");
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), 73);
        QVERIFY2(err.startsWith(path + ": cannot write gop2_002.mp4: "), qPrintable(err));
        QCOMPARE(filesIn(folder), QStringList({ "gop2.mp4", "gop2_001.mp4" }));
        QVERIFY(decodeErrors(pieceName(path, 1)).isEmpty());
    }

    void aFullDiskFailsCleanly()
    {
        // A small file system of its own, mounted in a mount namespace of the test's: room for the source and
        // about one and a half pieces.
        const qint64 size = QFileInfo(source("gop2.mp4")).size();
        const QString mount = work.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mount));
        const QString script = QStringLiteral("mount -t tmpfs -o size=%1 none \"$1\" || exit 99\n"
                                              "cp \"$2\" \"$1/gop2.mp4\" || exit 98\n"
                                              "\"$3\" -split 5 \"$1/gop2.mp4\"\necho \"exit $?\"\nls -A \"$1\"\n")
                                   .arg((size * 3 / 2 + 4095) / 4096 * 4096);
        QProcess shell;
        shell.start(QStringLiteral("unshare"),
            { "--user", "--map-root-user", "--mount", "sh", "-c", script, "sh", mount, source("gop2.mp4"),
                QStringLiteral(QUORVANE_SPLIT_TOOL) });
        QVERIFY(shell.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(shell.readAllStandardError());
        // A chroot, or a kernel that lets no user make namespaces, refuses unshare itself.
        if (shell.exitCode() == 99 || shell.error() == QProcess::FailedToStart || err.startsWith("unshare: "))
            QSKIP("no small file system can be mounted here");
        const QStringList out = QString::fromLocal8Bit(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(out, QStringList({ "exit 73", "gop2.mp4", "gop2_001.mp4" }));
        QVERIFY2(err.contains("cannot write gop2_002.mp4: No space left on device"), qPrintable(err));
    }

    void endedByASignalLeavesNoHalfPiece_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGKILL, which nothing can catch") << int(SIGKILL);
    }
    void endedByASignalLeavesNoHalfPiece()
    {
        QFETCH(int, sig);
        const QString path = copyIntoFolder("gop2.mp4");
        QProcess tool;
        startHeld(tool, path, 1);
        if (QTest::currentTestFailed())
            return;
        // The piece is being written into a file that has no name yet.
        QCOMPARE(unnamedFilesOpenIn(tool.processId(), QFileInfo(path).path()), 1);
        QCOMPARE(filesIn(QFileInfo(path).path()), QStringList { "gop2.mp4" });
        ::kill(static_cast<pid_t>(tool.processId()), sig);
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitStatus(), QProcess::CrashExit);
        QCOMPARE(filesIn(QFileInfo(path).path()), QStringList { "gop2.mp4" });
    }
};

// CTest makes the media once (QUORVANE_SPLITTOOL_PART=media, into a fresh QUORVANE_SPLITTOOL_MEDIA), then runs
// the functions in two parts side by side: with QUORVANE_SPLITTOOL_PART=1 the kinds of input and of pieces (about
// half the time), with 2 every other function. Functions named on the command line are run as named.
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TestSplitTool test;
    QStringList arguments = application.arguments();
    const QByteArray part = qgetenv("QUORVANE_SPLITTOOL_PART");
    if (part == "media" && qEnvironmentVariableIsSet("QUORVANE_SPLITTOOL_MEDIA")) {
        QDir(qEnvironmentVariable("QUORVANE_SPLITTOOL_MEDIA")).removeRecursively();
        arguments = QStringList { arguments.first(), "everyFileIsMade" };
    }
    if ((part == "1" || part == "2") && arguments.size() == 1) {
        const QStringList fixtures { "initTestCase", "cleanupTestCase", "init", "cleanup" };
        const QMetaObject* meta = test.metaObject();
        for (int m = meta->methodOffset(); m < meta->methodCount(); ++m) {
            const QMetaMethod method = meta->method(m);
            const QString name = QString::fromLatin1(method.name());
            if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private
                || name.endsWith("_data") || fixtures.contains(name))
                continue;
            const bool kinds = name == "kindsOfInput" || name == "piecesOfAtMostASizeOrParts";
            if (name != "everyFileIsMade" && kinds == (part == "1"))
                arguments << name;
        }
    }
    return QTest::qExec(&test, arguments);
}
#include "test_splittool.moc"
