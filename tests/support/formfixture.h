// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "app/form1.h"
#include "fakeservices.h"
#include "platform/folderlisting.h"
#include "platform/processrunner.h"
#include "scripteddialogs.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace quorvane::test {

// A main window over test doubles: scripted boxes, a settings store in memory, a recording shell, a
// throwaway program folder and the desktop at /home/ann/Desktop (C:\\home\\ann\\Desktop on Windows). Call reset()
// before each test.
class FormFixture {
public:
    void reset();
    // Creates the window (not yet loaded), with `skin` or the real skin class.
    Form1& open(std::unique_ptr<SkinFramework> skin = {});
    // Creates the window and runs its start-up.
    Form1& load(std::unique_ptr<SkinFramework> skin = {});
    // Closes the window and checks that every scripted answer was used.
    void finish();

    // The fake desktop as the program shows it: the system's path with its separator after it
    // ("/home/ann/Desktop/", "C:\\home\\ann\\Desktop\\").
    static QString desktop()
    {
        return QDir::toNativeSeparators(QDir::rootPath() + QStringLiteral("home/ann/Desktop/"));
    }
    template <typename T> T* control(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }
    QString programFile(const QString& relative) const { return programDir->filePath(relative); }
    bool writeFile(const QString& path, const QByteArray& content = {});

    ScriptedDialogs dialogs;
    std::unique_ptr<MemorySettingsStore> store;
    RecordingShell shell;
    FakeSystemFolders folders;
    MarkedFileAttributes attributes;
    ScriptedRandom random;
    NativeFolderListing listing;
    QtProcessRunner runner;
    ProcessRunner* runnerInUse = nullptr; // the runner the window gets; the real one when null
    std::unique_ptr<QTemporaryDir> programDir;
    std::unique_ptr<QTemporaryDir> stateHome; // XDG_STATE_HOME, where runs note their working copies
    std::unique_ptr<Form1> form;
    int endings = 0;
};

} // namespace quorvane::test
