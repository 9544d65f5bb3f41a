// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/progressbar.h"
#include "app/startup.h"
#include "core/errorreport.h"
#include "filelist/filelistview.h"
#include "formfixture.h"
#include "mediaprobe.h"
#include "platform/filecopy.h"
#include "platform/settingsplace.h"
#include "platform/terminationsignals.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <csignal>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString runSource = QStringLiteral("in Tavishend2/19/2015.Form1.PushButton2_Click ");
const QStringList sampleNames { "Counting Clock.mp4", "Colour Bars.mp4", "Mandelbrot Zoom.mp4" };

} // namespace

class TestSplitRun : public QObject, public FormFixture {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> sources;
    std::unique_ptr<QTemporaryDir> output;
    std::unique_ptr<QTemporaryDir> temp;
    QList<double> progress;
    ScriptedRunner scripted;

    FileListView* list() const { return control<FileListView>("ListView1"); }
    QString out(const QString& name = {}) const { return output->path() + "/" + name; }
    QString src(const QString& name) const { return sources->filePath(name); }

    Form1& openWindow()
    {
        load();
        connect(control<ProgressBar>("ProgressBar1"), &ProgressBar::preciseValueChanged, this,
            [this](double value) { progress << value; });
        control<QLineEdit>("Text2")->setText(out());
        return *form;
    }
    void addSample(const QString& name, const QString& as = {})
    {
        const QString target = src(as.isEmpty() ? name : as);
        QDir().mkpath(QFileInfo(target).path());
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLES_DIR "/") + name, target));
        list()->AppendRow(target);
    }
    void chooseInterval(int index) { control<QComboBox>("Combo1")->setCurrentIndex(index); }
    void start() { QTest::mouseClick(control<QPushButton>("PushButton2"), Qt::LeftButton); }
    QString errorBox(const QString& description, int line) const
    {
        return ErrorReport::message(description, runSource, line);
    }
    QStringList messages() const
    {
        QStringList texts;
        for (const ShownBox& box : dialogs.shown()) {
            if (box.kind == ShownBox::Message)
                texts << box.text;
        }
        return texts;
    }
    // The pieces of `name` in the output folder: each readable, at most `length` long, and together as long
    // as the source.
    void checkPieces(const QString& folder, const QString& name, int count, double length)
    {
        const QString stem = QFileInfo(name).completeBaseName();
        const ProbedFile whole = probeMedia(src(name).toStdString());
        double total = 0;
        for (int n = 1; n <= count; ++n) {
            const QString piece = QStringLiteral("%1/%2_%3.mp4").arg(folder, stem).arg(n, 3, 10, QChar('0'));
            const ProbedFile probed = probeMedia(piece.toStdString());
            QVERIFY2(probed.readable, qPrintable(piece));
            const double duration = probed.streams[0].end - probed.streams[0].start;
            QVERIFY2(duration <= length + 1e-3, qPrintable(QStringLiteral("%1: %2 s").arg(piece).arg(duration)));
            total += duration;
        }
        QVERIFY(!QFile::exists(QStringLiteral("%1/%2_%3.mp4").arg(folder, stem).arg(count + 1, 3, 10, QChar('0'))));
        QVERIFY(qAbs(total - (whole.streams[0].end - whole.streams[0].start)) < 0.05);
    }

