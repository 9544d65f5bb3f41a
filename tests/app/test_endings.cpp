// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
// The whole program on a real X display (Xvfb), ended in every way a desktop program ends in the middle of
// a run: what is left on disk and in the process table afterwards is the result.
#include "app/twips.h"
#include "testfiles.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace quorvane::test;

namespace {

QString run(const QString& program, const QStringList& arguments, const QString& display)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// The numbers of the running processes whose command line mentions `text`.
QList<qint64> processesMentioning(const QString& text)
{
    QList<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!number || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = cmdline.readAll();
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        const bool zombie = stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
        if (!zombie && line.contains(text.toLocal8Bit()))
            found << pid;
    }
    return found;
}

} // namespace

class TestEndings : public QObject {
    Q_OBJECT

private:
    QProcess xvfb;
    QString display;
    std::unique_ptr<QTemporaryDir> root;
    QByteArray sourceDigest;

    QString path(const QString& relative) const { return root->filePath(relative); }
    QString xdotool(const QStringList& arguments) const { return run(QStringLiteral("xdotool"), arguments, display); }

    // The program, started as a user would start it, with the source already listed.
    void startProgram(QProcess& program)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
        environment.insert(QStringLiteral("TEMP"), path(QStringLiteral("temp")));
        // The tool stops for good while it writes the second piece, so every ending meets it at work.
        environment.insert(QStringLiteral("QUORVANE_SPLIT_HOLD_FOR_TEST"), QStringLiteral("2"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        // One start in a hundred opens the home page; without a browser that is an error box, which would
        // stand in front of the window and take the test's click.
        environment.insert(QStringLiteral("BROWSER"), QStringLiteral("true"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(QUORVANE_PROGRAM), { path(QStringLiteral("source/holiday.mp4")) });
        QVERIFY(program.waitForStarted());
    }
    // The program's main window, once it is on the screen.
    QString mainWindow(const QProcess& program) const
    {
        const QString pid = QString::number(program.processId());
        return xdotool({ "search", "--sync", "--onlyvisible", "--pid", pid, "--name", "^Quorvane$" })
            .split(QLatin1Char('\n'))
            .constFirst();
    }
    // A window just mapped may not take a click yet: now and then a click came to nothing. It is made again
    // only when nothing at all has followed it for 5 s (no tool of this run started), as a second click on
    // a run that had begun would stop it.
    void pressStart(const QString& window)
    {
        using quorvane::px;
        const int x = px(120) + px(7800) / 2;
        const int y = px(4800 + 285) + px(405) / 2; // below the interval frame and its exact-lengths box
        const auto begun = [&] { return !processesMentioning(path(QStringLiteral("temp"))).isEmpty(); };
        for (int attempt = 0; attempt < 3; ++attempt) {
            xdotool({ "mousemove", "--window", window, QString::number(x), QString::number(y), "click", "1" });
            if (QTest::qWaitFor(begun, 5000))
                return;
        }
    }
    // The tool of this run, holding with the first piece finished and the second open without a name. The
    // files alone do not tell: the tool also has one file without a name while it writes the first piece,
    // and a killed run may have left a first piece. Held, it waits for its signal to go on.
    void toolAtWork(qint64* tool = nullptr)
    {
        QList<qint64> tools;
        const auto held = [&] {
            tools = processesMentioning(path(QStringLiteral("temp")));
            if (tools.size() != 1)
                return false;
            QFile wchan(QStringLiteral("/proc/%1/wchan").arg(tools.first()));
            return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("sigtimedwait")
                && unnamedFilesOpenIn(tools.first(), path(QStringLiteral("out"))) == 1;
        };
        QVERIFY(QTest::qWaitFor([&] { return held(); }, 60000));
        QCOMPARE(filesIn(path(QStringLiteral("out"))), QStringList({ "holiday.mp4", "holiday_001.mp4" }));
        if (tool)
            *tool = tools.first();
    }
    // Nothing of the run is left: no tool running, only the finished piece in the output folder, no tool
    // folder, no note of a working copy, and the source as it was.
    void checkNothingLeft()
    {
        QVERIFY(QTest::qWaitFor(
            [&] { return processesMentioning(path(QStringLiteral("temp"))) == QList<qint64>(); }, 10000));
        QCOMPARE(processesMentioning(path(QStringLiteral("temp"))), QList<qint64>());
        QCOMPARE(filesIn(path(QStringLiteral("out"))), QStringList { "holiday_001.mp4" });
        QCOMPARE(filesIn(path(QStringLiteral("temp"))), QStringList());
        QCOMPARE(filesIn(path(QStringLiteral("state/quorvane"))), QStringList());
        QCOMPARE(digest(path(QStringLiteral("source/holiday.mp4"))), sourceDigest);
        QCOMPARE(decodeErrors(path(QStringLiteral("out/holiday_001.mp4"))), QString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(), "Xvfb is needed (package xvfb)");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(), "xdotool is needed");
        // Xvfb picks a free display itself and names it on the descriptor given.
        xvfb.start(QStringLiteral("Xvfb"), { "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24" });
        QVERIFY(xvfb.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning; }, 20000));
        display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();
        QVERIFY(display.size() > 1);
    }
    void cleanupTestCase()
    {
        xvfb.terminate();
        xvfb.waitForFinished();
    }
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        for (const char* folder : { "source", "out", "temp", "config", "state" })
            QVERIFY(QDir(root->path()).mkdir(QLatin1String(folder)));
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLES_DIR "/Mandelbrot Zoom.mp4"), path("source/holiday.mp4")));
        sourceDigest = digest(path("source/holiday.mp4"));
        QFile settings(path("config/Brindlecot.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[Quorvane]\nText2=" + QFile::encodeName(path("out/")) + "\n");
    }

    void aSignalEndsTheProgramAndItsRunCleanly_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM (logout, shutdown)") << int(SIGTERM);
        QTest::newRow("SIGHUP (terminal closed)") << int(SIGHUP);
        QTest::newRow("SIGINT (Ctrl-C)") << int(SIGINT);
    }
    void aSignalEndsTheProgramAndItsRunCleanly()
    {
        QFETCH(int, sig);
        QProcess program;
        startProgram(program);
        pressStart(mainWindow(program));
        toolAtWork();
        ::kill(static_cast<pid_t>(program.processId()), sig);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        checkNothingLeft();
    }

    void aLostDisplayEndsTheRunCleanly()
    {
        QProcess program;
        startProgram(program);
        const QString window = mainWindow(program);
        pressStart(window);
        toolAtWork();
        xdotool({ "windowkill", window }); // the server drops the program's connection
        QVERIFY(program.waitForFinished(20000));
        checkNothingLeft();
    }

    // SIGKILL cannot be handled: the tool is ended by the kernel with the program, and what the program could
    // not remove is removed by the next run as it starts.
    void aKilledProgramsLeftoversGoWhenTheNextRunStarts()
    {
        QProcess killed;
        startProgram(killed);
        pressStart(mainWindow(killed));
        toolAtWork();
        killed.kill();
        QVERIFY(killed.waitForFinished(20000));
        QVERIFY(QTest::qWaitFor([&] { return processesMentioning(path("temp")) == QList<qint64>(); }, 10000));
        QCOMPARE(processesMentioning(path("temp")), QList<qint64>());
        QCOMPARE(filesIn(path("temp")).size(), 1); // its tool folder, until the next run
        QCOMPARE(filesIn(path("state/quorvane")).size(), 1); // and the note of its working copy

        QProcess next;
        startProgram(next);
        pressStart(mainWindow(next));
        toolAtWork(); // the working copy did not stand in the way
        const QStringList toolFolders = filesIn(path("temp"));
        QCOMPARE(toolFolders.size(), 1);
        QVERIFY(toolFolders[0].startsWith(QStringLiteral("quorvane-%1-").arg(next.processId())));
        ::kill(static_cast<pid_t>(next.processId()), SIGTERM);
        QVERIFY(next.waitForFinished(20000));
        checkNothingLeft();
    }

    // The run reports the tool's end, removes the working copy and the tool, and says it is done.
    void aKilledToolEndsOnlyItsFile()
    {
        QProcess program;
        startProgram(program);
        const QString window = mainWindow(program);
        pressStart(window);
        qint64 tool = 0;
        toolAtWork(&tool);
        ::kill(static_cast<pid_t>(tool), SIGKILL);
        const QString pid = QString::number(program.processId());
        for (int box = 0; box < 2; ++box) { // "The splitter stopped unexpectedly", then "Done."
            QString shown;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return (shown = xdotool({ "search", "--onlyvisible", "--pid", pid, "--name", "^Quorvane$" }))
                               .split(QLatin1Char('\n'))
                               .size()
                        == 2;
                },
                20000));
            QString boxWindow;
            for (const QString& id : shown.split(QLatin1Char('\n')))
                boxWindow = id == window ? boxWindow : id;
            xdotool({ "windowfocus", "--sync", boxWindow });
            xdotool({ "key", "Return" }); // as typed, to the window that has the focus
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return !xdotool({ "search", "--onlyvisible", "--pid", pid, "--name", "^Quorvane$" })
                                .contains(boxWindow);
                },
                20000));
        }
        checkNothingLeft();
        QVERIFY(program.state() == QProcess::Running); // the program goes on
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
    }
};

QTEST_MAIN(TestEndings)
#include "test_endings.moc"
