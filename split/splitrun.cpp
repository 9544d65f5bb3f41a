// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "split/splitrun.h"

#include "core/errorreport.h"
#include "platform/dialogs.h"
#include "platform/failure.h"
#include "platform/filecopy.h"
#include "platform/paths.h"
#include "platform/processrunner.h"
#include "platform/settingsplace.h"
#include "split/fileutilities.h"
#include "split/intervalchoice.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

namespace {

// The folder named by TEMP; when that is not a folder we can write in (not set, gone, a file), the
// system's temporary folder (TMPDIR, then the system's default). The first one that can be used.
QString temporaryFolder()
{
    const QStringList candidates { qEnvironmentVariable("TEMP"), qEnvironmentVariable("TMPDIR"), QDir::tempPath(),
        QDir::rootPath() + QStringLiteral("tmp") };
    for (const QString& folder : candidates) {
        const QFileInfo info(folder);
        if (!folder.isEmpty() && info.isDir() && info.isWritable())
            return QDir::toNativeSeparators(folder);
    }
    return qEnvironmentVariable("TEMP"); // none: the run reports the folder it could not use
}

QString lastLine(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

} // namespace

SplitRun::SplitRun(RunContext context)
    : c(std::move(context))
    , m_record(stateFolder())
{
}

QString SplitRun::toolFileName() { return executableFileName(QStringLiteral("m")); }

void SplitRun::PushButton2_Click()
{
    ErrorReport report(c.dialogs, QStringLiteral("in Tavishend2/19/2015.Form1.PushButton2_Click "));
    const QChar sep = pathSeparator();

    if (!report.test(100, [&] { return c.rowCount() >= 1; })) {
        report.step(214, [&] { c.dialogs.messageBox(QStringLiteral("No files added.")); });
        return;
    }
    QByteArray tool;
    report.step(102, [&] {
        tool = c.toolImage ? c.toolImage() : QByteArray();
        if (tool.isEmpty())
            throw Failure(326, QStringLiteral("Resource with identifier '101' not found"));
    });
    // A fresh folder of the user's own, so nobody else can swap the tool between writing and starting it.
    report.step(104, [&] {
        // A program killed during an earlier run could not remove its tool nor its working copy; they go first.
        removeStalePrivateFolders(temporaryFolder(), toolFileName());
        WorkingCopyRecord::removeLeftovers(stateFolder());
        m_toolFolder = makePrivateFolder(temporaryFolder());
        m_toolPath = m_toolFolder + sep + toolFileName();
        WriteBytesToFile(tool, m_toolPath);
        makeExecutable(m_toolPath);
    });
    int fileCount = 0;
    qint32 seconds = 0;
    report.step(106, [&] { fileCount = c.rowCount(); });
    for (int row = 1; row <= fileCount; ++row) {
        report.step(108, [&] { c.setMousePointer(MousePointer::Hourglass); });
        QString source;
        report.step(110, [&] { source = c.rowText(row); });
        report.step(112, [&] { c.setProgress(static_cast<double>(row) / c.rowCount() * 100.0); });
        QStringList parts;
        report.step(114, [&] { parts = source.split(sep); });
        QString fileName;
        report.step(116, [&] { fileName = parts.last(); });
        QString workingCopy;
        report.step(118, [&] { workingCopy = c.outputFolder() + fileName; });
        // Without a working copy there is nothing to split, and nothing of ours to delete.
        const int failuresBefore = report.failures();
        bool inPlace = false;
        report.step(120, [&] { inPlace = makeWorkingCopy(source, workingCopy); });
        if (report.failures() != failuresBefore)
            continue;
        seconds = ResolveSplitSeconds(c.intervalText(), seconds, c.dialogs, report); // 124 to 184
        if (m_abandoned)
            return;
        QStringList arguments;
        report.step(188, [&] { arguments = { QStringLiteral("-split"), QString::number(seconds), workingCopy }; });
        report.step(192, [&] { runTool(arguments, source); });
        if (m_abandoned)
            return;
        report.step(198, [&] {
            if (!inPlace)
                DeleteFileQuietly(workingCopy); // a source split in place is never deleted
            m_workingCopy.clear();
            m_record.gone();
        });
    } // 200
    report.step(202, [&] { removeTool(); });
    report.step(208, [&] { c.dialogs.messageBox(QStringLiteral("Done.")); });
    report.step(210, [&] { c.setProgress(0); });
    report.step(212, [&] { c.setMousePointer(MousePointer::Default); });
}

bool SplitRun::makeWorkingCopy(const QString& source, const QString& workingCopy)
{
    const QString target = QFileInfo(workingCopy).absoluteFilePath();
    const auto earlier = m_splitInto.constFind(target);
    if (earlier != m_splitInto.constEnd() && !sameFile(*earlier, source))
        throw Failure(58,
            QStringLiteral("File already exists: %1 (another file of this name was split into this folder "
                           "in this run)")
                .arg(workingCopy));
    if (sameFile(source, workingCopy)) {
        // The output folder is the source's own: split it where it lies.
        m_splitInto.insert(target, source);
        return true;
    }
    // Noted from the moment it exists, so that not even a kill in the middle of a long copy leaves it in the
    // way of later runs.
    try {
        copyForReading(source, workingCopy, [&] { m_record.made(source, workingCopy); });
    } catch (...) {
        m_record.gone();
        throw;
    }
    m_workingCopy = workingCopy;
    m_splitInto.insert(target, source);
    return false;
}

void SplitRun::runTool(const QStringList& arguments, const QString& source)
{
    const qint32 result = c.runner.RunAndWait(m_toolPath, arguments, 0);
    if (m_abandoned || (result == 0 && !c.runner.lastCrashed()))
        return;
    if (result >= ProcessRunner::startFailureBase && result < ProcessRunner::startFailureBase + 65536)
        throw Failure(result - ProcessRunner::startFailureBase, QStringLiteral("The splitter could not be started"));
    if (c.runner.lastCrashed())
        throw Failure(51, QStringLiteral("The splitter stopped unexpectedly"));
    QString said = lastLine(c.runner.lastErrorOutput());
    const QString workingCopy = arguments.last() + QStringLiteral(": ");
    if (said.startsWith(workingCopy))
        said.replace(0, workingCopy.size() - 2, source);
    throw Failure(result, said.isEmpty() ? QStringLiteral("The splitter failed with status %1").arg(result) : said);
}

void SplitRun::removeTool()
{
    if (!m_toolPath.isEmpty())
        DeleteFileQuietly(m_toolPath);
    if (!m_toolFolder.isEmpty())
        QDir().rmdir(m_toolFolder);
    m_toolPath.clear();
    m_toolFolder.clear();
}

void SplitRun::abandon()
{
    m_abandoned = true;
    c.runner.terminate(); // the tool removes the piece it was writing on its way out
    if (!m_workingCopy.isEmpty())
        DeleteFileQuietly(m_workingCopy);
    m_workingCopy.clear();
    m_record.gone();
    removeTool();
}

} // namespace quorvane
