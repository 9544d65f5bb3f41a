// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace quorvane {

class Dialogs;

// The trap of a guarded handler. Each numbered statement runs through step() or test(); when one fails,
// the "Application Error" box names the handler and the statement, and the handler goes on with the next
// statement. A failure inside a routine that a statement calls is reported with that statement's number.
class ErrorReport {
public:
    static const QString supportAddress;

    ErrorReport(Dialogs& dialogs, QString sourceText);

    template <typename Statement> void step(int line, Statement&& statement)
    {
        if (m_ended)
            return;
        m_line = line;
        try {
            std::forward<Statement>(statement)();
        } catch (...) {
            report(std::current_exception());
        }
    }

    // The test of a conditional block. A test that fails enters the block, as if it had been true.
    template <typename Condition> bool test(int line, Condition&& condition)
    {
        if (m_ended)
            return false;
        m_line = line;
        try {
            return std::forward<Condition>(condition)();
        } catch (...) {
            report(std::current_exception());
            return !m_ended;
        }
    }

    // A failure with this code runs `answer` instead of the box and ends the handler: later statements
    // are skipped and tests are false.
    void endOnCode(int code, std::function<void()> answer);
    bool ended() const { return m_ended; }
    int failures() const { return m_failures; }
    // The words of the last failure reported, as its box gave them.
    QString lastDescription() const { return m_lastDescription; }

    static QString message(const QString& description, const QString& sourceText, int line);

private:
    void report(const std::exception_ptr& failure);

    Dialogs& m_dialogs;
    QString m_sourceText;
    int m_line = 0;
    int m_failures = 0;
    QString m_lastDescription;
    bool m_ended = false;
    int m_endCode = 0;
    std::function<void()> m_endAnswer;
};

} // namespace quorvane
