// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "testfiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane::test;

namespace {

struct Ran {
    int exitCode = -1;
    QString out;
    QString err;
};

Ran run(const QString& program, const QStringList& arguments, const QString& folder = {})
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    Ran ran;
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return ran;
    ran.exitCode = process.exitCode();
    ran.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    ran.err = QString::fromLocal8Bit(process.readAllStandardError());
    return ran;
}

const QString appId = QStringLiteral(QUORVANE_APP_ID);

} // namespace

// The project installed into a throwaway prefix, as `cmake --install build --prefix DIR` lays it out.
class TestInstall : public QObject {
    Q_OBJECT

private:
    QTemporaryDir prefix;
    QTemporaryDir elsewhere; // a working folder that is neither the build tree nor the prefix

    QString at(const QString& relative) const { return prefix.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid() && elsewhere.isValid());
        const Ran installed = run(QStringLiteral(QUORVANE_CMAKE),
            { "--install", QStringLiteral(QUORVANE_BUILD_DIR), "--prefix", prefix.path() });
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.err));
    }

    void layout()
    {
        const QStringList expected { "bin/quorvane", "bin/quorvane-split", "share/applications/" + appId + ".desktop",
            "share/metainfo/" + appId + ".metainfo.xml", "share/icons/hicolor/32x32/apps/" + appId + ".png",
            "share/icons/hicolor/48x48/apps/" + appId + ".png", "share/icons/hicolor/128x128/apps/" + appId + ".png",
            "share/icons/hicolor/256x256/apps/" + appId + ".png", "share/icons/hicolor/scalable/apps/" + appId + ".svg",
            "share/quorvane/HAND-M.CUR", "share/man/man1/quorvane-split.1.gz", "share/doc/quorvane/copyright",
            "share/doc/quorvane/LICENSE" };
        for (const QString& file : expected)
            QVERIFY2(QFileInfo(at(file)).isFile(), qPrintable(file));
        QVERIFY(QFileInfo(at("bin/quorvane")).isExecutable());
        QVERIFY(!filesIn(at("share/quorvane/Samples")).isEmpty());
    }

    void metadataValidates()
    {
        const Ran desktop = run("desktop-file-validate", { at("share/applications/" + appId + ".desktop") });
        QVERIFY2(desktop.exitCode == 0 && desktop.out.isEmpty(), qPrintable(desktop.out + desktop.err));
        const Ran metainfo
            = run("appstreamcli", { "validate", "--no-net", at("share/metainfo/" + appId + ".metainfo.xml") });
        QVERIFY2(metainfo.exitCode == 0, qPrintable(metainfo.out + metainfo.err));
    }

    void installedProgramFindsItsFiles()
    {
        // No screen is needed for --help, and it names the files the window will use.
        const QString data = QDir(prefix.path()).filePath("share/quorvane");
        const Ran help = run(at("bin/quorvane"), { "--help" }, elsewhere.path());
        QVERIFY2(help.exitCode == 0, qPrintable(help.err));
        QVERIFY2(help.out.contains(QDir(data).filePath("Samples") + " "), qPrintable(help.out));
        QVERIFY2(help.out.contains(QDir(data).filePath("HAND-M.CUR") + " "), qPrintable(help.out));
        QVERIFY2(!help.out.contains("(missing)"), qPrintable(help.out));
        const Ran version = run(at("bin/quorvane"), { "--version" }, elsewhere.path());
        QVERIFY(QRegularExpression("^quorvane \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch());

        const Ran tool = run(at("bin/quorvane-split"), { "--version" }, elsewhere.path());
        QVERIFY2(tool.exitCode == 0 && tool.out.startsWith("quorvane-split "), qPrintable(tool.err));
    }

    void installedProgramOpensItsWindow()
    {
        // Start-up writes the two restored settings back: once they are on disk, the window has loaded.
        QTemporaryDir config;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("BROWSER", "true"); // the home page one start in a hundred opens, without an error box
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(elsewhere.path());
        program.start(at("bin/quorvane"), { QStringLiteral(QUORVANE_SAMPLES_DIR) });
        QVERIFY(program.waitForStarted());
        const QString settings = QDir(config.path()).filePath("Brindlecot.conf");
        const auto stored = [&] {
            QFile file(settings);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("Text2=");
        };
        QVERIFY(QTest::qWaitFor([&] { return stored(); }, 60000));
        QCOMPARE(program.state(), QProcess::Running);
        program.kill();
        program.waitForFinished();
    }

    void installedToolSplitsASample()
    {
        const QStringList samples = filesIn(at("share/quorvane/Samples"));
        QVERIFY(!samples.isEmpty());
        const QString copy = QDir(elsewhere.path()).filePath("sample.mp4");
        QVERIFY(QFile::copy(QDir(at("share/quorvane/Samples")).filePath(samples.first()), copy));
        const Ran split = run(at("bin/quorvane-split"), { "-split", "2", copy }, elsewhere.path());
        QVERIFY2(split.exitCode == 0, qPrintable(split.err));
        QVERIFY(QFileInfo::exists(QDir(elsewhere.path()).filePath("sample_001.mp4")));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
