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
#include "splitter/contract/exitcodes.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

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

// What the tool's exit status means for the file, and the words that lead its row's text.
RowOutcome::Kind outcomeOfStatus(int status)
{
    switch (status) {
    case splitter::CutShort:
        return RowOutcome::CutShort;
    case splitter::NotMedia:
        return RowOutcome::Damaged;
    case splitter::Unsupported:
        return RowOutcome::NotSplittable;
    default:
        return RowOutcome::Failed;
    }
}

QString leadFor(RowOutcome::Kind kind)
{
    switch (kind) {
    case RowOutcome::CutShort:
        return QStringLiteral("Cut short: the file ends early or could not be read to its end; the pieces made of "
                              "what could be read are kept.");
    case RowOutcome::Damaged:
        return QStringLiteral("Not split: the file is damaged, or it is not a video or audio file.");
    case RowOutcome::NotSplittable:
        return QStringLiteral("Not split: pieces of this kind of file cannot be made.");
    default:
        return {};
    }
}

// "3 pieces of 2.0 to 5.0 s", "4 parts of 150.0 s".
QString piecesByLength(const QList<double>& lengths, const QString& noun)
{
    const auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    const auto seconds = [](double s) { return QString::number(s, 'f', 1); };
    if (lengths.size() == 1)
        return QStringLiteral("1 %1 of %2 s").arg(noun, seconds(*shortest));
    if (seconds(*shortest) == seconds(*longest))
        return QStringLiteral("%1 %2s of %3 s").arg(QString::number(lengths.size()), noun, seconds(*shortest));
    return QStringLiteral("%1 %2s of %3 to %4 s")
        .arg(QString::number(lengths.size()), noun, seconds(*shortest), seconds(*longest));
}

// Where the tool writes piece `number` of `path`: clip.mp4 -> clip_001.mp4 beside it.
QString pieceFileName(const QString& path, int number)
{
    const qsizetype nameStart = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < nameStart)
        dot = path.size();
    return path.left(dot) + QStringLiteral("_%1").arg(number, 3, 10, QLatin1Char('0')) + path.mid(dot);
}

