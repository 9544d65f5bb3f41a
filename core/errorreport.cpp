// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#include "core/errorreport.h"

#include "platform/dialogs.h"
#include "platform/failure.h"

#include <new>
#include <stdexcept>

namespace quorvane {

const QString ErrorReport::supportAddress = QStringLiteral("support@brindlecot.example");

ErrorReport::ErrorReport(Dialogs& dialogs, QString sourceText)
    : m_dialogs(dialogs)
    , m_sourceText(std::move(sourceText))
{
}

void ErrorReport::endOnCode(int code, std::function<void()> answer)
{
    m_endCode = code;
    m_endAnswer = std::move(answer);
}

QString ErrorReport::message(const QString& description, const QString& sourceText, int line)
{
    return description + QStringLiteral("\r\n") + sourceText + QStringLiteral("at line ") + QString::number(line)
        + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") + supportAddress;
}

void ErrorReport::report(const std::exception_ptr& failure)
{
    QString description;
    int code = 0;
    try {
        std::rethrow_exception(failure);
    } catch (const Failure& f) {
        description = f.description();
        code = f.code();
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("Out of memory");
        code = 7;
    } catch (const std::exception& e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("Application-defined or object-defined error");
    }
    ++m_failures;
    m_lastDescription = description;
    if (m_endAnswer && code == m_endCode) {
        m_ended = true;
        m_endAnswer();
        return;
    }
    m_dialogs.messageBox(message(description, m_sourceText, m_line), MessageButtons::Ok, MessageIcon::Exclamation,
        QStringLiteral("Application Error"));
}

} // namespace quorvane