private slots:
    void init()
    {
        reset();
        sources = std::make_unique<QTemporaryDir>();
        output = std::make_unique<QTemporaryDir>();
        temp = std::make_unique<QTemporaryDir>();
        qputenv("TEMP", temp->path().toLocal8Bit());
        qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
        progress.clear();
        scripted.outcomes.clear();
        scripted.calls.clear();
    }
    void cleanup()
    {
        finish();
        // Nothing of a run outlives it in the temporary folder.
        QCOMPARE(filesIn(temp->path()), QStringList());
        qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
    }

    void samplesAreSplitEndToEnd()
    {
        openWindow();
        QList<QByteArray> before;
        for (const QString& name : sampleNames) {
            addSample(name);
            before << digest(src(name));
        }
        chooseInterval(1); // every 5 seconds
        dialogs.expectMessage();
        start();

        QCOMPARE(messages(), QStringList { "Done." });
        QCOMPARE(dialogs.shown().last().title, QStringLiteral("Quorvane"));
        QCOMPARE(progress.size(), 4);
        QCOMPARE(progress[0], 100.0 / 3.0);
        QCOMPARE(progress[1], 200.0 / 3.0);
        QCOMPARE(progress[2], 100.0);
        QCOMPARE(progress[3], 0.0);
        QCOMPARE(form->mousePointer(), 0);
        QVERIFY(control<QPushButton>("PushButton2")->isEnabled());
        checkPieces(out().chopped(1), "Counting Clock.mp4", 3, 5);
        checkPieces(out().chopped(1), "Colour Bars.mp4", 4, 5);
        checkPieces(out().chopped(1), "Mandelbrot Zoom.mp4", 6, 5);
        QCOMPARE(filesIn(out()).size(), 13); // the pieces and nothing else: no working copy is left
        for (int i = 0; i < sampleNames.size(); ++i)
            QCOMPARE(digest(src(sampleNames[i])), before[i]);
        QCOMPARE(list()->rowCount(), 3); // the list is as it was
    }

    void anEmptyListWritesNoTool()
    {
        scripted.outcomes.clear();
        runnerInUse = &scripted;
        openWindow();
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(), QStringList { "No files added." });
        QVERIFY(scripted.calls.isEmpty());
        QVERIFY(progress.isEmpty());
        QCOMPARE(form->mousePointer(), 0);
    }

    void theToolGetsItsArgumentsInAPrivateFolder()
    {
        runnerInUse = &scripted;
        openWindow();
        addSample("Counting Clock.mp4");
        dialogs.expectMessage();
        start();
        QCOMPARE(scripted.calls.size(), 1);
        const ScriptedRunner::Call& call = scripted.calls.first();
        QCOMPARE(call.arguments, QStringList({ "--progress", "-split", "10", out("Counting Clock.mp4") }));
        QCOMPARE(call.windowStyle, 0);
        QVERIFY(call.executable);
        QCOMPARE(QFileInfo(call.program).fileName(), QStringLiteral("m"));
        QCOMPARE(QFileInfo(call.program).dir().dirName().left(9), QStringLiteral("quorvane-"));
        QCOMPARE(QFileInfo(QFileInfo(call.program).absolutePath()).absolutePath(), temp->path());
        const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(call.folderPermissions, QString::number(static_cast<int>(ownerOnly), 16));
        QVERIFY(!QFile::exists(out("Counting Clock.mp4"))); // the working copy is gone
    }

    // Each way gives the tool its measure of the pieces, and "Exact lengths" goes with all three. A size or
    // count asked for and not given is reported at 186, and that file is left alone.
    void eachWayGivesTheToolItsMeasure_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QString>("answer"); // asked for when not null
        QTest::addColumn<QStringList>("measure"); // none: the tool is not started
        QTest::addColumn<QString>("failure");
        QTest::newRow("every 10 seconds") << 0 << 2 << false << QString() << QStringList { "-split", "10" } << "";
        QTest::newRow("every 10 seconds, exact") << 0 << 2 << true << QString() << QStringList { "-split", "10" } << "";
        QTest::newRow("8 MB") << 1 << 0 << false << QString() << QStringList { "-splits", "8M" } << "";
        QTest::newRow("25 MB, exact") << 1 << 1 << true << QString() << QStringList { "-splits", "25M" } << "";
        QTest::newRow("100 MB") << 1 << 2 << false << QString() << QStringList { "-splits", "100M" } << "";
        QTest::newRow("2 GB") << 1 << 3 << false << QString() << QStringList { "-splits", "2G" } << "";
        QTest::newRow("4 GB, a FAT32 file's most in kilobytes")
            << 1 << 4 << false << QString() << QStringList { "-splits", "4194303" } << "";
        QTest::newRow("x MB") << 1 << 5 << false << "700" << QStringList { "-splits", "700M" } << "";
        QTest::newRow("x MB cancelled") << 1 << 5 << false << "" << QStringList() << "Type mismatch";
        QTest::newRow("2 parts") << 2 << 0 << false << QString() << QStringList { "-parts", "2" } << "";
        QTest::newRow("10 parts, exact") << 2 << 4 << true << QString() << QStringList { "-parts", "10" } << "";
        QTest::newRow("x parts") << 2 << 5 << false << "7" << QStringList { "-parts", "7" } << "";
        QTest::newRow("x parts, not a number") << 2 << 5 << false << "many" << QStringList() << "Type mismatch";
        QTest::newRow("x parts, too many")
            << 2 << 5 << false << "20000" << QStringList() << "From 1 to 10000 parts can be made";
    }
    void eachWayGivesTheToolItsMeasure()
    {
        QFETCH(int, way);
        QFETCH(int, item);
        QFETCH(bool, exact);
        QFETCH(QString, answer);
        QFETCH(QStringList, measure);
        QFETCH(QString, failure);
        runnerInUse = &scripted;
        openWindow();
        addSample("Counting Clock.mp4");
        control<QComboBox>("Combo2")->setCurrentIndex(way);
        control<QComboBox>(way == 0 ? "Combo1" : way == 1 ? "Combo3" : "Combo4")->setCurrentIndex(item);
        control<QCheckBox>("Check1")->setChecked(exact);
        if (!answer.isNull())
            dialogs.expectInput(answer);
        if (measure.isEmpty())
            dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        if (measure.isEmpty()) {
            QCOMPARE(messages(), QStringList({ errorBox(failure, 186), "Done." }));
            QVERIFY(scripted.calls.isEmpty());
            QCOMPARE(list()->rowOutcome(1).kind, RowOutcome::Failed);
            QCOMPARE(list()->rowOutcome(1).text, failure);
        } else {
            QCOMPARE(messages(), QStringList { "Done." });
            QCOMPARE(scripted.calls.size(), 1);
            QCOMPARE(scripted.calls[0].arguments,
                QStringList { "--progress" } + (exact ? QStringList { "--exact" } : QStringList()) + measure
                    + QStringList { out("Counting Clock.mp4") });
        }
        QCOMPARE(filesIn(out()), QStringList()); // no working copy is left either way
    }

    // The way, the size and the count are read for each file, as the interval is: a change while a file is
    // being split counts from the next file on; and a custom size is asked for each file.
    void theWayIsReadAfreshForEachFile()
    {
        runnerInUse = &scripted;
        openWindow();
        addSample("Counting Clock.mp4");
        addSample("Colour Bars.mp4");
        addSample("Mandelbrot Zoom.mp4");
        control<QComboBox>("Combo2")->setCurrentIndex(1);
        control<QComboBox>("Combo3")->setCurrentIndex(5); // x MB
        const auto choose = [this](int way, int item) {
            return [this, way, item] {
                control<QComboBox>("Combo2")->setCurrentIndex(way);
                control<QComboBox>(way == 0 ? "Combo1" : "Combo4")->setCurrentIndex(item);
            };
        };
        scripted.outcomes = { { 0, {}, {}, choose(2, 1) }, { 0, {}, {}, choose(0, 3) } };
        dialogs.expectInput("64");
        dialogs.expectMessage();
        start();
        QCOMPARE(scripted.calls.size(), 3);
        QCOMPARE(scripted.calls[0].arguments.mid(1, 2), QStringList({ "-splits", "64M" }));
        QCOMPARE(scripted.calls[1].arguments.mid(1, 2), QStringList({ "-parts", "3" }));
        QCOMPARE(scripted.calls[2].arguments.mid(1, 2), QStringList({ "-split", "30" }));
    }

    // The row says what a way made, from the tool's piece lines and, for a size, from the pieces on disk.
    void rowsSayWhatEachWayMade_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("item");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<qint64>>("sizes"); // of the pieces the tool wrote
        QTest::addColumn<QString>("text");
        QTest::newRow("at most 25 MB") << 1 << 1 << QStringList { "piece 1 60.0", "piece 2 58.2", "piece 3 12.0" }
                                       << QList<qint64> { 25795000, 20000000, 5000000 }
                                       << "Split into 3 pieces of at most 25 MB, the largest 24.6 MB.";
        QTest::newRow("at most 4 GB, in one piece")
            << 1 << 4 << QStringList { "piece 1 12.0" } << QList<qint64> { 3250586 }
            << "Split into 1 piece of 3.1 MB (at most 4 GB asked).";
        QTest::newRow("at most 2 GB, cuts re-encoded")
            << 1 << 3 << QStringList { "piece 1 900.0", "piece 2 300.0", "recoded 1 0.4" }
            << QList<qint64> { 2147000000, 700000000 }
            << "Split into 2 pieces of at most 2 GB, the largest 2.0 GB, 1 cut re-encoded (0.4 s of video).";
        QTest::newRow("pieces not found") << 1 << 0 << QStringList { "piece 1 2.0", "piece 2 1.0" } << QList<qint64>()
                                          << "Split into 2 pieces of at most 8 MB.";
        QTest::newRow("no piece lines") << 1 << 0 << QStringList() << QList<qint64>() << "Split.";
        QTest::newRow("4 parts") << 2 << 2
                                 << QStringList { "piece 1 150.0", "piece 2 150.04", "piece 3 149.9", "piece 4 150.1" }
                                 << QList<qint64>() << "Split into 4 parts of 149.9 to 150.1 s.";
        QTest::newRow("2 equal parts") << 2 << 0 << QStringList { "piece 1 6.0", "piece 2 6.0" } << QList<qint64>()
                                       << "Split into 2 parts of 6.0 s.";
        QTest::newRow("every 10 seconds, as before")
            << 0 << 2 << QStringList { "piece 1 10.0", "piece 2 2.0" } << QList<qint64> { 9000 }
            << "Split into 2 pieces of 2.0 to 10.0 s.";
    }
    void rowsSayWhatEachWayMade()
    {
        QFETCH(int, way);
        QFETCH(int, item);
        QFETCH(QStringList, lines);
        QFETCH(QList<qint64>, sizes);
        QFETCH(QString, text);
        runnerInUse = &scripted;
        openWindow();
        addSample("Counting Clock.mp4");
        control<QComboBox>("Combo2")->setCurrentIndex(way);
        control<QComboBox>(way == 0 ? "Combo1" : way == 1 ? "Combo3" : "Combo4")->setCurrentIndex(item);
        const auto writePieces = [&] {
            for (int n = 1; n <= sizes.size(); ++n) {
                QFile piece(out(QStringLiteral("Counting Clock_%1.mp4").arg(n, 3, 10, QLatin1Char('0'))));
                QVERIFY(piece.open(QIODevice::WriteOnly) && piece.resize(sizes[n - 1])); // sparse: no disk taken
            }
        };
        scripted.outcomes = { { 0, {}, lines, writePieces } };
        dialogs.expectMessage();
        start();
        QCOMPARE(list()->rowOutcome(1).kind, RowOutcome::Finished);
        QCOMPARE(list()->rowOutcome(1).text, text);
    }

    void withoutTEMPTheSystemsTemporaryFolderServes()
    {
        QTemporaryDir system;
        qunsetenv("TEMP");
        qputenv("TMPDIR", system.path().toLocal8Bit());
        runnerInUse = &scripted;
        openWindow();
        addSample("Counting Clock.mp4");
        dialogs.expectMessage();
        start();
        qunsetenv("TMPDIR");
        QCOMPARE(scripted.calls.size(), 1);
        QCOMPARE(QFileInfo(QFileInfo(scripted.calls[0].program).absolutePath()).absolutePath(), system.path());
        QCOMPARE(filesIn(system.path()), QStringList());
    }

    void aToolThatCannotStartIsReported()
    {
        runnerInUse = &scripted;
        scripted.outcomes = { { ProcessRunner::startFailureBase + 53, {} } };
        openWindow();
        addSample("Counting Clock.mp4");
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(), QStringList({ errorBox("The splitter could not be started", 192), "Done." }));
        QVERIFY(!QFile::exists(out("Counting Clock.mp4")));
    }

    void aMissingOutputFolderSkipsTheRow()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        addSample("Colour Bars.mp4");
        control<QLineEdit>("Text2")->setText(out("missing/"));
        dialogs.expectMessage();
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(),
            QStringList({ errorBox("Path not found: " + out("missing/"), 120),
                errorBox("Path not found: " + out("missing/"), 120), "Done." }));
        QCOMPARE(filesIn(out()), QStringList());
    }

    void aFileThatIsNoVideoIsReportedWithTheToolsWords()
    {
        openWindow();
        QVERIFY(writeFile(src("notes.mp4"), "Shopping list\n"));
        list()->AppendRow(src("notes.mp4"));
        addSample("Counting Clock.mp4");
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        // The tool's words name the file the user listed, not the working copy it was given.
        QCOMPARE(messages(), QStringList({ errorBox(src("notes.mp4") + ": not a video or audio file", 192), "Done." }));
        QVERIFY(!QFile::exists(out("notes.mp4")));
        QVERIFY(QFile::exists(src("notes.mp4")));
        checkPieces(out().chopped(1), "Counting Clock.mp4", 2, 10); // the run went on
    }

    void theSourcesOwnFolderSplitsInPlace()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        const QByteArray before = digest(src("Counting Clock.mp4"));
        control<QLineEdit>("Text2")->setText(sources->path() + "/");
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(), QStringList { "Done." });
        QCOMPARE(digest(src("Counting Clock.mp4")), before); // never deleted, never changed
        checkPieces(sources->path(), "Counting Clock.mp4", 2, 10);
    }

    void aFileOfTheSourcesNameInTheOutputFolderIsKept()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        QVERIFY(writeFile(out("Counting Clock.mp4"), "my own file"));
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(
            messages(), QStringList({ errorBox("File already exists: " + out("Counting Clock.mp4"), 120), "Done." }));
        QFile kept(out("Counting Clock.mp4"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("my own file"));
        QCOMPARE(filesIn(out()), QStringList { "Counting Clock.mp4" });
    }

    void twoSourcesOfOneNameDoNotOverwriteEachOther()
    {
        openWindow();
        addSample("Counting Clock.mp4", "a/clip.mp4");
        addSample("Colour Bars.mp4", "b/clip.mp4");
        list()->AppendRow(src("a/clip.mp4")); // the same source again is split again
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(),
            QStringList({ errorBox("File already exists: " + out("clip.mp4")
                                  + " (another file of this name was split into this folder in this run)",
                              120),
                "Done." }));
        QCOMPARE(filesIn(out()), QStringList({ "clip_001.mp4", "clip_002.mp4" }));
        // The pieces are those of the first source: 12 s in two pieces.
        const ProbedFile second = probeMedia(out("clip_002.mp4").toStdString());
        QVERIFY(qAbs(second.streams[0].end - 2.0) < 1e-3);
    }

    // What a program killed in the middle of a run leaves in the output folder: its working copy, and the note
    // it kept of it. The next run deletes what the note proves to be that copy, and nothing else.
    void aKilledRunsWorkingCopyIsDeletedByTheNextRunWhenProvablyItsOwn()
    {
        openWindow();
        addSample("Counting Clock.mp4", "left/a.mp4"); // its copy was made by the killed run
        addSample("Colour Bars.mp4", "left/b.mp4"); // its copy was replaced by the user since
        addSample("Mandelbrot Zoom.mp4", "left/c.mp4"); // its note names a process still running
        addSample("Counting Clock.mp4", "left/d.mp4"); // its note has no identity; the copy is identical
        const QString dead = endedProcessId();
        int notes = 0;
        const auto note = [&](const QString& name, const QString& pid, bool withIdentity) {
            QVERIFY(QFile::copy(src("left/" + name), out(name))); // a copy of its own, as across file systems
            const QJsonObject fields { { "source", src("left/" + name) }, { "copy", out(name) },
                { "identity", withIdentity ? fileIdentity(out(name)) : QString() } };
            QVERIFY(writeFile(QStringLiteral("%1/working-copy-%2-%3.json").arg(stateFolder(), pid).arg(++notes),
                QJsonDocument(fields).toJson()));
        };
        note("a.mp4", dead, true);
        note("b.mp4", dead, true);
        QVERIFY(QFile::remove(out("b.mp4")));
        QVERIFY(writeFile(out("b.mp4"), "the user's own b.mp4"));
        note("c.mp4", QString::number(QCoreApplication::applicationPid() == 1 ? 2 : 1), true);
        note("d.mp4", dead, false);
        const QByteArray yours = digest(out("b.mp4"));
        dialogs.expectMessage();
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(),
            QStringList({ errorBox("File already exists: " + out("b.mp4"), 120),
                errorBox("File already exists: " + out("c.mp4"), 120), "Done." }));
        QCOMPARE(digest(out("b.mp4")), yours); // not provably ours: kept
        QVERIFY(QFile::exists(out("c.mp4"))); // its program may still be at work
        QCOMPARE(filesIn(out()), QStringList({ "a_001.mp4", "a_002.mp4", "b.mp4", "c.mp4", "d_001.mp4", "d_002.mp4" }));
        // The notes of the dead run are gone; the live program's note stays for it.
        QCOMPARE(filesIn(stateFolder()).size(), 1);
    }

    void aRunKeepsNoNoteOfCopiesItHasDeleted()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        QStringList notesDuringTheRun;
        qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "1");
        QObject scope;
        connect(&runner, &ProcessRunner::errorOutput, &scope, [&](const QString& text) {
            if (!text.contains("holding"))
                return;
            notesDuringTheRun = filesIn(stateFolder());
            runner.terminate();
        });
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QCOMPARE(notesDuringTheRun.size(), 1);
        QVERIFY(notesDuringTheRun[0].startsWith(
            QStringLiteral("working-copy-%1-").arg(QCoreApplication::applicationPid())));
        QCOMPARE(filesIn(stateFolder()), QStringList());
    }

    // The bar's fill says which file; its words say how far that file is, from the tool's own lines.
    void theBarSaysHowFarTheFileInHandIs()
    {
        openWindow();
        // A long file made quickly: a sample over and over, without encoding.
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            { "-nostdin", "-v", "error", "-stream_loop", "150", "-i",
                QStringLiteral(QUORVANE_SAMPLES_DIR "/Mandelbrot Zoom.mp4"), "-c", "copy", src("long.mp4") });
        QVERIFY(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0);
        list()->AppendRow(src("long.mp4"));
        addSample("Counting Clock.mp4");
        chooseInterval(9); // every 10 minutes
        auto* bar = control<ProgressBar>("ProgressBar1");
        QCOMPARE(bar->text(), QString());
        QStringList texts;
        QObject scope;
        connect(bar, &ProgressBar::captionChanged, &scope, [&](const QString& text) { texts << text; });
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(), QStringList { "Done." });
        QCOMPARE(bar->text(), QString()); // no words when no run is going on
        const QRegularExpression first("^1 of 2 \u00b7 long\\.mp4 \u00b7 (\\d+) %$");
        int before = -1;
        int fromFirst = 0;
        for (const QString& text : texts) {
            const QRegularExpressionMatch match = first.match(text);
            if (!match.hasMatch())
                break;
            QVERIFY2(match.captured(1).toInt() > before, qPrintable(texts.join(" | ")));
            before = match.captured(1).toInt();
            ++fromFirst;
        }
        QVERIFY2(fromFirst >= 2 && before == 100, qPrintable(texts.join(" | ")));
        QCOMPARE(texts.mid(texts.size() - 2),
            QStringList({ QStringLiteral("2 of 2 \u00b7 Counting Clock.mp4 \u00b7 100 %"), QString() }));
    }

    // Each file's row says what became of it, in words the user can act on, with an icon of its kind; the
    // row's text stays. The tool's exit status tells a file cut short, a damaged one and one of a kind it
    // cannot split apart from a failure.
    void everyRowShowsWhatBecameOfItsFile()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        const auto make = [&](const QString& name, const QStringList& arguments) {
            QProcess ffmpeg;
            ffmpeg.start("ffmpeg",
                QStringList {
                    "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "12" }
                    + arguments + QStringList { src(name) });
            QVERIFY(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0);
            list()->AppendRow(src(name));
        };
        make("sparse.mp4", { "-g", "120", "-c:v", "libx264" }); // keyframes 12 s apart: no 5 s piece can be cut
        QVERIFY(writeFile(src("notes.mp4"), "Shopping list\n"));
        list()->AppendRow(src("notes.mp4"));
        make("short.mp4", { "-g", "10", "-c:v", "libx264", "-movflags", "+faststart" });
        QFile whole(src("short.mp4")); // a download broken off after 60 %
        QVERIFY(whole.open(QIODevice::ReadWrite) && whole.resize(whole.size() * 6 / 10));
        whole.close();
        make("renamed.mp4", { "-c:v", "libvpx", "-f", "webm" }); // WebM under an MP4 name: MP4 has no VP8
        chooseInterval(1); // every 5 seconds
        for (int box = 0; box < 4; ++box)
            dialogs.expectMessage();
        start();

        const QString damaged = src("notes.mp4") + ": not a video or audio file";
        QCOMPARE(messages().first(), errorBox(damaged, 192));
        QCOMPARE(messages().size(), 4);
        const QList<RowOutcome> expected {
            { RowOutcome::Finished, "Split into 3 pieces of 2.0 to 5.0 s." },
            { RowOutcome::FinishedWithNotes,
                "Split into 1 piece of 12.0 s, with notes:\n"
                "piece 1 is 12.0 s long: no keyframe within 5 s of its start" },
            { RowOutcome::Damaged,
                "Not split: the file is damaged, or it is not a video or audio file.\n"
                "not a video or audio file" },
            { RowOutcome::CutShort,
                "Cut short: the file ends early or could not be read to its end; the pieces made of what could be "
                "read are kept.\n"
                "the file ends early, at h:mm:ss.t; the pieces up to short_002.mp4 hold what could be read" },
            { RowOutcome::NotSplittable,
                "Not split: pieces of this kind of file cannot be made.\nits video cannot be kept in mp4 pieces" },
        };
        const auto anyTime = [](QString text) { // where the broken file ends depends on the encoder
            return text.replace(QRegularExpression("\\d+:\\d\\d:\\d\\d\\.\\d"), "h:mm:ss.t");
        };
        QList<QImage> icons;
        for (int row = 1; row <= expected.size(); ++row) {
            QCOMPARE(list()->rowOutcome(row).kind, expected[row - 1].kind);
            QCOMPARE(anyTime(list()->rowOutcome(row).text), expected[row - 1].text);
            QCOMPARE(anyTime(list()->topLevelItem(row - 1)->toolTip(0)), expected[row - 1].text);
            icons << list()->topLevelItem(row - 1)->icon(0).pixmap(16).toImage();
            QVERIFY(!icons.last().isNull());
            for (int other = 0; other + 1 < icons.size(); ++other)
                QVERIFY2(
                    icons[other] != icons.last(), qPrintable(QStringLiteral("rows %1 and %2").arg(other + 1).arg(row)));
        }
        QCOMPARE(list()->rowText(4), src("short.mp4"));
        QVERIFY(QFile::exists(out("short_002.mp4"))); // what could be read is kept
    }

    // With "Exact lengths" ticked the tool is asked for exact pieces, and the row says how many cuts had
    // pictures encoded again: keyframes 12 s apart, cut every 5 s, gives 5 + 5 + 2 s.
    void exactLengthsAreAskedForAndSaid()
    {
        openWindow();
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
            { "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "12", "-g", "120",
                "-c:v", "libx264", src("sparse.mp4") });
        QVERIFY(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0);
        list()->AppendRow(src("sparse.mp4"));
        chooseInterval(1); // every 5 seconds
        control<QCheckBox>("Check1")->setChecked(true);
        dialogs.expectMessage();
        start();
        QCOMPARE(list()->rowOutcome(1).kind, RowOutcome::Finished);
        // From the cut at 5 s to the end, and the B-frames shown just before it.
        QVERIFY2(
            QRegularExpression("^Split into 3 pieces of 2.0 to 5.0 s, 2 cuts re-encoded \\(7\\.[0-2] s of video\\)\\.$")
                .match(list()->rowOutcome(1).text)
                .hasMatch(),
            qPrintable(list()->rowOutcome(1).text));
    }

    // Stop ends the run at once: the tool and its folder go, the working copy goes, the pieces already
    // finished stay, and the button can start a new run. Outcomes of an earlier run are cleared by the next.
    void stopEndsTheRunAndKeepsOnlyFinishedPieces()
    {
        openWindow();
        addSample("Mandelbrot Zoom.mp4");
        addSample("Counting Clock.mp4");
        const QByteArray source = digest(src("Mandelbrot Zoom.mp4"));
        dialogs.expectMessage();
        start(); // a first run gives both rows an outcome
        QCOMPARE(list()->rowOutcome(2).kind, RowOutcome::Finished);
        for (const QString& name : filesIn(out()))
            QVERIFY(QFile::remove(out(name)));

        auto* button = control<QPushButton>("PushButton2");
        qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "2"); // the first piece is finished, the second being written
        QObject scope;
        connect(&runner, &ProcessRunner::errorOutput, &scope, [&](const QString& text) {
            if (!text.contains("holding"))
                return;
            QCOMPARE(button->text(), QStringLiteral("Stop Splitting"));
            QTest::mouseClick(button, Qt::LeftButton);
        });
        dialogs.expectMessage();
        start();
        qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
        QCOMPARE(messages().last(), QStringLiteral("Splitting was stopped. 0 of 2 files were finished."));
        QCOMPARE(filesIn(out()), QStringList { "Mandelbrot Zoom_001.mp4" }); // no working copy, no half piece
        QCOMPARE(scripted.calls.size(), 0);
        QCOMPARE(button->text(), QStringLiteral("Start Splitting"));
        QVERIFY(button->isEnabled());
        QVERIFY(control<QPushButton>("PushButton3")->isEnabled());
        QCOMPARE(progress.last(), 0.0);
        QCOMPARE(control<ProgressBar>("ProgressBar1")->text(), QString());
        QCOMPARE(form->mousePointer(), 0);
        QCOMPARE(digest(src("Mandelbrot Zoom.mp4")), source);
        QCOMPARE(list()->rowOutcome(1).kind, RowOutcome::Stopped); // not a failure
        QCOMPARE(list()->rowOutcome(1).text,
            QStringLiteral("Stopped before it was finished; the 1 piece already made is kept."));
        QCOMPARE(list()->rowOutcome(2).kind, RowOutcome::None); // not reached by this run
        QVERIFY(decodeErrors(out("Mandelbrot Zoom_001.mp4")).isEmpty());

        // The box counts the files finished, in words that fit one file and several.
        chooseInterval(4); // every x seconds, asked for each file
        for (const auto& [answers, said] : std::vector<std::pair<QStringList, QString>> {
                 { { "60", "5" }, "Splitting was stopped. 1 of 2 files was finished." }, // the first in one piece
                 { { "5" }, "Splitting was stopped before the file was finished." } }) {
            list()->removeAllRows();
            list()->AppendRow(src("Mandelbrot Zoom.mp4"));
            if (answers.size() > 1)
                list()->AppendRow(src("Counting Clock.mp4"));
            for (const QString& answer : answers)
                dialogs.expectInput(answer);
            dialogs.expectMessage();
            qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "2");
            start();
            qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
            QCOMPARE(messages().last(), said);
            QCOMPARE(list()->rowOutcome(list()->rowCount()).kind, RowOutcome::Stopped);
        }
    }

    void customIntervalsAreAskedForEveryFile()
    {
        openWindow();
        for (const QString& name : sampleNames)
            addSample(name);
        chooseInterval(4); // every x seconds
        dialogs.expectInput("5");
        dialogs.expectInput("10");
        dialogs.expectInput("20");
        dialogs.expectMessage();
        start();
        QCOMPARE(messages(), QStringList { "Done." });
        int asked = 0;
        for (const ShownBox& box : dialogs.shown())
            asked += box.kind == ShownBox::Input && box.text == "Enter seconds: ";
        QCOMPARE(asked, 3);
        checkPieces(out().chopped(1), "Counting Clock.mp4", 3, 5);
        checkPieces(out().chopped(1), "Colour Bars.mp4", 2, 10);
        checkPieces(out().chopped(1), "Mandelbrot Zoom.mp4", 2, 20);
    }

    void whileARunWorksItCanBeStoppedButNotStartedAgainNorTheListEmptied()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        addSample("Colour Bars.mp4");
        qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "1");
        bool checked = false;
        QObject scope; // the watch ends with the test
        connect(&runner, &ProcessRunner::errorOutput, &scope, [&](const QString& text) {
            if (checked || !text.contains("holding"))
                return;
            checked = true;
            QVERIFY(control<QPushButton>("PushButton2")->isEnabled());
            QCOMPARE(control<QPushButton>("PushButton2")->text(), QStringLiteral("Stop Splitting"));
            QVERIFY(!control<QPushButton>("PushButton3")->isEnabled());
            QCOMPARE(form->mousePointer(), 11);
            list()->setCurrentItem(list()->topLevelItem(0));
            QTest::keyClick(list(), Qt::Key_Delete);
            QTest::mouseDClick(list()->viewport(), Qt::LeftButton);
            QCOMPARE(list()->rowCount(), 2);
            list()->AppendRow(src("later.mp4")); // adding stays possible
            chooseInterval(2); // and so does changing the interval
            qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
            runner.terminate();
        });
        dialogs.expectMessage();
        dialogs.expectMessage();
        start();
        QVERIFY(checked);
        // Ending the tool is reported; the second row is split as the interval now says; the row added
        // during the run is not part of it.
        QCOMPARE(messages(), QStringList({ errorBox("The splitter stopped unexpectedly", 192), "Done." }));
        QCOMPARE(list()->rowCount(), 3);
        QCOMPARE(filesIn(out()), QStringList({ "Colour Bars_001.mp4", "Colour Bars_002.mp4" }));
    }

    void closingTheWindowDuringARunLeavesNothingBehind()
    {
        openWindow();
        addSample("Counting Clock.mp4");
        addSample("Colour Bars.mp4");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "1");
        QObject scope;
        connect(&runner, &ProcessRunner::errorOutput, &scope, [&](const QString& text) {
            if (text.contains("holding")) {
                // The tool writes the first piece into a file that has no name yet.
                QCOMPARE(filesIn(out()), QStringList { "Counting Clock.mp4" });
                form->close();
            }
        });
        start();
        QCOMPARE(endings, 1);
        QCOMPARE(filesIn(out()), QStringList()); // no working copy, no half piece
        QVERIFY(dialogs.shown().isEmpty());
    }

    void aTerminationSignalDuringARunLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM (logout, shutdown)") << int(SIGTERM);
        QTest::newRow("SIGHUP (terminal closed)") << int(SIGHUP);
        QTest::newRow("SIGINT (Ctrl-C)") << int(SIGINT);
    }
    void aTerminationSignalDuringARunLeavesNothingBehind()
    {
        QFETCH(int, sig);
        openWindow();
        addSample("Counting Clock.mp4");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        TerminationSignals termination;
        closeOnTerminationSignals(termination, *form);
        qputenv("QUORVANE_SPLIT_HOLD_FOR_TEST", "1");
        QObject scope;
        connect(&runner, &ProcessRunner::errorOutput, &scope, [&](const QString& text) {
            if (text.contains("holding"))
                ::raise(sig);
        });
        start();
        qunsetenv("QUORVANE_SPLIT_HOLD_FOR_TEST");
        QCOMPARE(endings, 1);
        QCOMPARE(filesIn(out()), QStringList()); // no working copy, no half piece
        QVERIFY(dialogs.shown().isEmpty());
    }

    void anUnusableTempFallsBackToTheSystemsTemporaryFolder_data()
    {
        QTest::addColumn<QString>("named");
        QTest::newRow("TEMP names no folder") << "missing";
        QTest::newRow("TEMP names a file") << "a-file";
    }
    void anUnusableTempFallsBackToTheSystemsTemporaryFolder()
    {
        QFETCH(QString, named);
        QVERIFY(writeFile(sources->filePath("a-file"), "not a folder"));
        qputenv("TEMP", sources->filePath(named).toLocal8Bit());
        const QByteArray tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp->path().toLocal8Bit()); // where the tool must go instead
        openWindow();
        addSample("Counting Clock.mp4");
        dialogs.expectMessage();
        start();
        if (tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", tmpdir);
        QCOMPARE(messages(), QStringList { "Done." });
        QVERIFY(filesIn(out()).contains("Counting Clock_001.mp4"));
    }

    void theOutputFolderButton()
    {
        openWindow();
        auto* text = control<QLineEdit>("Text2");
        const auto choose = [&](const QString& folder) {
            dialogs.expectFolder(folder);
            QTest::mouseClick(control<QPushButton>("PushButton6"), Qt::LeftButton);
            return text->text();
        };
        QCOMPARE(choose("/srv/videos/out"), QStringLiteral("/srv/videos/out/"));
        QCOMPARE(store->value("Text2"), QStringLiteral("/srv/videos/out/"));
        QCOMPARE(choose("/"), QStringLiteral("/"));
        QCOMPARE(choose(""), QStringLiteral("/")); // cancel changes nothing
        QCOMPARE(store->value("Text2"), QStringLiteral("/"));
        QCOMPARE(dialogs.shown().last().text, QStringLiteral("Please select folder:"));
    }
};

QTEST_MAIN(TestSplitRun)
#include "test_splitrun.moc"
