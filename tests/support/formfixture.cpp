// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "formfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace quorvane::test {

void FormFixture::reset()
{
    form.reset();
    dialogs.reset();
    store = std::make_unique<MemorySettingsStore>();
    shell = RecordingShell();
    random.fractions.clear();
    attributes.hidden.clear();
    programDir = std::make_unique<QTemporaryDir>();
    // As the system gives them: with its own separators, the desktop under the first drive on Windows.
    folders.program = QDir::toNativeSeparators(programDir->path());
    stateHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", stateHome->path().toLocal8Bit());
    folders.desktop = desktop().chopped(1);
    endings = 0;
    runnerInUse = nullptr;
}

Form1& FormFixture::open(std::unique_ptr<SkinFramework> skin)
{
    form = std::make_unique<Form1>(
        Services { dialogs, *store, shell, folders, attributes, random, listing, runnerInUse ? *runnerInUse : runner },
        std::move(skin));
    form->setEndProgram([this] { ++endings; });
    return *form;
}

Form1& FormFixture::load(std::unique_ptr<SkinFramework> skin)
{
    open(std::move(skin)).Form_Load();
    return *form;
}

void FormFixture::finish()
{
    form.reset();
    if (dialogs.pending() != 0)
        QTest::qFail("a scripted answer was never asked for", __FILE__, __LINE__);
}

bool FormFixture::writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(content) == content.size();
}

} // namespace quorvane::test