QString piecesKept(int pieces)
{
    if (pieces <= 0)
        return QStringLiteral("Stopped before its first piece was finished.");
    if (pieces == 1)
        return QStringLiteral("Stopped before it was finished; the 1 piece already made is kept.");
    return QStringLiteral("Stopped before it was finished; the %1 pieces already made are kept.").arg(pieces);
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
    if (c.clearRowOutcomes)
        c.clearRowOutcomes(); // what an earlier run found no longer holds
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
    m_fileCount = fileCount;
    for (int row = 1; row <= fileCount; ++row) {
        m_row = row;
        m_pieceNumbers.clear();
        m_pieceSeconds.clear();
        m_recodedCuts = 0;
        m_recodedSeconds = 0;
        m_piecesWritten = 0;
        m_toolStatus = -1;
        report.step(108, [&] { c.setMousePointer(MousePointer::Hourglass); });
        QString source;
        report.step(110, [&] { source = c.rowText(row); });
        report.step(112, [&] { c.setProgress(static_cast<double>(row) / c.rowCount() * 100.0); });
        QStringList parts;
        report.step(114, [&] { parts = source.split(sep); });
        QString fileName;
        report.step(116, [&] { fileName = parts.last(); });
        m_fileName = fileName;
        showProgressText(0);
        QString workingCopy;
        report.step(118, [&] { workingCopy = c.outputFolder() + fileName; });
        // Without a working copy there is nothing to split, and nothing of ours to delete.
        const int failuresBefore = report.failures();
        bool inPlace = false;
        report.step(120, [&] { inPlace = makeWorkingCopy(source, workingCopy); });
        if (report.failures() != failuresBefore) {
            setOutcome(row, { RowOutcome::Failed, report.lastDescription() });
            continue;
        }
        m_way = c.way();
        PieceMeasure measure;
        bool measured = true;
        if (m_way == SplitWay::Length) {
            seconds = ResolveSplitSeconds(c.intervalText(), seconds, c.dialogs, report); // 124 to 184
            measure.arguments = { QStringLiteral("-split"), QString::number(seconds) };
        } else {
            // Without a size or a count there is nothing to ask the tool for: the file is left as it is.
            const int failuresBeforeMeasure = report.failures();
            report.step(186, [&] {
                measure = m_way == SplitWay::Size ? ResolveSplitSize(c.sizeText(), c.dialogs)
                                                  : ResolveSplitParts(c.partsText(), c.dialogs);
            });
            measured = report.failures() == failuresBeforeMeasure;
        }
        m_limit = measure.limit;
        if (m_abandoned)
            return;
        QStringList arguments;
        if (measured) {
            report.step(188, [&] {
                arguments
                    = QStringList { QStringLiteral("--progress") } + measure.arguments + QStringList { workingCopy };
                if (c.exact())
                    arguments.insert(1, QStringLiteral("--exact"));
            });
        }
        bool split = false;
        const int failuresBeforeTool = report.failures();
        if (measured) {
            report.step(192, [&] {
                runTool(arguments, source);
                split = !m_stopped;
            });
        }
        if (m_abandoned)
            return;
        report.step(198, [&] {
            if (!inPlace)
                DeleteFileQuietly(workingCopy); // a source split in place is never deleted
            m_workingCopy.clear();
            m_record.gone();
        });
        if (m_stopped) {
            endStopped(report, row);
            return;
        }
        setOutcome(row, outcome(report, failuresBefore, failuresBeforeTool, split, workingCopy));
    } // 200
    report.step(202, [&] { removeTool(); });
    report.step(208, [&] { c.dialogs.messageBox(QStringLiteral("Done.")); });
    report.step(210, [&] {
        c.setProgress(0);
        showProgressText(-1);
    });
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
    QObject listening; // the tool's lines are this file's
    QObject::connect(
        &c.runner, &ProcessRunner::outputLine, &listening, [this](const QString& line) { takeToolLine(line); });
    const qint32 result = c.runner.RunAndWait(m_toolPath, arguments, 0);
    if (m_abandoned || m_stopped || (result == 0 && !c.runner.lastCrashed()))
        return;
    if (result >= ProcessRunner::startFailureBase && result < ProcessRunner::startFailureBase + 65536)
        throw Failure(result - ProcessRunner::startFailureBase, QStringLiteral("The splitter could not be started"));
    if (c.runner.lastCrashed())
        throw Failure(51, QStringLiteral("The splitter stopped unexpectedly"));
    m_toolStatus = result;
    QString said = lastLine(c.runner.lastErrorOutput());
    const QString workingCopy = arguments.last() + QStringLiteral(": ");
    if (said.startsWith(workingCopy))
        said.replace(0, workingCopy.size() - 2, source);
    throw Failure(result, said.isEmpty() ? QStringLiteral("The splitter failed with status %1").arg(result) : said);
}

void SplitRun::takeToolLine(const QString& line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() == 5 && words[0] == QLatin1String("progress")) {
        const double read = words[1].toDouble();
        const double total = words[2].toDouble();
        m_piecesWritten = words[3].toInt();
        if (total > 0)
            showProgressText(static_cast<int>(std::clamp(read / total * 100.0, 0.0, 100.0)));
    } else if (words.size() == 3 && words[0] == QLatin1String("piece")) {
        m_pieceNumbers << words[1].toInt();
        m_pieceSeconds << words[2].toDouble();
    } else if (words.size() == 3 && words[0] == QLatin1String("recoded")) {
        m_recodedCuts = words[1].toInt();
        m_recodedSeconds = words[2].toDouble();
    }
}

void SplitRun::showProgressText(int percent)
{
    if (!c.setProgressText)
        return;
    if (percent < 0) {
        c.setProgressText({});
        return;
    }
    c.setProgressText(
        QStringLiteral("%1 of %2 \u00b7 %3 \u00b7 %4 %")
            .arg(QString::number(m_row), QString::number(m_fileCount), m_fileName, QString::number(percent)));
}

void SplitRun::setOutcome(int row, const RowOutcome& outcome)
{
    if (c.setRowOutcome)
        c.setRowOutcome(row, outcome);
}

QStringList SplitRun::toolLines(const QString& workingCopy) const
{
    QStringList lines;
    const QString prefix = workingCopy + QStringLiteral(": ");
    for (QString line : c.runner.lastErrorOutput().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(prefix))
            line.remove(0, prefix.size());
        lines << line.trimmed();
    }
    return lines;
}

