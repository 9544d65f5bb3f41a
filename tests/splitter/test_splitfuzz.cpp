// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splittoolfixture.h"

#include <QScopeGuard>

#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace quorvane::test;

// The tool on damaged copies of one small recording in each container it reads: it must always end by itself,
// with success or one of its failure statuses, never call damaged data a write failure, and never leave a
// half-written piece. A default run takes a short round (each kind of damage, in every container, in about a
// minute under the sanitizers); QUORVANE_FUZZ_ROUNDS=10 runs ten times as many copies, the first of which are
// the short round's (bench/README.md).
class TestSplitFuzz : public QObject {
    Q_OBJECT

private slots:
    void damagedCopies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codecs");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QByteArray>("hook"); // a test hook set for the tool
        const QStringList video { "-c:v", "libx264", "-preset", "ultrafast", "-g", "15", "-bf", "2" };
        const QStringList aac { "-c:a", "aac", "-b:a", "24k" };
        QTest::newRow("MP4") << "copy.mp4" << video + aac + QStringList { "-movflags", "+faststart" } << 30
                             << QByteArray();
        // The same with the media bytes copied by the kernel, as on XFS or Btrfs.
        QTest::newRow("MP4, media copied by the kernel")
            << "copy.mp4" << video + aac + QStringList { "-movflags", "+faststart" } << 15
            << QByteArray("QUORVANE_SPLIT_COPY_PAYLOAD_FOR_TEST");
        QTest::newRow("Matroska") << "copy.mkv" << video + aac << 20 << QByteArray();
        QTest::newRow("WebM") << "copy.webm"
                              << QStringList { "-c:v", "libvpx", "-deadline", "realtime", "-g", "15", "-c:a",
                                     "libopus" }
                              << 20 << QByteArray();
        QTest::newRow("MPEG-TS") << "copy.ts" << video + aac << 20 << QByteArray();
        QTest::newRow("MP3") << "copy.mp3" << QStringList { "-vn", "-c:a", "libmp3lame", "-b:a", "32k" } << 20
                             << QByteArray();
    }
    void damagedCopies()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codecs);
        QFETCH(int, copies);
        const int rounds = qEnvironmentVariableIsSet("QUORVANE_FUZZ_ROUNDS")
            ? qEnvironmentVariableIntValue("QUORVANE_FUZZ_ROUNDS")
            : 1;
        QVERIFY2(rounds >= 1, "QUORVANE_FUZZ_ROUNDS: a whole number, 1 or more");
        copies *= rounds;
        QFETCH(QByteArray, hook);
        if (!hook.isEmpty())
            qputenv(hook.constData(), "1");
        const auto unset = qScopeGuard([&] {
            if (!hook.isEmpty())
                qunsetenv(hook.constData());
        });
        QTemporaryDir dir;
        const QString fixture = dir.filePath("fixture." + QFileInfo(name).suffix());
        QVERIFY(makeMedia(fixture,
            QStringList { "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=15", "-f", "lavfi", "-i",
                "sine=sample_rate=22050", "-t", "3" }
                + codecs));
        QFile file(fixture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray original = file.readAll();
        file.close();

        const QString folder = dir.filePath("runs");
        QRandomGenerator random(20261208);
        const QSet<int> allowed { 0, 65, 66, 68, 69, 70, 73 };
        QMap<int, int> statuses;
        for (int copy = 0; copy < copies; ++copy) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            QByteArray damaged = original;
            const int changes = 1 + random.bounded(8);
            for (int c = 0; c < changes; ++c) {
                // Half the damage falls on the index at the front, where a parser is most exposed.
                const int span = random.bounded(2) ? qMin(4096, int(damaged.size())) : int(damaged.size());
                damaged[random.bounded(span)] = static_cast<char>(random.bounded(256));
            }
            if (copy % 10 == 9) // and now and then a copy cut short
                damaged.truncate(random.bounded(int(damaged.size())));
            const QString path = QDir(folder).filePath(name);
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(damaged);
            out.close();

            const ToolRun run = runTool({ "-split", "1", path }, {}, 60000);
            const QByteArray context = QStringLiteral("copy %1: %2").arg(copy).arg(run.err).toUtf8();
            QVERIFY2(run.finished, context.constData());
            QVERIFY2(!run.crashed, context.constData());
            QVERIFY2(allowed.contains(run.exitCode), context.constData());
            QVERIFY2(filesIn(folder).filter(".part").isEmpty(), context.constData());
            // The disk is writable: a failure to write can only be the data's.
            QVERIFY2(run.exitCode != 73 && !run.err.contains("cannot write"), context.constData());
            if (run.exitCode == 70)
                qInfo() << context;
            ++statuses[run.exitCode];
        }
        qInfo() << "exit statuses over" << copies << "damaged copies:" << statuses;
    }
};

QTEST_GUILESS_MAIN(TestSplitFuzz)
#include "test_splitfuzz.moc"
