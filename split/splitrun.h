// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "core/mousepointer.h"
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
};

// "Start Splitting": every listed file is copied into the output folder (as cheaply as the file system
// allows), split there by the splitter tool, and the copy removed; the pieces stay.
class SplitRun {
public:
    explicit SplitRun(RunContext context);

    void PushButton2_Click();
    // The window is closing: ends the tool, removes the working copy and the tool, and stops the run.
    void abandon();

    // The tool's file name, inside its private folder.
    static QString toolFileName();

private:
    bool makeWorkingCopy(const QString& source, const QString& workingCopy);
    // Runs the tool on the working copy (the last argument); its words name `source`, the file the user listed.
    void runTool(const QStringList& arguments, const QString& source);
    void removeTool();

    RunContext c;
    QString m_toolFolder;
    QString m_toolPath;
    QString m_workingCopy; // the copy this run made and has not yet removed
    WorkingCopyRecord m_record;
    QHash<QString, QString> m_splitInto; // working copy path -> the source split there in this run
    bool m_abandoned = false;
};

} // namespace quorvane
