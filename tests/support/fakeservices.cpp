// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "fakeservices.h"

#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane::test {

QString MemorySettingsStore::fullKey(const QString& key) { return QStringLiteral("Brindlecot/Quorvane/") + key; }

QString MemorySettingsStore::read(
    const QString& application, const QString& section, const QString& key, const QString& defaultValue)
{
    return m_values.value(application + QLatin1Char('/') + section + QLatin1Char('/') + key, defaultValue);
}

void MemorySettingsStore::write(
    const QString& application, const QString& section, const QString& key, const QString& value)
{
    if (failing)
        throw Failure::permissionDenied().about(QStringLiteral("/home/ann/.config/Brindlecot.conf"));
    m_values.insert(application + QLatin1Char('/') + section + QLatin1Char('/') + key, value);
    ++m_writes[key];
}

bool MemorySettingsStore::contains(const QString& key) const { return m_values.contains(fullKey(key)); }
QString MemorySettingsStore::value(const QString& key) const { return m_values.value(fullKey(key)); }
void MemorySettingsStore::put(const QString& key, const QString& value) { m_values.insert(fullKey(key), value); }

void RecordingShell::openWebAddress(const QString& address)
{
    if (failing)
        throw Failure::fileNotFound();
    addresses.append(address);
}

bool RecordingShell::openFolder(const QString& folder)
{
    folders.append(folder);
    return !failing;
}

std::optional<quint32> MarkedFileAttributes::attributes(const QString& path)
{
    std::optional<quint32> result = NativeFileAttributes::attributes(path);
    // Marked in either separator: the program asks with the system's own.
    if (result && hidden.contains(QDir::fromNativeSeparators(path)))
        *result |= attr::Hidden;
    return result;
}

qint32 ScriptedRunner::RunAndWait(const QString& program, const QStringList& arguments, int windowStyle)
{
    const QFileInfo tool(program);
    const QFileInfo folder(tool.absolutePath());
    calls.append({ program, arguments, windowStyle, tool.isExecutable(),
        QString::number(static_cast<int>(folder.permissions()), 16) });
    const Outcome outcome = outcomes.isEmpty() ? Outcome {} : outcomes.takeFirst();
    if (outcome.whileRunning)
        outcome.whileRunning();
    for (const QString& line : outcome.outputLines)
        emit outputLine(line);
    m_errorOutput = outcome.errorOutput;
    m_crashed = false;
    return outcome.exitCode;
}

} // namespace quorvane::test
