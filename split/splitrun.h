// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "core/mousepointer.h"
#include "core/rowoutcome.h"
#include "split/splitway.h"
#include "split/workingcopyrecord.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>

namespace quorvane {

class Dialogs;
class ErrorReport;
class ProcessRunner;

// What a run reads and sets on the window; every value is read afresh for each file.
struct RunContext {
    Dialogs& dialogs;
    ProcessRunner& runner;
    std::function<int()> rowCount;
    std::function<QString(int)> rowText; // 1-based
    std::function<QString()> outputFolder;
    std::function<QString()> intervalText;
    std::function<void(double)> setProgress;
    std::function<void(MousePointer)> setMousePointer;
    std::function<QByteArray()> toolImage; // the splitter's executable image; empty when it is missing
    std::function<void(const QString&)> setProgressText; // how far the current file is; "" when idle
    std::function<void(int, const RowOutcome&)> setRowOutcome; // 1-based row
    std::function<void()> clearRowOutcomes;
    std::function<bool()> exact = [] { return false; }; // pieces the exact length asked, re-encoding at cuts
    std::function<SplitWay()> way = [] { return SplitWay::Length; };
    std::function<QString()> sizeText = [] { return QString(); };
    std::function<QString()> partsText = [] { return QString(); };
};

// "Start Splitting": every listed file is copied into the output folder (as cheaply as the file system
// allows), split there by the splitter tool, and the copy removed; the pieces stay.
class SplitRun {
public:
    explicit SplitRun(RunContext context);

    void PushButton2_Click();
    // The window is closing: ends the tool, removes the working copy and the tool, and stops the run.
    void abandon();
    // "Stop Splitting": ends the tool (it removes the piece it was writing) and the run after it, keeping
    // the pieces already finished and saying how far the run came.
    void stop();

    // The tool's file name, inside its private folder.
    static QString toolFileName();

private:
    bool makeWorkingCopy(const QString& source, const QString& workingCopy);
    // Runs the tool on the working copy (the last argument); its words name `source`, the file the user listed.
    void runTool(const QStringList& arguments, const QString& source);
    void takeToolLine(const QString& line);
    // The row's outcome from how its steps and the tool went: what the tool's exit status says, with notes
    // when the tool had warnings or an earlier step failed.
    RowOutcome outcome(const ErrorReport& report, int failuresBefore, int failuresBeforeTool, bool split,
        const QString& workingCopy) const;
    // "3 pieces of at most 25 MB, the largest 24.6 MB", from the pieces the tool said it wrote.
    QString piecesBySize(const QString& workingCopy) const;
    // What the tool said on standard error, one line each, without the working copy's name in front.
    QStringList toolLines(const QString& workingCopy) const;
    void setOutcome(int row, const RowOutcome& outcome);
    // The bar's text for the file in hand at `percent`; none when below 0.
    void showProgressText(int percent);
    void endStopped(ErrorReport& report, int row);
    void removeTool();

    RunContext c;
    QString m_toolFolder;
    QString m_toolPath;
    QString m_workingCopy; // the copy this run made and has not yet removed
    WorkingCopyRecord m_record;
    QHash<QString, QString> m_splitInto; // working copy path -> the source split there in this run
    bool m_abandoned = false;
    bool m_stopped = false;
    // The file in hand, for the bar's text and the row's outcome.
    int m_row = 0;
    int m_fileCount = 0;
    QString m_fileName;
    SplitWay m_way = SplitWay::Length;
    QString m_limit; // the size asked, in the row's words
    QList<int> m_pieceNumbers; // as the tool's piece lines said, with their seconds
    QList<double> m_pieceSeconds;
    int m_recodedCuts = 0; // cuts the tool encoded pictures again at, and how many seconds of video that was
    double m_recodedSeconds = 0;
    int m_piecesWritten = 0; // as the tool's last progress line said
    int m_toolStatus = -1; // the tool's exit status, when it ended by itself; else -1
};

} // namespace quorvane
