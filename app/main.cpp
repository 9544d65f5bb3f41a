// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/commandline.h"
#include "app/form1.h"
#include "app/startup.h"
#include "core/appsettings.h"
#include "platform/desktopshell.h"
#include "platform/fileattributes.h"
#include "platform/folderlisting.h"
#include "platform/processrunner.h"
#include "platform/qtdialogs.h"
#include "platform/randomsource.h"
#include "platform/settingsstore.h"
#include "platform/systemfolders.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

namespace {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --help and --version need no screen: they are answered before one is asked for.
int answerWithoutWindow(int argc, char* argv[])
{
    QCoreApplication core(argc, argv);
    const quorvane::CommandLine line = quorvane::parseCommandLine(argumentsOf(argc, argv), QDir::currentPath());
    QString text = QStringLiteral("quorvane %1\n").arg(QStringLiteral(QUORVANE_VERSION));
    if (line.action == quorvane::CommandLine::Help) {
        quorvane::NativeSystemFolders folders;
        text = quorvane::helpText(
            folders.programFolder(), quorvane::NativeSettingsStore().location(quorvane::AppSettings::application));
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (quorvane::asksWithoutWindow(argumentsOf(argc, argv)))
        return answerWithoutWindow(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QApplication::setWindowIcon(quorvane::Form1::applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVANE_APP_ID));

    // Qt has taken its own options out of the arguments by now.
    const quorvane::CommandLine line
        = quorvane::parseCommandLine(QApplication::arguments().mid(1), QDir::currentPath());
    if (line.action == quorvane::CommandLine::Usage) {
        std::fprintf(stderr, "quorvane: %s\nUsage: quorvane [file or folder ...]; quorvane --help says more\n",
            qPrintable(line.problem));
        return 64;
    }

    quorvane::QtDialogs dialogs;
    quorvane::NativeSettingsStore settings;
    quorvane::DesktopShell shell;
    quorvane::NativeSystemFolders folders;
    quorvane::NativeFileAttributes attributes;
    quorvane::SystemRandomSource random;
    quorvane::NativeFolderListing listing;
    quorvane::QtProcessRunner runner;

    quorvane::Form1 form({ dialogs, settings, shell, folders, attributes, random, listing, runner });
    dialogs.setParent(&form);
    // Closing the window ends the program at once, also in the middle of a long handler. Every setting is
    // already on disk when it changes, so nothing is left to save.
    form.setEndProgram([] {
        std::fflush(nullptr);
        std::_Exit(0);
    });
    quorvane::TerminationSignals termination;
    quorvane::closeOnTerminationSignals(termination, form);
    // A lost display ends the program through exit(), with the window still open: the run is ended as a
    // close would end it.
    quorvane::runAtExit([&form] { form.abandonRun(); });
    form.Form_Load();
    form.show();
    // Files handed over by "Open with" or the command line, once the window is there to report on them.
    if (!line.paths.isEmpty())
        form.openPaths(line.paths);
    const int code = QApplication::exec();
    quorvane::runAtExit({});
    return code;
}
