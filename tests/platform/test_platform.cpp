// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/conversions.h"
#include "platform/failure.h"
#include "platform/fileattributes.h"
#include "platform/filecopy.h"
#include "platform/processrunner.h"
#include "platform/settingsstore.h"
#include "platform/systemfolders.h"
#include "platform/terminationsignals.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace quorvane;

class TestPlatform : public QObject {
    Q_OBJECT

private:
    // The description a conversion fails with, or its value as text.
    template <typename F> static QString outcome(F convert)
    {
        try {
            return QString::number(convert());
        } catch (const Failure& failure) {
            return failure.description();
        }
    }

private slots:
    void toInt32_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "10"
                               << "10";
        QTest::newRow("blanks around") << "  7 \t"
                                       << "7";
        QTest::newRow("half to even, down") << "2.5"
                                            << "2";
        QTest::newRow("half to even, up") << "3.5"
                                          << "4";
        QTest::newRow("negative half") << "-2.5"
                                       << "-2";
        QTest::newRow("fraction") << "2.6"
                                  << "3";
        QTest::newRow("zero stays") << "0"
                                    << "0";
        QTest::newRow("negative stays") << "-5"
                                        << "-5";
        QTest::newRow("largest") << "2147483647"
                                 << "2147483647";
        QTest::newRow("smallest") << "-2147483648"
                                  << "-2147483648";
        QTest::newRow("one past largest") << "2147483648"
                                          << "Overflow";
        QTest::newRow("rounds past largest") << "2147483647.5"
                                             << "Overflow";
        QTest::newRow("exponent") << "1e10"
                                  << "Overflow";
        QTest::newRow("empty (cancelled box)") << ""
                                               << "Type mismatch";
        QTest::newRow("only blanks") << "   "
                                     << "Type mismatch";
        QTest::newRow("word") << "abc"
                              << "Type mismatch";
        QTest::newRow("trailing junk") << "12x"
                                       << "Type mismatch";
        QTest::newRow("infinity") << "inf"
                                  << "Type mismatch";
    }
    void toInt32()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(outcome([&] { return quorvane::toInt32(text); }), expected);
    }

    void toInt16_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("largest") << "32767"
                                 << "32767";
        QTest::newRow("smallest") << "-32768"
                                  << "-32768";
        QTest::newRow("too large") << "32768"
                                   << "Overflow";
        QTest::newRow("rounds past largest") << "32767.5"
                                             << "Overflow";
        QTest::newRow("minus one") << "-1"
                                   << "-1";
        QTest::newRow("half") << "14.5"
                              << "14";
        QTest::newRow("negative half") << "-1.5"
                                       << "-2";
        QTest::newRow("word") << "abc"
                              << "Type mismatch";
    }
    void toInt16()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(outcome([&] { return quorvane::toInt16(text); }), expected);
    }

    void usersDecimalSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString half = outcome([] { return quorvane::toInt32(QStringLiteral("2,5")); });
        const QString more = outcome([] { return quorvane::toInt32(QStringLiteral("3,5")); });
        QLocale::setDefault(QLocale::c());
        QCOMPARE(half, QStringLiteral("2"));
        QCOMPARE(more, QStringLiteral("4"));
    }

    void multiplyInt32()
    {
        QCOMPARE(quorvane::multiplyInt32(35791394, 60), 2147483640);
        QCOMPARE(quorvane::multiplyInt32(-596523, 3600), -2147482800);
        QCOMPARE(outcome([] { return quorvane::multiplyInt32(35791395, 60); }), QStringLiteral("Overflow"));
        QCOMPARE(outcome([] { return quorvane::multiplyInt32(-596524, 3600); }), QStringLiteral("Overflow"));
    }

    void settingsLiveInTheUsersConfigFile()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        NativeSettingsStore store;
        const QString file = home.filePath(QStringLiteral("Brindlecot.conf"));
        QCOMPARE(store.location(QStringLiteral("Brindlecot")), file);

        QCOMPARE(store.read("Brindlecot", "Quorvane", "Text2", "fallback"), QStringLiteral("fallback"));
        store.write("Brindlecot", "Quorvane", "Text2", "/home/user/Desktop/");
        // On disk as soon as the write returns.
        QFile ini(file);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray content = ini.readAll();
        ini.close();
        QVERIFY2(content.contains("[Quorvane]"), content.constData());
        QVERIFY2(content.contains("Text2=/home/user/Desktop/"), content.constData());

        // A stored empty text is a value.
        store.write("Brindlecot", "Quorvane", "Text2", "");
        QCOMPARE(store.read("Brindlecot", "Quorvane", "Text2", "fallback"), QString(""));
        QVERIFY(!store.read("Brindlecot", "Quorvane", "Text2", "fallback").isNull());

        // Awkward texts come back exactly as written.
        for (const QString& text : { QStringLiteral("a, b"), QStringLiteral("@Variant(x)"), QStringLiteral("\"q\" ;#"),
                 QStringLiteral("C:\\Out\\"), QStringLiteral("Vidéos/ä ü/") }) {
            store.write("Brindlecot", "Quorvane", "Extension", text);
            QCOMPARE(store.read("Brindlecot", "Quorvane", "Extension", {}), text);
        }

        // Reads are not cached: a change made by another program is seen at once.
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[Quorvane]\nCombo1=7\n");
        ini.close();
        QCOMPARE(store.read("Brindlecot", "Quorvane", "Combo1", "2"), QStringLiteral("7"));
        QCOMPARE(store.read("Brindlecot", "Quorvane", "Text2", "fallback"), QStringLiteral("fallback"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void settingsWriteThatCannotBeStoredFails()
    {
        QTemporaryDir home;
        // A file where the configuration folder should be: nothing can be written below it.
        const QString blocker = home.filePath(QStringLiteral("config"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        NativeSettingsStore store(blocker);
        try {
            store.write("Brindlecot", "Quorvane", "Combo1", "3");
            QFAIL("the write was reported as stored");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(), "Permission denied: " + store.location("Brindlecot"));
        }
    }

    void fileAttributesFollowTheLinuxRules()
    {
        QTemporaryDir dir;
        const auto make = [&](const QString& name, QFileDevice::Permissions permissions = {}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            if (permissions)
                QVERIFY(file.setPermissions(permissions));
        };
        make("plain.mp4");
        make(".hidden.mp4");
        make(".hidden-readonly.mp4", QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        make("readonly.mp4", QFileDevice::ReadOwner);
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QVERIFY(QDir(dir.path()).mkdir(".folder"));

        NativeFileAttributes attributes;
        const auto of = [&](const QString& name) { return attributes.attributes(dir.filePath(name)); };
        QCOMPARE(of("plain.mp4"), std::optional<quint32>(attr::Archive));
        QCOMPARE(of(".hidden.mp4"), std::optional<quint32>(attr::Hidden | attr::Archive)); // exactly 34
        QCOMPARE(of(".hidden-readonly.mp4"), std::optional<quint32>(attr::Hidden | attr::Archive | attr::ReadOnly));
        QCOMPARE(of("readonly.mp4"), std::optional<quint32>(attr::ReadOnly | attr::Archive));
        QCOMPARE(of("folder"), std::optional<quint32>(attr::Directory));
        QCOMPARE(of(".folder"), std::optional<quint32>(attr::Directory | attr::Hidden));
        QCOMPARE(of("missing"), std::optional<quint32>());
        QCOMPARE(attributes.attributes(QString()), std::optional<quint32>());

        QVERIFY(attributes.isNormalFile(dir.filePath("plain.mp4")));
        QVERIFY(attributes.isNormalFile(dir.filePath("readonly.mp4")));
        QVERIFY(!attributes.isNormalFile(dir.filePath(".hidden.mp4")));
        QVERIFY(!attributes.isNormalFile(dir.filePath("folder")));
        QVERIFY(!attributes.isNormalFile(dir.filePath("missing")));
    }

    void runAndWait()
    {
        QtProcessRunner runner;
        QCOMPARE(runner.RunAndWait("/bin/sh", { "-c", "echo 'clip.mp4: not a video' >&2; exit 65" }, 0), 65);
        QCOMPARE(runner.lastErrorOutput(), QStringLiteral("clip.mp4: not a video\n"));
        QVERIFY(!runner.lastCrashed());

        // Arguments reach the program exactly, quotes, blanks and all.
        QCOMPARE(runner.RunAndWait(
                     "/bin/sh", { "-c", "test \"$1\" = \"a 'b' \\\"c\\\" %d \\$x\"", "sh", "a 'b' \"c\" %d $x" }),
            0);

        // The window's events go on while the program runs.
        bool handled = false;
        QTimer::singleShot(0, [&] { handled = true; });
        QCOMPARE(runner.RunAndWait("/bin/sh", { "-c", "sleep 0.2" }, 7), 0);
        QVERIFY(handled);

        // A program that cannot be started: the error number plus the base, at once.
        const qint32 missing = runner.RunAndWait("/nonexistent/tool", {});
        QCOMPARE(missing, ProcessRunner::startFailureBase + 53);
        QVERIFY(missing < 0);
        QCOMPARE(ProcessRunner::startFailureBase, -2147221504);

        QVERIFY(runner.RunAndWait("/bin/sh", { "-c", "kill -TERM $$" }) != 0);
        QVERIFY(runner.lastCrashed());
    }

    // Standard output comes line by line while the program runs, the last line even without its end; of a
    // long standard error only the end is kept.
    void runAndWaitPassesOutputOn()
    {
        QtProcessRunner runner;
        QStringList lines;
        connect(&runner, &ProcessRunner::outputLine, this, [&](const QString& line) { lines << line; });
        QCOMPARE(runner.RunAndWait("/bin/sh", { "-c", "echo 'progress 1 2'; printf 'piece 1 5.0\\nno end'" }), 0);
        QCOMPARE(lines, QStringList({ "progress 1 2", "piece 1 5.0", "no end" }));
        QCOMPARE(
            runner.RunAndWait("/bin/sh", { "-c", "head -c 300000 /dev/zero | tr '\\0' x >&2; echo ' last word' >&2" }),
            0);
        QCOMPARE(runner.lastErrorOutput().size(), 64 * 1024);
        QVERIFY(runner.lastErrorOutput().endsWith("x last word\n"));
    }

    void workingCopies()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("clip.mp4");
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, 'v'));
        file.close();

        // On one file system the copy costs nothing; it reads the same.
        QVERIFY(QDir(dir.path()).mkdir("out"));
        const QString copy = dir.filePath("out/clip.mp4");
        QVERIFY(copyForReading(source, copy) != CopyKind::Copy);
        QCOMPARE(QFileInfo(copy).size(), 100000);
        QVERIFY(sameFile(copy, copy));
        QVERIFY(!sameFile(source, dir.filePath("missing")));

        // What already lies at the target is never replaced.
        const QString mine = dir.filePath("out/mine.mp4");
        QFile own(mine);
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("mine");
        own.close();
        const auto outcome = [](auto call) {
            try {
                call();
                return QString();
            } catch (const Failure& failure) {
                return failure.description();
            }
        };
        QCOMPARE(outcome([&] { copyForReading(source, mine); }), "File already exists: " + mine);
        QCOMPARE(QFileInfo(mine).size(), 4);
        // Each failure names the file or folder it concerns, after the usual words.
        QCOMPARE(outcome([&] { copyForReading(dir.filePath("gone.mp4"), dir.filePath("out/gone.mp4")); }),
            "File not found: " + dir.filePath("gone.mp4"));
        QCOMPARE(outcome([&] { copyForReading(source, dir.filePath("no/such/folder/clip.mp4")); }),
            "Path not found: " + dir.filePath("no/such/folder/"));

        // A private folder is the owner's alone.
        const QString folder = makePrivateFolder(dir.path());
        QCOMPARE(
            QFileInfo(folder).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOther),
            QFileDevice::Permissions());
        QVERIFY(makePrivateFolder(dir.path()) != folder);
        QCOMPARE(
            outcome([&] { makePrivateFolder(dir.filePath("missing")); }), "Path not found: " + dir.filePath("missing"));
    }

    void toolFoldersOfKilledProgramsAreRemoved()
    {
        QTemporaryDir dir;
        const QString dead = quorvane::test::endedProcessId();
        const QString alive = QString::number(QCoreApplication::applicationPid());
        const auto make = [&](const QString& folder, const QStringList& files) {
            QVERIFY(QDir(dir.path()).mkpath(folder));
            for (const QString& name : files) {
                QFile file(dir.filePath(folder + "/" + name));
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        };
        make("quorvane-" + dead + "-0123456789abcdef", { "m" }); // left by a killed program: removed
        make("quorvane-" + dead + "-00000000000000ff", {}); // killed before the tool was written: removed
        make("quorvane-" + alive + "-0123456789abcdef", { "m" }); // a program still running
        make("quorvane-" + dead + "-fedcba9876543210", { "m", "notes.txt" }); // holds more than a tool
        make("quorvane-" + dead, { "m" }); // not a name we make
        removeStalePrivateFolders(dir.path(), "m");
        QStringList kept { "quorvane-" + dead, "quorvane-" + dead + "-fedcba9876543210",
            "quorvane-" + alive + "-0123456789abcdef" };
        kept.sort();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), kept);
        // A folder made now carries this process's number, so a later run can tell whether it is gone.
        QVERIFY(QFileInfo(makePrivateFolder(dir.path())).fileName().startsWith("quorvane-" + alive + "-"));
    }

    void aChildEndsWithTheProgramThatStartedIt()
    {
        // The probe starts a long child through the runner; killing the probe outright, which no handler can
        // catch, must end the child too.
        QTemporaryDir dir;
        const QString pidFile = dir.filePath("child.pid");
        QProcess probe;
        probe.start(QStringLiteral(QUORVANE_RUNNER_PROBE), { pidFile });
        QVERIFY(probe.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(pidFile); }, 30000));
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 child = file.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        const auto running = [&] {
            // A child that ended but was not yet reaped by its new parent counts as ended.
            QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
            if (!stat.open(QIODevice::ReadOnly))
                return false;
            const QByteArray fields = stat.readAll();
            return !fields.mid(fields.lastIndexOf(')') + 2, 1).contains('Z');
        };
        QVERIFY(running());
        ::kill(static_cast<pid_t>(probe.processId()), SIGKILL);
        QVERIFY(probe.waitForFinished(30000));
        QVERIFY(QTest::qWaitFor([&] { return !running(); }, 10000));
    }

    void terminationSignalsArriveThroughTheEventLoop()
    {
        struct sigaction before { };
        QVERIFY(::sigaction(SIGTERM, nullptr, &before) == 0);
        {
            TerminationSignals termination;
            QSignalSpy spy(&termination, &TerminationSignals::terminationRequested);
            for (const int sig : { SIGTERM, SIGHUP, SIGINT })
                ::raise(sig); // would end this test program without the handler
            QVERIFY(QTest::qWaitFor([&] { return spy.count() == 3; }, 5000));
            QCOMPARE(spy.count(), 3);
            QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
            QCOMPARE(spy.at(2).at(0).toInt(), SIGINT);
        }
        // Gone with the object: the signals have their earlier handlers again.
        struct sigaction now { };
        QVERIFY(::sigaction(SIGTERM, nullptr, &now) == 0);
        QVERIFY(now.sa_handler == before.sa_handler);
    }

    void theProgramFolderOfABuildTreeAndOfAnInstall()
    {
        QTemporaryDir dir;
        const QDir root(dir.path());
        // A build tree, or a folder-style install: the files lie beside the program.
        QVERIFY(root.mkpath("build/Samples"));
        QCOMPARE(programFolderOf(root.filePath("build")), root.filePath("build"));
        // Installed under a prefix: <prefix>/bin and <prefix>/share/quorvane.
        QVERIFY(root.mkpath("usr/bin") && root.mkpath("usr/share/quorvane/Samples"));
        QCOMPARE(programFolderOf(root.filePath("usr/bin")), root.filePath("usr/share/quorvane"));
        // Neither: the program's own folder, where the missing files are looked for and not found.
        QVERIFY(root.mkpath("bare"));
        QCOMPARE(programFolderOf(root.filePath("bare")), root.filePath("bare"));
    }

    void aCopyAcrossFileSystemsIsWholeOrNothing()
    {
        // Across two file systems neither a clone nor a link can be had: the bytes are copied.
        QTemporaryDir other(QStringLiteral("/dev/shm/quorvane-test-XXXXXX"));
        QTemporaryDir dir;
        struct stat here { };
        struct stat there { };
        if (!other.isValid() || ::stat(QFile::encodeName(dir.path()).constData(), &here) != 0
            || ::stat(QFile::encodeName(other.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
            QSKIP("needs /dev/shm on a file system of its own");
        const QString source = other.filePath("clip.mp4");
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes(1 << 20, 'v');
        bytes[12345] = 'w';
        file.write(bytes);
        file.close();

        const QString whole = dir.filePath("clip.mp4");
        QCOMPARE(copyForReading(source, whole), CopyKind::Copy);
        QFile copied(whole);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), bytes);

        // A copy that fails half-way (here: the largest file this process may write is 64 KiB) leaves no half
        // file behind.
        struct rlimit before { };
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = before;
        small.rlim_cur = 64 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        QString failed;
        try {
            copyForReading(source, dir.filePath("half.mp4"));
        } catch (const Failure& failure) {
            failed = failure.description();
        }
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY2(!failed.isEmpty(), "a copy that could not be finished was reported as done");
        QVERIFY(!QFileInfo::exists(dir.filePath("half.mp4")));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
