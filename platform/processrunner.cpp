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
    // The splitter writes UTF-8 on every system, names included, whatever the system's code page.
    connect(&process, &QProcess::readyReadStandardError, this, [&] {
        const QString text = QString::fromUtf8(process.readAllStandardError());
        keepErrorOutput(text);
        emit errorOutput(text);
    });
    const auto passLines = [&](bool atEnd) {
        while (process.canReadLine() || (atEnd && process.bytesAvailable() > 0)) {
            QByteArray line = process.readLine();
            if (line.endsWith('\n'))
                line.chop(1);
            emit outputLine(QString::fromUtf8(line));
        }
    };
    connect(&process, &QProcess::readyReadStandardOutput, this, [&] { passLines(false); });
    prepareChild(process);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    // Waits on the process itself, handling the window's events meanwhile.
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart)
        loop.exec();
    m_process = outer;
    if (process.error() == QProcess::FailedToStart) {
        const int error = QFileInfo::exists(program) ? 70 : 53;
        return startFailureBase + error;
    }
    keepErrorOutput(QString::fromUtf8(process.readAllStandardError()));
    passLines(true);
    m_crashed = process.exitStatus() == QProcess::CrashExit;
    return m_crashed ? -1 : process.exitCode();
}

void ProcessRunner::keepErrorOutput(const QString& text)
{
    constexpr qsizetype kept = 64 * 1024;
    m_errorOutput += text;
    if (m_errorOutput.size() > kept)
        m_errorOutput.remove(0, m_errorOutput.size() - kept);
}

void QtProcessRunner::terminate()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    endProcess(*m_process);
}

} // namespace quorvane
