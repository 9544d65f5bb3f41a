// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "splittoolfixture.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace quorvane::test;

// The tool on a few hundred damaged copies of one small recording: it must always end by itself, with
// success or one of its failure statuses, and never leave a half-written piece.
class TestSplitFuzz : public QObject {
    Q_OBJECT

private slots:
    void damagedCopies()
    {
        QTemporaryDir dir;
        const QString fixture = dir.filePath("fixture.mp4");
        QVERIFY(makeMedia(fixture,
            { "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=15", "-f", "lavfi", "-i", "sine=sample_rate=22050", "-t",
                "3", "-c:v", "libx264", "-preset", "ultrafast", "-g", "15", "-bf", "2", "-c:a", "aac", "-b:a", "24k",
                "-movflags", "+faststart" }));
        QFile file(fixture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray original = file.readAll();
        file.close();

        const QString folder = dir.filePath("runs");
        QRandomGenerator random(20261208);
        const QSet<int> allowed { 0, 65, 66, 68, 70, 73 };
        QMap<int, int> statuses;
        constexpr int copies = 300;
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
            const QString path = QDir(folder).filePath("copy.mp4");
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
            if (run.exitCode == 70)
                qInfo() << context;
            ++statuses[run.exitCode];
        }
        qInfo() << "exit statuses over" << copies << "damaged copies:" << statuses;
    }
};

QTEST_GUILESS_MAIN(TestSplitFuzz)
#include "test_splitfuzz.moc"
