// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include "platform/fileattributes.h"
#include "platform/processrunner.h"
#include "platform/randomsource.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "platform/systemfolders.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>

namespace quorvane::test {

// A throwaway settings store in memory that counts the writes of each key.
class MemorySettingsStore : public SettingsStore {
public:
    QString read(
        const QString& application, const QString& section, const QString& key, const QString& defaultValue) override;
    void write(const QString& application, const QString& section, const QString& key, const QString& value) override;

    bool contains(const QString& key) const;
    QString value(const QString& key) const;
    int writes(const QString& key) const { return m_writes.value(key); }
    void put(const QString& key, const QString& value); // stored before the window opens, not counted
    bool failing = false; // every write fails, as with a settings file that cannot be written

private:
    static QString fullKey(const QString& key);
    QHash<QString, QString> m_values;
    QHash<QString, int> m_writes;
};

class RecordingShell : public Shell {
public:
    void openWebAddress(const QString& address) override;
    bool openFolder(const QString& folder) override;

    bool failing = false;
    QStringList addresses;
    QStringList folders;
};

class FakeSystemFolders : public SystemFolders {
public:
    QString specialFolderPath(int folderId) override { return folderId == CSIDL_DESKTOP ? desktop : QString(); }
    QString programFolder() override { return program; }

    QString desktop;
    QString program;
};

// The real attributes, with chosen paths marked hidden.
class MarkedFileAttributes : public NativeFileAttributes {
public:
    std::optional<quint32> attributes(const QString& path) override;
    QSet<QString> hidden;
};

// Hands out the fractions it was given, then 0.5.
class ScriptedRandom : public RandomSource {
public:
    double fraction() override { return fractions.isEmpty() ? 0.5 : fractions.takeFirst(); }
    QList<double> fractions;
};

// Records each program it is asked to run and answers with the queued exit codes (0 when none is left).
class ScriptedRunner : public ProcessRunner {
public:
    struct Call {
        QString program;
        QStringList arguments;
        int windowStyle;
        bool executable; // the program file could be run when it was called
        QString folderPermissions;
    };
    struct Outcome {
        qint32 exitCode = 0;
        QString errorOutput;
        QStringList outputLines = {}; // written to standard output, one line each
        std::function<void()> whileRunning = {}; // what happens while the program runs, before its lines
    };

    qint32 RunAndWait(const QString& program, const QStringList& arguments, int windowStyle = 6) override;
    void terminate() override { }

    QList<Outcome> outcomes;
    QList<Call> calls;
};

} // namespace quorvane::test
