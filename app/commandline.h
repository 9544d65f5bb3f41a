// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <QStringList>

namespace quorvane {

// What the program was asked on its command line: files and folders to list (as the desktop's "Open with"
// hands them over), or a question answered on standard output without a window.
struct CommandLine {
    enum Action { Run, Help, Version, Usage };
    Action action = Run;
    QStringList paths; // full paths, in the order given
    QString problem; // for Usage: what was wrong
};

// `arguments` without the program's name and without the options Qt itself takes; a relative path is taken
// from `currentFolder`. "--" ends the options, so a file may begin with "-".
CommandLine parseCommandLine(const QStringList& arguments, const QString& currentFolder);

// True when the arguments ask only for help or the version, which needs no screen.
bool asksWithoutWindow(const QStringList& arguments);

// The text of --help, naming the files the program uses where they are on this system.
QString helpText(const QString& programFolder, const QString& settingsFile);

} // namespace quorvane
