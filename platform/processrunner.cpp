// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "platform/processrunner.h"

#include "platform/processguard.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

namespace quorvane {

qint32 QtProcessRunner::RunAndWait(const QString& program, const QStringList& arguments, int windowStyle)
{
    if (windowStyle < 0 || windowStyle > 6)
        windowStyle = 6;
    Q_UNUSED(windowStyle); // programs started here have no window of their own
    m_errorOutput.clear();
    m_crashed = false;

    QProcess process;
    QProcess* const outer = m_process; // a nested call from an event handled while waiting
    m_process = &process;
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    connect(&process, &QProcess::readyReadStandardError, this, [&] {
        const QString text = QString::fromLocal8Bit(process.readAllStandardError());
        m_errorOutput += text;
        emit errorOutput(text);
    });
    endWithThisProcess(process);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    // Waits on the process itself, handling the window's events meanwhile.
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart)
        loop.exec();
    m_process = outer;
    if (process.error() == QProcess::FailedToStart) {
        const int error = QFileInfo::exists(program) ? 70 : 53;
        return startFailureBase + error;
    }
    m_errorOutput += QString::fromLocal8Bit(process.readAllStandardError());
    m_crashed = process.exitStatus() == QProcess::CrashExit;
    return m_crashed ? -1 : process.exitCode();
}

void QtProcessRunner::terminate()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

} // namespace quorvane
