// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

namespace {

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// The tool on Windows, ended while it writes its second piece in each way a Windows program ends: Ctrl-C,
// Ctrl-Break, and TerminateProcess (a kill from Task Manager, or the program's job object closing). Only the
// whole first piece is left, under its name.
class TestToolEndings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The tool shares this console, where the events go; a Ctrl-C reaches every process on it, and this one
        // goes on.
        if (!GetConsoleWindow())
            AllocConsole();
        SetConsoleCtrlHandler(nullptr, TRUE);
    }

    void endedMidPieceLeavesOnlyWholePieces_data()
    {
        QTest::addColumn<int>("event"); // -1: TerminateProcess
        QTest::newRow("Ctrl-C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl-Break") << int(CTRL_BREAK_EVENT);
        QTest::newRow("TerminateProcess") << -1;
    }
    void endedMidPieceLeavesOnlyWholePieces()
    {
        QFETCH(int, event);
        QTemporaryDir folder;
        const QString path = folder.filePath("Colour Bars.mp4");
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLES_DIR "/Colour Bars.mp4"), path));

        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUORVANE_SPLIT_HOLD_FOR_TEST", "2"); // holds with the second piece begun
        tool.setProcessEnvironment(environment);
        tool.setCreateProcessArgumentsModifier([event](QProcess::CreateProcessArguments* arguments) {
            arguments->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW); // on this console, where the events go
            if (event == CTRL_BREAK_EVENT)
                arguments->flags |= CREATE_NEW_PROCESS_GROUP; // Ctrl-Break to it alone
        });
        QByteArray said;
        connect(&tool, &QProcess::readyReadStandardError, [&] { said += tool.readAllStandardError(); });
        tool.start(QStringLiteral(QUORVANE_SPLIT_TOOL), { "-split", "2", path });
        QVERIFY(QTest::qWaitFor([&] { return said.contains("holding"); }, 60000));
        QVERIFY(filesIn(folder.path()).filter(".part").size() == 1);

        if (event < 0) {
            tool.kill(); // TerminateProcess
        } else if (!GenerateConsoleCtrlEvent(
                       static_cast<DWORD>(event), event == CTRL_C_EVENT ? 0 : static_cast<DWORD>(tool.processId()))) {
            // Wine 8 sends no console events (its SIGINT to the tool's process is a Ctrl-C, tried by hand).
            const DWORD error = GetLastError();
            tool.kill();
            tool.waitForFinished(30000);
            QSKIP(qPrintable(QStringLiteral("this system sends no console events (error %1)").arg(error)));
        }
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(filesIn(folder.path()), QStringList({ "Colour Bars.mp4", "Colour Bars_001.mp4" }));
        QFile piece(folder.filePath("Colour Bars_001.mp4"));
        QVERIFY(piece.open(QIODevice::ReadOnly));
        QCOMPARE(piece.read(8).mid(4), QByteArray("ftyp"));
    }
};

QTEST_GUILESS_MAIN(TestToolEndings)
#include "test_toolendings_win.moc"
