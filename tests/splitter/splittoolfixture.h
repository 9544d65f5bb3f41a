// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <memory>
#include <utility>
#include <vector>

namespace quorvane::test {

// Runs the built splitter tool and Debian's ffmpeg, for the tool's tests.
struct ToolRun {
    int exitCode = -1;
    bool crashed = false;
    bool finished = false;
    QString out;
    QString err;
};

inline ToolRun runTool(const QStringList& arguments, const QString& workingFolder = {}, int timeoutMs = 120000)
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(QStringLiteral(QUORVANE_SPLIT_TOOL), arguments);
    ToolRun run;
    run.finished = process.waitForStarted() && process.waitForFinished(timeoutMs);
    if (!run.finished)
        process.kill();
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Runs the tool once for each entry side by side, each with the variables of its entry added to the environment,
// and returns the runs in the same order: a core that would wait for one short run at a time does another.
inline std::vector<ToolRun> runToolsTogether(
    const std::vector<std::pair<QStringList, QProcessEnvironment>>& runs, int timeoutMs = 120000)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const auto& [arguments, variables] : runs) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(variables);
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setProcessEnvironment(environment);
        processes.back()->start(QStringLiteral(QUORVANE_SPLIT_TOOL), arguments);
    }
    std::vector<ToolRun> done;
    for (const auto& process : processes) {
        ToolRun run;
        run.finished = process->waitForStarted() && process->waitForFinished(timeoutMs);
        if (!run.finished)
            process->kill();
        run.crashed = process->exitStatus() == QProcess::CrashExit;
        run.exitCode = process->exitCode();
        run.out = QString::fromUtf8(process->readAllStandardOutput());
        run.err = QString::fromUtf8(process->readAllStandardError());
        done.push_back(run);
    }
    return done;
}

// Makes a test file with ffmpeg; the arguments go between the inputs and the output name.
inline bool makeMedia(const QString& output, const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(
        QStringLiteral("ffmpeg"), QStringList { "-nostdin", "-v", "error", "-y" } + arguments + QStringList { output });
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        qWarning("ffmpeg failed for %s: %s", qPrintable(output), ffmpeg.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace quorvane::test