RowOutcome SplitRun::outcome(
    const ErrorReport& report, int failuresBefore, int failuresBeforeTool, bool split, const QString& workingCopy) const
{
    if (!split) {
        // The tool's own words say what went wrong, after a line that says what it means for the file.
        const RowOutcome::Kind kind = m_toolStatus > 0 ? outcomeOfStatus(m_toolStatus) : RowOutcome::Failed;
        if (kind == RowOutcome::Failed)
            return { RowOutcome::Failed, report.lastDescription() };
        return { kind, (QStringList { leadFor(kind) } + toolLines(workingCopy)).join(QLatin1Char('\n')) };
    }
    QString pieces;
    if (m_way == SplitWay::Size)
        pieces = piecesBySize(workingCopy);
    else if (!m_pieceSeconds.isEmpty())
        pieces = piecesByLength(
            m_pieceSeconds, m_way == SplitWay::Parts ? QStringLiteral("part") : QStringLiteral("piece"));
    // The tool's warnings, in the user's terms.
    QStringList notes;
    if (report.failures() != failuresBefore && failuresBeforeTool != failuresBefore)
        notes << report.lastDescription(); // a step before the tool failed, yet the file was split
    notes << toolLines(workingCopy);
    QString made = pieces.isEmpty() ? QStringLiteral("Split") : QStringLiteral("Split into ") + pieces;
    if (m_recodedCuts > 0)
        made += m_recodedCuts == 1
            ? QStringLiteral(", 1 cut re-encoded (%1 s of video)").arg(QString::number(m_recodedSeconds, 'f', 1))
            : QStringLiteral(", %1 cuts re-encoded (%2 s of video)")
                  .arg(QString::number(m_recodedCuts), QString::number(m_recodedSeconds, 'f', 1));
    if (notes.isEmpty())
        return { RowOutcome::Finished, made + QLatin1Char('.') };
    return { RowOutcome::FinishedWithNotes, made + QStringLiteral(", with notes:\n") + notes.join(QLatin1Char('\n')) };
}

QString SplitRun::piecesBySize(const QString& workingCopy) const
{
    if (m_pieceNumbers.isEmpty())
        return {};
    // The tool says which pieces it wrote; their sizes are on disk beside the working copy.
    std::optional<qint64> largest;
    for (const int number : m_pieceNumbers) {
        const QFileInfo piece(pieceFileName(workingCopy, number));
        if (piece.isFile())
            largest = std::max(largest.value_or(0), piece.size());
    }
    const int count = static_cast<int>(m_pieceNumbers.size());
    if (!largest)
        return QStringLiteral("%1 of at most %2")
            .arg(count == 1 ? QStringLiteral("1 piece") : QStringLiteral("%1 pieces").arg(count), m_limit);
    if (count == 1)
        return QStringLiteral("1 piece of %1 (at most %2 asked)").arg(sizeInWords(*largest), m_limit);
    return QStringLiteral("%1 pieces of at most %2, the largest %3")
        .arg(QString::number(count), m_limit, sizeInWords(*largest));
}

void SplitRun::endStopped(ErrorReport& report, int row)
{
    setOutcome(row, { RowOutcome::Stopped, piecesKept(m_piecesWritten) });
    report.step(202, [&] { removeTool(); });
    report.step(208, [&] {
        const int finished = row - 1;
        c.dialogs.messageBox(m_fileCount == 1 ? QStringLiteral("Splitting was stopped before the file was finished.")
                : finished == 1 ? QStringLiteral("Splitting was stopped. 1 of %1 files was finished.").arg(m_fileCount)
                                : QStringLiteral("Splitting was stopped. %1 of %2 files were finished.")
                                      .arg(QString::number(finished), QString::number(m_fileCount)));
    });
    report.step(210, [&] {
        c.setProgress(0);
        showProgressText(-1);
    });
    report.step(212, [&] { c.setMousePointer(MousePointer::Default); });
}

void SplitRun::stop()
{
    if (m_stopped || m_abandoned)
        return;
    m_stopped = true;
    c.runner.terminate(); // the tool removes the piece it was writing on its way out
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
