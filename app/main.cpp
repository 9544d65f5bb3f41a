// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "app/form1.h"
#include "platform/desktopshell.h"
#include "platform/fileattributes.h"
#include "platform/folderlisting.h"
#include "platform/processrunner.h"
#include "platform/qtdialogs.h"
#include "platform/randomsource.h"
#include "platform/settingsstore.h"
#include "platform/systemfolders.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QApplication::setWindowIcon(quorvane::Form1::applicationIcon());

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
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
