// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/commandline.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

namespace {

bool isHelp(const QString& argument) { return argument == QLatin1String("--help") || argument == QLatin1String("-h"); }

} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const QString& currentFolder)
{
    CommandLine line;
    bool options = true;
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && isHelp(argument)) {
            return { CommandLine::Help, {}, {} };
        } else if (options && argument == QLatin1String("--version")) {
            return { CommandLine::Version, {}, {} };
        } else if (options && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return { CommandLine::Usage, {}, QStringLiteral("unknown option %1").arg(argument) };
        } else if (argument.isEmpty()) {
            return { CommandLine::Usage, {}, QStringLiteral("an empty file name") };
        } else {
            const QString full = QDir::cleanPath(QFileInfo(QDir(currentFolder), argument).absoluteFilePath());
            line.paths << QDir::toNativeSeparators(full);
        }
    }
    return line;
}

bool asksWithoutWindow(const QStringList& arguments)
{
    const CommandLine line = parseCommandLine(arguments, QDir::currentPath());
    return line.action == CommandLine::Help || line.action == CommandLine::Version;
}

QString helpText(const QString& programFolder, const QString& settingsFile)
{
    const QChar sep = pathSeparator();
    const auto file = [](const QString& path, const QString& what) {
        const QString shown = QStringLiteral("  %1  %2").arg(path, -40).arg(what);
        return QFileInfo::exists(path) ? shown + QLatin1Char('\n') : shown + QStringLiteral(" (missing)\n");
    };
    return QStringLiteral("Usage: quorvane [file or folder ...]\n"
                          "\n"
                          "Cuts video files into consecutive pieces of equal playing time, without re-encoding.\n"
                          "Files named here are added to the list; a folder adds every file of its tree, as\n"
                          "when it is dropped on the list.\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help  show this text and end\n"
                          "  --version   show the version and end\n"
                          "\n"
                          "Files:\n")
        + file(programFolder + sep + QStringLiteral("Samples"), QStringLiteral("the sample videos"))
        + file(programFolder + sep + QStringLiteral("HAND-M.CUR"), QStringLiteral("the hand pointer"))
        + QStringLiteral("  %1  %2\n").arg(settingsFile, -40).arg(QStringLiteral("the remembered settings"));
}

} // namespace quorvane
