// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QObject>
#include <QStringList>

class QProcess;

namespace quorvane {

// Starts a program and waits for it while the window goes on handling its events.
class ProcessRunner : public QObject {
    Q_OBJECT
public:
    // The start failure's error number plus this base, as a signed 32-bit number.
    static constexpr qint32 startFailureBase = static_cast<qint32>(0x80040000u - 0x100000000ull);

    // Runs `program` with `arguments` as they are (no shell, no splitting), in the current folder, and
    // returns its exit code, or startFailureBase plus the error number (53 missing, 70 not allowed) at once
    // when it cannot be started. `windowStyle`: 0 hidden … 6 minimized without focus, anything else 6; it
    // only matters where programs have windows of their own.
    virtual qint32 RunAndWait(const QString& program, const QStringList& arguments, int windowStyle = 6) = 0;
    // Ends a program that RunAndWait is waiting for, and waits until it is gone.
    virtual void terminate() = 0;

    // The end of what the last program wrote to its standard error (its last 64 KiB, which holds any final
    // word), and whether it was ended by a signal or crash.
    QString lastErrorOutput() const { return m_errorOutput; }
    bool lastCrashed() const { return m_crashed; }

signals:
    // Standard error as it arrives, for those who watch a running program.
    void errorOutput(const QString& text);
    // Each whole line of standard output as it arrives, without its line end; kept nowhere else.
    void outputLine(const QString& line);

protected:
    void keepErrorOutput(const QString& text);

    QString m_errorOutput;
    bool m_crashed = false;
};

class QtProcessRunner : public ProcessRunner {
    Q_OBJECT
public:
    qint32 RunAndWait(const QString& program, const QStringList& arguments, int windowStyle = 6) override;
    void terminate() override;

private:
    QProcess* m_process = nullptr;
};

} // namespace quorvane
